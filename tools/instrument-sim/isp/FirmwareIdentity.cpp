#include "tools/instrument-sim/isp/FirmwareIdentity.h"

#include <algorithm>
#include <string_view>

namespace zorvi {
namespace {

constexpr std::string_view kVersionMarker = "Software version: ";
constexpr std::string_view kDateMarker = "Date: ";
constexpr std::string_view kLineEnd = "\r\n";

bool IsDelimiter(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

bool HoldsWord(std::string_view text, std::string_view word) {
    for (std::size_t at = text.find(word); at != std::string_view::npos;
         at = text.find(word, at + 1)) {
        const std::size_t end = at + word.size();
        if ((at == 0 || IsDelimiter(text[at - 1])) &&
            (end == text.size() || IsDelimiter(text[end]))) {
            return true;
        }
    }
    return false;
}

// The value after a marker, up to CR LF; nothing when the line has no CR LF.
std::optional<std::string_view> ValueAfter(std::string_view text, std::size_t markerEnd,
                                           std::size_t* lineEnd) {
    const std::size_t end = text.find(kLineEnd, markerEnd);
    if (end == std::string_view::npos) {
        return std::nullopt;
    }
    *lineEnd = end + kLineEnd.size();
    return text.substr(markerEnd, end - markerEnd);
}

} // namespace

std::optional<TFirmwareIdentity> FindFirmwareIdentity(std::span<const std::uint8_t> image,
                                                      std::string_view model) {
    const std::string_view all(reinterpret_cast<const char*>(image.data()), image.size());
    for (std::size_t at = all.find(kVersionMarker); at != std::string_view::npos;
         at = all.find(kVersionMarker, at + 1)) {
        // The NUL-terminated text around the marker.
        const std::size_t nulBefore = all.rfind('\0', at);
        const std::size_t begin = nulBefore == std::string_view::npos ? 0 : nulBefore + 1;
        const std::size_t nulAfter = all.find('\0', at);
        const std::string_view text =
            all.substr(begin, (nulAfter == std::string_view::npos ? all.size() : nulAfter) - begin);
        const std::size_t versionAt = at - begin;

        std::size_t afterVersion = 0;
        const auto version = ValueAfter(text, versionAt + kVersionMarker.size(), &afterVersion);
        if (!version) {
            continue;
        }
        const std::size_t dateAt = text.find(kDateMarker, afterVersion);
        std::size_t afterDate = 0;
        const auto date = dateAt == std::string_view::npos
                              ? std::nullopt
                              : ValueAfter(text, dateAt + kDateMarker.size(), &afterDate);
        if (!date || !HoldsWord(text, model)) {
            continue;
        }
        return TFirmwareIdentity{std::string(model), std::string(*version), std::string(*date),
                                 std::string(text)};
    }
    return std::nullopt;
}

} // namespace zorvi
