// Conversions between the program's UTF-8 text and the UTF-16 of the Windows W calls.
#pragma once

#include <string>
#include <string_view>

namespace zorvi {

/// UTF-8 to UTF-16; a byte sequence that is not UTF-8 becomes U+FFFD.
std::wstring WideFromUtf8(std::string_view utf8);

/// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf8FromWide(std::wstring_view wide);

} // namespace zorvi
