#include "zip/ExtraFields.h"

#include "zip/Stream.h"

namespace zorvi {

std::optional<TExtraField> FindExtraField(const std::uint8_t* block, std::size_t size,
                                          std::uint16_t id) {
    constexpr std::size_t kFieldHeader = 4; // id and data size
    std::size_t at = 0;
    while (size - at >= kFieldHeader) {
        const TExtraField field{GetU16(block + at), block + at + kFieldHeader,
                                GetU16(block + at + 2)};
        if (field.Size > size - at - kFieldHeader) {
            break;
        }
        if (field.Id == id) {
            return field;
        }
        at += kFieldHeader + field.Size;
    }
    return std::nullopt;
}

} // namespace zorvi
