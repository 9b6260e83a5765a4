// The parts of TFileStream that every system shares; the system calls are in
// FileStream_win.cpp and FileStream_posix.cpp, of which CMake builds one.
#include "zip/FileStream.h"

#include "zip/FileSystemShim.h"
#include "zip/ZipErrors.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace zorvi {

// A read-only file refuses to be overwritten, as Windows has it, also where the
// process could override the permission (a superuser, or Wine run by one).
void TFileStream::RefuseReadOnly(const std::string& path) {
    std::error_code error;
    const auto status = std::filesystem::status(ToFsPath(path), error);
    if (!error && std::filesystem::is_regular_file(status) &&
        (status.permissions() & std::filesystem::perms::owner_write) ==
            std::filesystem::perms::none) {
        RaiseFileCreateError(path, std::strerror(EACCES));
    }
}

} // namespace zorvi
