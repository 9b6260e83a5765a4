#include "zip/ArchiveNames.h"

#include "common/CodePage.h"
#include "zip/FileSystemShim.h"
#include "zip/WildcardMatch.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace zorvi {

bool FileExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(ToFsPath(path), error);
}

bool SameFileName(const std::string& a, const std::string& b) {
    const auto fold = [](const std::string& utf8) -> std::string {
        std::string bytes = FromUtf8(utf8, TCodePage::Windows1251);
        if (ToUtf8(bytes, TCodePage::Windows1251) != utf8) {
            return LowerAscii(utf8);
        }
        for (char& c : bytes) {
            const auto u = static_cast<unsigned char>(c);
            if (u >= 'A' && u <= 'Z') {
                c = static_cast<char>(u + 32);
            } else if (u >= 0xC0 && u <= 0xDF) { // А..Я -> а..я
                c = static_cast<char>(u + 32);
            } else if (u == 0xA8) { // Ё -> ё
                c = static_cast<char>(0xB8);
            }
        }
        return bytes;
    };
    return fold(a) == fold(b);
}

std::string ChangeFileExt(const std::string& name, const std::string& extension) {
    const auto part = name.find_last_of("\\/:");
    const auto dot = name.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && (part == std::string::npos || dot > part);
    return (hasExtension ? name.substr(0, dot) : name) + extension;
}

std::string VolumeExtension(int n) {
    char text[16];
    std::snprintf(text, sizeof text, ".%03d", n);
    return text;
}

std::string SplitVolumeExtension(int n) {
    char text[16];
    std::snprintf(text, sizeof text, ".z%02d", n);
    return text;
}

bool EndsWithIgnoringCase(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           LowerAscii(text.substr(text.size() - suffix.size())) == LowerAscii(suffix);
}

} // namespace zorvi
