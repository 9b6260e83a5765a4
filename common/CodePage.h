// Conversions between the program's UTF-8 text and the 8-bit code pages in which
// bytes cross its edge: Windows Cyrillic (1251) for the instrument's replies, the
// job files and archive names from non-DOS hosts; MS-DOS Cyrillic (866, the OEM code
// page of a Russian system) for archive names made on MS-DOS hosts.
#pragma once

#include <string>
#include <string_view>

namespace zorvi {

enum class TCodePage { Windows1251, Dos866 };

/// Decodes 8-bit text of the given code page to UTF-8. Bytes below 0x80 are ASCII.
std::string ToUtf8(std::string_view bytes, TCodePage page);

/// Encodes UTF-8 text into the code page. A character the page lacks, or a byte
/// sequence that is not UTF-8, becomes '?', so the length in characters is kept.
std::string FromUtf8(std::string_view utf8, TCodePage page);

/// True when the bytes form valid UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(std::string_view bytes);

} // namespace zorvi
