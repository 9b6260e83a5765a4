// Texts of archive and volume file names: existence, letter-case-blind equality,
// extensions.
#pragma once

#include <string>

namespace zorvi {

bool FileExists(const std::string& path);
/// Case-insensitive equality of two UTF-8 file names: ASCII and (through the Windows
/// Cyrillic code page) Cyrillic letters are folded. Names with characters outside that
/// page compare with ASCII folding only, so two different such names never collide.
bool SameFileName(const std::string& a, const std::string& b);
/// The name with its extension (from the last dot of its last part) replaced.
std::string ChangeFileExt(const std::string& name, const std::string& extension);
/// The extension of split volume n: "." and n as three digits ("%3.3d").
std::string VolumeExtension(int n);
/// The extension of split volume n as zip -s and most tools today name them, the last
/// volume keeping the archive's own name: ".z" and n as at least two digits (".z01").
std::string SplitVolumeExtension(int n);
bool EndsWithIgnoringCase(const std::string& text, const std::string& suffix);

} // namespace zorvi
