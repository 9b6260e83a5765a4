#include "zip/SameFileKey.h"

#include <cstdint>

namespace zorvi {
namespace {

constexpr char kSeparator = '\\';

/// Appends the UTF-8 form of a code point below U+0800 (all this file produces).
void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

/// The upper-case form of a code point, as NTFS folds it, for the letters named in
/// SameFileKey; 0 for a code point that may have another case form outside them.
char32_t UpperCase(char32_t c) {
    if (c < 0x80) {
        return c >= 'a' && c <= 'z' ? c - 0x20 : c;
    }
    // Latin-1: U+00E0..U+00FE are the lower case of U+00C0..U+00DE, except U+00F7 (÷) and
    // U+00D7 (×), which have none. Signs, digits and punctuation of U+00A0..U+00BF stay; µ
    // (U+00B5), ß (U+00DF) and ÿ (U+00FF) have case forms elsewhere.
    if (c >= 0xA0 && c <= 0xBF) {
        return c == 0xB5 ? 0 : c;
    }
    if (c >= 0xC0 && c <= 0xDE) {
        return c;
    }
    if (c >= 0xE0 && c <= 0xFE) {
        return c == 0xF7 ? c : c - 0x20;
    }
    // Basic Cyrillic: U+0400..U+042F upper case, U+0430..U+044F and U+0450..U+045F their
    // lower case.
    if (c >= 0x400 && c <= 0x42F) {
        return c;
    }
    if (c >= 0x430 && c <= 0x44F) {
        return c - 0x20;
    }
    if (c >= 0x450 && c <= 0x45F) {
        return c - 0x50;
    }
    return 0;
}

/// Decodes the code point at `i` (advancing it); 0 for bytes that are not UTF-8 of a code
/// point below U+0800.
char32_t NextCodePoint(const std::string& text, std::size_t& i) {
    const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(text[k]); };
    const std::uint8_t b = byte(i);
    if (b < 0x80) {
        ++i;
        return b;
    }
    if ((b & 0xE0) == 0xC0 && i + 1 < text.size() && (byte(i + 1) & 0xC0) == 0x80) {
        const char32_t c = (char32_t{b & 0x1Fu} << 6) | (byte(i + 1) & 0x3Fu);
        i += 2;
        return c;
    }
    return 0;
}

/// Ends a part: trailing dots and blanks dropped, empty and "." parts dropped altogether.
void EndPart(std::string& key, std::size_t partStart) {
    while (key.size() > partStart && (key.back() == '.' || key.back() == ' ')) {
        key.pop_back();
    }
    if (key.size() == partStart && partStart > 0) {
        key.pop_back(); // the separator before the empty part
    }
}

} // namespace

std::optional<std::string> SameFileKey(const std::string& path) {
    std::string key;
    key.reserve(path.size());
    std::size_t partStart = 0;
    for (std::size_t i = 0; i < path.size();) {
        if (path[i] == '\\' || path[i] == '/') {
            EndPart(key, partStart);
            if (!key.empty() || i == 0) {
                key += kSeparator;
            }
            partStart = key.size();
            ++i;
            continue;
        }
        if (path[i] == '~' || (path[i] == ':' && i != 1)) {
            return std::nullopt;
        }
        const char32_t upper = UpperCase(NextCodePoint(path, i));
        if (upper == 0) {
            return std::nullopt;
        }
        AppendUtf8(key, upper);
    }
    EndPart(key, partStart);
    return key;
}

std::vector<std::string> EnclosingFolderKeys(const std::string& key) {
    std::vector<std::string> folders;
    for (std::size_t i = 1; i < key.size(); ++i) {
        if (key[i] == kSeparator) {
            folders.push_back(key.substr(0, i));
        }
    }
    return folders;
}

} // namespace zorvi
