// Reading the job file and the HEX file whole, by names given in UTF-16 or in
// code page 1251 (the job file's own text).
#pragma once

#include <string>

namespace zorvi {

/// The file's bytes; relative names are taken from the current folder, and the
/// file system matches them without regard to case.
bool ReadWholeFile(const std::wstring& path, std::string& bytes, std::string& error);

/// 8-bit text of the given Windows code page as UTF-16.
std::wstring WideFromCodePage(const std::string& text, unsigned codePage);

} // namespace zorvi
