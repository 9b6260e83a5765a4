#include "zip/crypt/AesCtr.h"

#include <algorithm>

namespace zorvi::crypt {

TAesCtr::TAesCtr(const TCryptoProvider& provider, std::span<const std::uint8_t> key)
    : aes_(provider, key) {}

void TAesCtr::Refill(std::size_t blocks) {
    std::uint8_t* block = counters_.data();
    for (std::size_t i = 0; i < blocks; ++i, block += kAesBlockSize) {
        for (unsigned b = 0; b < 8; ++b) {
            block[b] = static_cast<std::uint8_t>(counterLow_ >> (8 * b));
            block[8 + b] = static_cast<std::uint8_t>(counterHigh_ >> (8 * b));
        }
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
        const std::uint8_t* stream = keyStream_.data() + keyStreamAt_;
        for (std::size_t i = 0; i < n; ++i) {
            data[i] ^= stream[i];
        }
        data += n;
        count -= n;
        keyStreamAt_ += n;
    }
}

} // namespace zorvi::crypt
