// UTF-8 text of the portable core to and from the UTF-16 of the Windows W functions.
#pragma once

#include <string>
#include <string_view>

namespace zorvi::win32app {

std::wstring ToWide(std::string_view utf8);
std::string FromWide(std::wstring_view utf16);

/// The system's message for an error code, in UTF-8, without its trailing line end.
std::string SystemErrorText(unsigned long code);

} // namespace zorvi::win32app
