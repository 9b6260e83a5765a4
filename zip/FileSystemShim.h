// What the component needs from the operating system beyond the standard library:
// file attributes in their Windows form, file dates in local time and in UTC, the
// permission bits of Unix, and a drive's type and volume label (for archives spread over
// removable disks). One real
// implementation per platform, in FileSystemShim_win.cpp and FileSystemShim_posix.cpp (CMake
// builds the one of the target system); tests derive fakes.
//
// Paths are UTF-8 text with "\" as the folder separator, as the component builds
// them; ToFsPath turns such a text into a path of the running system.
#pragma once

#include "zip/DosDateTime.h"
#include "zip/EntryTimes.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace zorvi {

/// Windows file attribute bits the component acts on.
inline constexpr std::uint32_t kAttrReadOnly = 0x01;
inline constexpr std::uint32_t kAttrDirectory = 0x10;
inline constexpr std::uint32_t kAttrArchive = 0x20;

/// A UTF-8 path text ("\" or "/" separated) as a path of the running system.
std::filesystem::path ToFsPath(const std::string& text);

#ifndef _WIN32
/// The same path as the plain text a POSIX system call takes: what ToFsPath(text).c_str()
/// gives, without building a path object (which splits the text into its parts). Used
/// where a file is opened, dated or given its mode, several times for every entry.
std::string PosixPathText(const std::string& text);
#endif

class TFileSystemShim {
public:
    virtual ~TFileSystemShim() = default;

    /// Last-write time of a file in local time; none when it cannot be read.
    virtual std::optional<TLocalDateTime> FileTime(const std::string& path) = 0;
    /// Sets the last-write time from a local MS-DOS date and time (the file is
    /// opened with full sharing for it); false on failure.
    virtual bool SetFileDosTime(const std::string& path, std::uint32_t dosDateTime) = 0;
    /// Sets the last-write time to a moment in UTC, as finely as the system keeps it (the
    /// file is opened with full sharing for it); false on failure, also for a moment the
    /// system cannot hold.
    virtual bool SetFileUtcTime(const std::string& path, const TUtcTime& time) = 0;
    /// Windows attributes; on POSIX read-only reflects the owner's write permission.
    virtual std::optional<std::uint32_t> Attributes(const std::string& path) = 0;
    /// Sets the attributes as given (POSIX: only read-only acts, on the write bits).
    virtual bool SetAttributes(const std::string& path, std::uint32_t attributes) = 0;
    /// Gives the file the read, write and execute bits of a Unix mode (0777; never
    /// set-user-id, set-group-id or sticky). On Windows the owner's write bit alone acts,
    /// as the read-only attribute.
    virtual bool SetUnixPermissions(const std::string& path, std::uint32_t mode) = 0;
    /// The read, write and execute bits (0777) a file created anew gets where files have
    /// them: on POSIX 0666 less the process's umask. None where unknown (and on Windows),
    /// so nothing is taken for granted. Asked once per run.
    virtual std::optional<std::uint32_t> NewFilePermissions() { return std::nullopt; }
    /// True for a removable drive ("A:"); never on POSIX.
    virtual bool IsRemovableDrive(const std::string& drive) = 0;
    /// Volume label of a drive ("A:"), empty when unknown.
    virtual std::string VolumeLabel(const std::string& drive) = 0;
};

/// The implementation for the running system.
TFileSystemShim& SystemFileSystem();

} // namespace zorvi
