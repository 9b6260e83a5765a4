// What one ExtractFiles run keeps, for the one-thread steps (ZipExtract.cpp) and the
// parallel run (ParallelExtract.cpp) alike.
#pragma once

#include "zip/UnZip.h"

#include <compare>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zorvi {

/// A place in the archive: a volume and an offset in it. A single-volume archive has one
/// volume whatever disk numbers its headers give.
struct TArchivePlace {
    std::uint32_t Volume = 0;
    std::uint64_t Offset = 0;
    auto operator<=>(const TArchivePlace&) const = default;
};

/// What one ExtractFiles run keeps.
struct TUnZip::TRunState {
    explicit TRunState(TDecodeHooks hooks) : Decoder(std::move(hooks)) {}
    TEntryDecoder Decoder; // owns the work buffers and the byte totals
    int Count = 0;         // entries completed
    bool Retry = false;    // repeat the entry just processed (a new password)
    // The folder the last file was created in. Most entries share the folder of the one
    // before, so it is not looked up again for them; should it have gone meanwhile, the
    // file's creation fails and the folder is made then.
    std::string LastFolder;
    // Where every entry of the directory starts: its local header, sorted.
    std::vector<TArchivePlace> EntryStarts;
    // By index of SortedEntries: the entries an ExcludeList mask names.
    std::vector<bool> Excluded;
    // The extra block of the local header of the entry being extracted.
    std::string LocalExtra;
    // Which of the password's byte strings (PasswordCandidates) the entry's check byte
    // accepted, and where a repeat of the entry starts trying them: past one that passed
    // the check byte but not the CRC-32.
    std::size_t PasswordBytesUsed = 0;
    std::size_t PasswordBytesFrom = 0;
    // The permission bits of a file created anew (TFileSystemShim::NewFilePermissions), and
    // whether the entry's file was: then the entry's own bits are only set when they differ.
    std::optional<std::uint32_t> NewFileBits;
    bool OutputCreatedAnew = false;
};

} // namespace zorvi
