#include "zip/EntryNames.h"

#include "common/CodePage.h"
#include "zip/ExtraFields.h"
#include "zip/Stream.h"
#include "zip/ZipRecords.h"
#include "zip/decoders/Crc32.h"

#include <algorithm>
#include <optional>

namespace zorvi {
namespace {

// An Info-ZIP Unicode field (0x7075 name, 0x6375 comment):
//   offset 0  version, 1 byte (1 is the only one defined)
//   offset 1  CRC-32 of the header's own name or comment bytes, 4 bytes
//   offset 5  the text in UTF-8, to the end of the field
constexpr std::uint8_t kUnicodeFieldVersion = 1;
constexpr std::size_t kUnicodeFieldText = 5;

std::uint32_t Crc32Of(std::string_view bytes) {
    return ~UpdateCrc32(0xFFFFFFFFu, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                        bytes.size());
}

/// The UTF-8 text of the field `id` when the field is whole, of the version known, its
/// CRC-32 that of `raw` and its text valid UTF-8 and not empty.
std::optional<std::string> UnicodeFieldText(std::string_view extra, std::uint16_t id,
                                            std::string_view raw) {
    const auto field =
        FindExtraField(reinterpret_cast<const std::uint8_t*>(extra.data()), extra.size(), id);
    if (!field || field->Size <= kUnicodeFieldText || field->Data[0] != kUnicodeFieldVersion ||
        GetU32(field->Data + 1) != Crc32Of(raw)) {
        return std::nullopt;
    }
    std::string text(reinterpret_cast<const char*>(field->Data) + kUnicodeFieldText,
                     field->Size - kUnicodeFieldText);
    if (!IsValidUtf8(text)) {
        return std::nullopt;
    }
    return text;
}

bool HasHighByte(std::string_view bytes) {
    return std::any_of(bytes.begin(), bytes.end(),
                       [](char c) { return static_cast<unsigned char>(c) > 0x7F; });
}

/// Rules 2 and 3 of EntryNames.h for header bytes.
std::string DecodeHeaderText(std::string_view raw, bool utf8Flag, bool msDosHost) {
    if ((utf8Flag || HasHighByte(raw)) && IsValidUtf8(raw)) {
        return std::string(raw);
    }
    return ToUtf8(raw, msDosHost ? TCodePage::Dos866 : TCodePage::Windows1251);
}

} // namespace

std::string DecodeEntryName(std::string_view raw, std::uint16_t versionMadeBy,
                            std::uint16_t bitFlags, bool fromLocalHeader, std::string_view extra) {
    auto name = UnicodeFieldText(extra, kExtraUnicodePath, raw);
    if (!name) {
        name = DecodeHeaderText(raw, (bitFlags & kFlagUtf8Name) != 0,
                                fromLocalHeader || IsMsDosHost(versionMadeBy));
    }
    std::replace(name->begin(), name->end(), '/', '\\');
    return *name;
}

std::string DecodeEntryComment(std::string_view raw, std::uint16_t versionMadeBy,
                               std::string_view extra) {
    // Valid UTF-8 is taken as such whatever flag bit 11 says: the comments of archives
    // from before the flag are read so too.
    if (auto comment = UnicodeFieldText(extra, kExtraUnicodeComment, raw)) {
        return *comment;
    }
    return DecodeHeaderText(raw, false, IsMsDosHost(versionMadeBy));
}

std::string DecodeArchiveComment(std::string_view raw) {
    return DecodeHeaderText(raw, false, false);
}

} // namespace zorvi
