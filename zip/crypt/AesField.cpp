#include "zip/crypt/AesField.h"

namespace zorvi::crypt {

std::optional<TAesField> ParseAesField(std::span<const std::uint8_t> data) {
    if (data.size() != kAesFieldSize) {
        return std::nullopt;
    }
    TAesField field;
    field.VendorVersion = static_cast<std::uint16_t>(data[0] | (data[1] << 8));
    const std::uint8_t strength = data[4];
    field.Method = static_cast<std::uint16_t>(data[5] | (data[6] << 8));
    if ((field.VendorVersion != 1 && field.VendorVersion != 2) || data[2] != 'A' ||
        data[3] != 'E' || strength < 1 || strength > 3) {
        return std::nullopt;
    }
    field.Strength = static_cast<TAesStrength>(strength);
    return field;
}

} // namespace zorvi::crypt
