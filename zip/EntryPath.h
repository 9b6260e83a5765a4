// Where an entry lands on disk, and whether it may land there at all.
#pragma once

#include <string>

namespace zorvi {

struct TEntryPlacement {
    /// The folder the entry's file goes into, ending in a separator.
    std::string Folder;
    /// False when the folder and name as joined to the destination (after RootDir and
    /// a drive are cut off) climb out of it: a ".." part between slashes, backslashes
    /// or a drive's colon ("C:..\x"), or a NUL byte; or when the name is dots and blanks
    /// only, which would make the file the folder itself.
    bool Safe = true;
};

/// destDir never ends in a backslash, and an empty one is the current folder, "."; rootDir
/// is empty or ends in one; directory is the entry's folder ("\"-separated, ending in "\"
/// or empty).
///  - without recreateDirs, or for a top-level entry: destDir + "\"
///  - else the folder less a leading rootDir (any letter case), below destDir; a
///    rooted folder ("\x\" or "C:\x\") and a drive-relative one ("C:x\") too.
TEntryPlacement PlaceEntry(const std::string& destDir, const std::string& rootDir,
                           bool recreateDirs, const std::string& directory,
                           const std::string& fileName);

/// A path up to and including its last folder separator ("\" or "/"; on Windows
/// also a drive's ":"), empty when there is none.
std::string ExtractFileDir(const std::string& path);

} // namespace zorvi
