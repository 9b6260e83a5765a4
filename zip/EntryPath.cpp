#include "zip/EntryPath.h"

#include "zip/ZipRecords.h"

#include <algorithm>

namespace zorvi {
namespace {

// A part made of dots and blanks only, with two dots or more, names a parent
// folder: Windows drops trailing dots and blanks, so "..." and ".. " act as "..".
bool ClimbsUp(const std::string& part) {
    const auto dots = std::count(part.begin(), part.end(), '.');
    return dots >= 2 && part.find_first_not_of(". ") == std::string::npos;
}

// The text placed below the destination, folder and name joined, may not climb out of
// it: no part of it may name a parent folder, whichever separator bounds the part. A
// drive's colon counts as a separator too, on both hosts: "C:.." is "C:" and "..",
// which Windows takes as the parent of that drive's current folder.
bool IsSafeBelow(const std::string& below) {
    if (below.find('\0') != std::string::npos) {
        return false;
    }
    std::size_t start = 0;
    for (;;) {
        const auto end = below.find_first_of("\\/:", start);
        if (ClimbsUp(
                below.substr(start, end == std::string::npos ? std::string::npos : end - start))) {
            return false;
        }
        if (end == std::string::npos) {
            return true;
        }
        start = end + 1;
    }
}

// A file name of dots and blanks only ("." and ". " too) names no file at all: the
// folder it is in (Windows drops trailing dots and blanks), or its parent.
bool NamesAFolder(const std::string& fileName) {
    return !fileName.empty() && fileName.find_first_not_of(". ") == std::string::npos;
}

} // namespace

TEntryPlacement PlaceEntry(const std::string& destDir, const std::string& rootDir,
                           bool recreateDirs, const std::string& directory,
                           const std::string& fileName) {
    // No destination is the current folder: never the root of the drive, which is where
    // "\" + a name would go.
    const std::string base = destDir.empty() ? "." : destDir;
    TEntryPlacement placement;
    if (!recreateDirs || directory.empty()) {
        placement.Folder = base + "\\";
    } else {
        std::string d = directory;
        if (!rootDir.empty() && d.size() >= rootDir.size() &&
            CompareTextAnsi(d.substr(0, rootDir.size()), rootDir) == 0) {
            d.erase(0, rootDir.size());
        }
        const bool rooted = !d.empty() && (d[0] == '\\' || (d.size() >= 2 && d[1] == ':'));
        if (!rooted) {
            placement.Folder = base + "\\" + d;
        } else if (d[0] == '\\') {
            placement.Folder = base + d;
        } else {
            // "C:\x\" and also "C:x\" go below the destination, never beside it.
            const std::string rest = d.substr(2);
            placement.Folder = base + (rest.empty() || rest[0] != '\\' ? "\\" : "") + rest;
        }
    }
    // What is checked is what gets joined to the destination, after every cut made above.
    placement.Safe =
        IsSafeBelow(placement.Folder.substr(base.size()) + fileName) && !NamesAFolder(fileName);
    return placement;
}

std::string ExtractFileDir(const std::string& path) {
#ifdef _WIN32
    const auto at = path.find_last_of("\\/:");
#else
    const auto at = path.find_last_of("\\/");
#endif
    return at == std::string::npos ? std::string() : path.substr(0, at + 1);
}

} // namespace zorvi
