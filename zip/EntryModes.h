// The attributes an extracted file gets. Most hosts store Windows (MS-DOS) attributes in
// the low byte of an entry's external attributes; Unix hosts store the file's mode in the
// high 16 bits, laid out as Unix does:
//   bits 12-15  file type: 0x8 regular file, 0x4 folder, 0xA symbolic link, ...
//   bits  9-11  set-user-id, set-group-id, sticky: never given to an extracted file
//   bits  0- 8  read, write and execute for owner, group and others (0777)
//
// A symbolic link's data is the text of its target. It is written as a small file holding
// that text, never made a link, and never followed: a link made from an archive could point
// the archive's later entries anywhere on the disk. The file keeps the mode the system gave
// it (a link's own 0777 would make its text executable and writable for everyone).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zorvi {

class TFileSystemShim;

/// High byte of "version made by" for an entry made on Unix.
inline constexpr std::uint16_t kHostUnix = 3;

inline constexpr std::uint32_t kUnixFileType = 0170000;
inline constexpr std::uint32_t kUnixSymbolicLink = 0120000;

/// The Unix mode of an entry made on Unix (type and permission bits); none for other
/// hosts, and when the writer left the high half of the attributes 0.
std::optional<std::uint32_t> UnixMode(std::uint16_t versionMadeBy,
                                      std::uint32_t externalAttributes);

/// Gives the extracted file the entry's attributes: an entry with a Unix mode its
/// read, write and execute bits (a link's text file keeps the system's), any other entry
/// its Windows attributes as stored. False when the system refused them. `newFileBits`:
/// the permission bits the file got when this run created it anew
/// (TFileSystemShim::NewFilePermissions); when they already are what the entry asks for,
/// the system is not called at all (most files of an archive).
bool SetExtractedFileAttributes(TFileSystemShim& fileSystem, const std::string& path,
                                std::uint16_t versionMadeBy, std::uint32_t externalAttributes,
                                std::optional<std::uint32_t> newFileBits = std::nullopt);

} // namespace zorvi
