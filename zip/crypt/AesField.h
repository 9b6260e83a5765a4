// The extra field 0x9901 that marks an entry encrypted with ZIP's AES scheme. Such an entry
// has general-purpose bit 0 set and the method 99 in its headers; the field names the method
// the data was really compressed with and how it was encrypted. Its 7 data bytes,
// little-endian:
//
//   offset size  what
//        0    2  vendor version: 1 (AE-1) or 2 (AE-2)
//        2    2  vendor id, the two letters "AE"
//        4    1  key strength: 1, 2 or 3 for AES-128, -192 or -256
//        5    2  the compression method of the data once decrypted
//
// AE-1 stores the plain data's CRC-32 in the headers as any entry does, and it is checked.
// AE-2 stores 0 there and the CRC-32 is not checked: the authentication code at the end of
// the data is the entry's only check (writers use AE-2 for small files, whose CRC-32 would
// give away something of their contents).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace zorvi::crypt {

/// The extra field's id, and the method an AES entry's headers show instead of the real one.
inline constexpr std::uint16_t kExtraAes = 0x9901;
inline constexpr std::uint16_t kMethodAes = 99;
/// The field's data size.
inline constexpr std::size_t kAesFieldSize = 7;

enum class TAesStrength : std::uint8_t { Aes128 = 1, Aes192 = 2, Aes256 = 3 };

/// The field, read and checked.
struct TAesField {
    /// 1 (AE-1) or 2 (AE-2).
    std::uint16_t VendorVersion = 2;
    TAesStrength Strength = TAesStrength::Aes256;
    /// The real compression method, which goes through the method table as any entry's.
    std::uint16_t Method = 0;

    /// AE-1: the stored CRC-32 is the plain data's and is checked. AE-2: it is not.
    bool ChecksCrc() const { return VendorVersion == 1; }
    /// AES key bytes: 16, 24 or 32.
    std::size_t KeySize() const { return 8 + 8 * static_cast<std::size_t>(Strength); }
    /// Salt bytes in front of the data: half the key's, 8, 12 or 16.
    std::size_t SaltSize() const { return KeySize() / 2; }
};

/// The field of the `data` of an 0x9901 extra field (its data bytes, without id and size);
/// none when it is not one this component can read: another size than 7, a vendor version
/// other than 1 and 2, a vendor id other than "AE", a strength other than 1 to 3. An entry
/// whose field is refused is not one to decrypt: its method is unknown.
std::optional<TAesField> ParseAesField(std::span<const std::uint8_t> data);

} // namespace zorvi::crypt
