// The traditional ZIP stream cipher: three 32-bit keys initialised from a password and
// advanced by every plain byte, with a 12-byte encryption header in front of each entry's
// data. The component only decrypts.
//
// Who does what: the engine reads the 12 header bytes itself (an archive that ends inside
// them is a failed check), lowers the entry's compressed size by 12, calls DecryptHeader and
// compares the result with ExpectedCheckByte. When the check passes it hands this object to
// the decoding layer (TEntryDecodeParams::Cipher), which decrypts every block it reads for
// the entry, in stream order, continuing the key state that DecryptHeader left.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace zorvi {

/// Size of the encryption header that precedes an encrypted entry's compressed data.
inline constexpr std::size_t kEncryptionHeaderSize = 12;

class TZipCipher {
public:
    /// Keys := 0x12345678, 0x23456789, 0x34567890, then UpdateKeys with each password byte.
    /// The password is the raw 8-bit text (the caller converts it to its code page).
    void InitKeys(std::string_view password);
    /// Advances the keys by one plain byte.
    void UpdateKeys(std::uint8_t plain);
    /// The next key-stream byte; does not change the keys.
    std::uint8_t DecryptByte() const;
    /// Decrypts `count` bytes in place, advancing the keys by each plain byte.
    void DecryptBuffer(std::uint8_t* buffer, std::size_t count);
    /// InitKeys(password), decrypts a copy of the 12 header bytes and returns the last plain
    /// byte (the check byte). Afterwards the keys are ready for the entry's first data byte.
    std::uint8_t DecryptHeader(std::string_view password,
                               const std::uint8_t (&header)[kEncryptionHeaderSize]);

    std::uint32_t Key0() const { return key0_; }
    std::uint32_t Key1() const { return key1_; }
    std::uint32_t Key2() const { return key2_; }

private:
    std::uint32_t key0_ = 0x12345678u;
    std::uint32_t key1_ = 0x23456789u;
    std::uint32_t key2_ = 0x34567890u;
};

/// The byte a right password yields from DecryptHeader: with general-purpose bit 3 (sizes and
/// CRC in a data descriptor) the high byte of the MS-DOS time (the low 16 bits of the
/// date-time), otherwise the high byte of the stored CRC-32.
inline std::uint8_t ExpectedCheckByte(std::uint16_t bitFlags, std::uint32_t dosDateTime,
                                      std::uint32_t crc32) {
    return (bitFlags & 0x0008) ? static_cast<std::uint8_t>((dosDateTime >> 8) & 0xFF)
                               : static_cast<std::uint8_t>(crc32 >> 24);
}

} // namespace zorvi
