// Output of the driver: UTF-8 lines on standard output, byte for byte (no CR LF
// translation), messages on standard error.
#pragma once

#include <string>

namespace zorvi::driver {

void PrintLine(const std::string& utf8);
/// The bytes as they are, nothing added.
void PrintRaw(const std::string& bytes);
void PrintError(const std::string& utf8);

/// A row of text as one output line: CR becomes "\r" and LF "\n" (two characters).
std::string EscapeLineBreaks(const std::string& text);

} // namespace zorvi::driver
