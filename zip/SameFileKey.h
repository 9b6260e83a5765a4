// Which paths of an extraction name the same file, for the parallel run: two entries whose
// files (or whose file and folder) are the same must not be extracted at the same time, and
// the one later in the archive must come second.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zorvi {

/// A text equal for every spelling of a path that names the same file on the systems the
/// component runs on: "\" and "/" alike, empty and "." parts dropped, letters in one case
/// (ASCII, Latin-1 and the basic Cyrillic alphabet: the case-insensitive file systems of
/// Windows), trailing dots and blanks of a part dropped (Windows drops them). None when the
/// path holds anything else that a case-insensitive system may fold, or a "~" (a short
/// name of another file, such as "LONGNA~1.TXT") or a ":" past a drive (a stream of a file):
/// such a path cannot be told apart from others, and its entry is extracted alone.
std::optional<std::string> SameFileKey(const std::string& path);

/// The keys of the folders above a key, the outermost first ("a\b\c": "a", "a\b").
std::vector<std::string> EnclosingFolderKeys(const std::string& key);

} // namespace zorvi
