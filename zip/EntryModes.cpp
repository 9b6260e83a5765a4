#include "zip/EntryModes.h"

#include "zip/FileSystemShim.h"

namespace zorvi {

std::optional<std::uint32_t> UnixMode(std::uint16_t versionMadeBy,
                                      std::uint32_t externalAttributes) {
    const std::uint32_t mode = externalAttributes >> 16;
    if ((versionMadeBy >> 8) != kHostUnix || mode == 0) {
        return std::nullopt;
    }
    return mode;
}

bool SetExtractedFileAttributes(TFileSystemShim& fileSystem, const std::string& path,
                                std::uint16_t versionMadeBy, std::uint32_t externalAttributes,
                                std::optional<std::uint32_t> newFileBits) {
    constexpr std::uint32_t kPermissionBits = 0777;
    constexpr std::uint32_t kOwnerWrite = 0200;
    const auto mode = UnixMode(versionMadeBy, externalAttributes);
    if (!mode) {
        // Of the Windows attributes only read-only acts where new files have permission bits.
        const bool writable = (externalAttributes & kAttrReadOnly) == 0;
        if (newFileBits && writable && (*newFileBits & kOwnerWrite) != 0) {
            return true;
        }
        return fileSystem.SetAttributes(path, externalAttributes);
    }
    if ((*mode & kUnixFileType) == kUnixSymbolicLink) {
        return true;
    }
    if (newFileBits && (*mode & kPermissionBits) == *newFileBits) {
        return true;
    }
    return fileSystem.SetUnixPermissions(path, *mode);
}

} // namespace zorvi
