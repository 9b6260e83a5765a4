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
                                std::uint16_t versionMadeBy, std::uint32_t externalAttributes) {
    const auto mode = UnixMode(versionMadeBy, externalAttributes);
    if (!mode) {
        return fileSystem.SetAttributes(path, externalAttributes);
    }
    if ((*mode & kUnixFileType) == kUnixSymbolicLink) {
        return true;
    }
    return fileSystem.SetUnixPermissions(path, *mode);
}

} // namespace zorvi
