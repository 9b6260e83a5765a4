// The counter mode of ZIP's AES scheme: the key stream is AES of the blocks 1, 2, 3, ...,
// each counter written as a 128-bit little-endian number (byte 0 the lowest), and the data
// is XORed with it. The standard counter mode of NIST SP 800-38A, which both platforms offer,
// counts big-endian; the scheme's writers count little-endian from 1 instead, hence this file.
// Encryption and decryption are the same operation.
//
// The key stream is made in batches of counter blocks, one platform call for up to
// kBatchBlocks blocks, and kept between calls: data may come in pieces of any size, and the
// stream goes on where the last piece ended.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "zip/crypt/Crypto.h"

namespace zorvi::crypt {

class TAesCtr {
public:
    /// Blocks encrypted per platform call: 4 KiB of key stream.
    static constexpr std::size_t kBatchBlocks = 256;

    /// `key` of 16, 24 or 32 bytes; the counter starts at 1. The provider must outlive this.
    TAesCtr(const TCryptoProvider& provider, std::span<const std::uint8_t> key);

    /// XORs the next `count` bytes of the key stream into `data`.
    void Apply(std::uint8_t* data, std::size_t count);

private:
    /// Makes the key stream of the next `blocks` counters (1 to kBatchBlocks).
    void Refill(std::size_t blocks);

    TAesEncryptor aes_;
    // The next counter, low and high 64 bits. 2^64 blocks are 256 EiB: the high half only
    // makes the 128-bit count of the format exact.
    std::uint64_t counterLow_ = 1;
    std::uint64_t counterHigh_ = 0;
    std::array<std::uint8_t, kBatchBlocks * kAesBlockSize> counters_{};
    std::array<std::uint8_t, kBatchBlocks * kAesBlockSize> keyStream_{};
    std::size_t keyStreamAt_ = 0;  // the next unused byte of keyStream_
    std::size_t keyStreamEnd_ = 0; // the end of the bytes made
};

} // namespace zorvi::crypt
