// The traditional cipher's key schedule (APPNOTE, "Traditional PKWARE Encryption").
#include "zip/decoders/ZipCipher.h"

#include "zip/decoders/Crc32.h"

namespace zorvi {

void TZipCipher::InitKeys(std::string_view password) {
    key0_ = 0x12345678u;
    key1_ = 0x23456789u;
    key2_ = 0x34567890u;
    for (char c : password) {
        UpdateKeys(static_cast<std::uint8_t>(c));
    }
}

void TZipCipher::UpdateKeys(std::uint8_t plain) {
    // 134775813 (0x08088405) is the multiplier of the format's linear congruential step.
    key0_ = CrcStep(key0_, plain);
    key1_ = (key1_ + (key0_ & 0xFF)) * 134775813u + 1;
    key2_ = CrcStep(key2_, static_cast<std::uint8_t>(key1_ >> 24));
}

std::uint8_t TZipCipher::DecryptByte() const {
    // The "or 2" keeps t even-times-odd, so the product never has a zero low half.
    const std::uint32_t t = (key2_ & 0xFFFF) | 2;
    return static_cast<std::uint8_t>(((t * (t ^ 1)) >> 8) & 0xFF);
}

void TZipCipher::DecryptBuffer(std::uint8_t* buffer, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t plain = buffer[i] ^ DecryptByte();
        buffer[i] = plain;
        UpdateKeys(plain);
    }
}

std::uint8_t TZipCipher::DecryptHeader(std::string_view password,
                                       const std::uint8_t (&header)[kEncryptionHeaderSize]) {
    InitKeys(password);
    std::uint8_t plain[kEncryptionHeaderSize];
    for (std::size_t i = 0; i < kEncryptionHeaderSize; ++i) {
        plain[i] = header[i];
    }
    DecryptBuffer(plain, kEncryptionHeaderSize);
    return plain[kEncryptionHeaderSize - 1];
}

} // namespace zorvi
