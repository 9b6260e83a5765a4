#include "zip/crypt/AesCtr.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace zorvi::crypt {

TAesCtr::TAesCtr(const TCryptoProvider& provider, std::span<const std::uint8_t> key)
    : aes_(provider, key) {}

namespace {

/// Writes `value` as 8 little-endian bytes.
void PutLittleEndian64(std::uint8_t* out, std::uint64_t value) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out, &value, sizeof value);
    } else {
        for (unsigned b = 0; b < 8; ++b) {
            out[b] = static_cast<std::uint8_t>(value >> (8 * b));
        }
    }
}

/// data[i] ^= stream[i] for `count` bytes, eight at a time where it can: the byte loop alone
/// would cost more than the AES that made the stream.
void XorInto(std::uint8_t* data, const std::uint8_t* stream, std::size_t count) {
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        std::uint64_t d;
        std::uint64_t k;
        std::memcpy(&d, data + i, 8);
        std::memcpy(&k, stream + i, 8);
        d ^= k;
        std::memcpy(data + i, &d, 8);
    }
    for (; i < count; ++i) {
        data[i] ^= stream[i];
    }
}

} // namespace

void TAesCtr::Refill(std::size_t blocks) {
    std::uint8_t* block = counters_.data();
    for (std::size_t i = 0; i < blocks; ++i, block += kAesBlockSize) {
        PutLittleEndian64(block, counterLow_);
        PutLittleEndian64(block + 8, counterHigh_);
        if (++counterLow_ == 0) {
            ++counterHigh_;
        }
    }
    aes_.EncryptBlocks(counters_.data(), keyStream_.data(), blocks);
    keyStreamAt_ = 0;
    keyStreamEnd_ = blocks * kAesBlockSize;
}

void TAesCtr::Apply(std::uint8_t* data, std::size_t count) {
    while (count > 0) {
        if (keyStreamAt_ == keyStreamEnd_) {
            // Only as many blocks as this piece still needs: a short entry costs one block.
            const std::size_t needed = (count + kAesBlockSize - 1) / kAesBlockSize;
            Refill(std::min(needed, kBatchBlocks));
        }
        const std::size_t n = std::min(count, keyStreamEnd_ - keyStreamAt_);
        XorInto(data, keyStream_.data() + keyStreamAt_, n);
        data += n;
        count -= n;
        keyStreamAt_ += n;
    }
}

} // namespace zorvi::crypt
