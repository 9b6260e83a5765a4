// File handles through the C runtime's descriptor calls (POSIX, or the MSVC/MinGW
// runtime's wide-path variants), so no <windows.h> is needed here.
#include "zip/FileStream.h"

#include "zip/FileSystemShim.h"
#include "zip/ZipErrors.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zorvi {
namespace {

// One system call moves at most this much; larger requests loop.
constexpr std::size_t kMaxTransfer = 1u << 30;

// A read-only file refuses to be overwritten, as Windows has it, also where the
// process could override the permission (a superuser, or Wine run by one).
void RefuseReadOnly(const std::string& path) {
    std::error_code error;
    const auto status = std::filesystem::status(ToFsPath(path), error);
    if (!error && std::filesystem::is_regular_file(status) &&
        (status.permissions() & std::filesystem::perms::owner_write) ==
            std::filesystem::perms::none) {
        RaiseFileCreateError(path, std::strerror(EACCES));
    }
}

} // namespace

#ifdef _WIN32

TFileStream::TFileStream(const std::string& path, TFileMode mode) : mode_(mode) {
    const std::wstring wide = ToFsPath(path).wstring();
    errno_t error = 0;
    if (mode == TFileMode::OpenRead) {
        error = _wsopen_s(&fd_, wide.c_str(), _O_RDONLY | _O_BINARY, _SH_DENYWR, 0);
        if (error != 0) {
            RaiseFileOpenError(path, std::strerror(error));
        }
    } else {
        // A new file needs no read-only test: try that first, and look at an existing
        // file only when there is one.
        error = _wsopen_s(&fd_, wide.c_str(), _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY, _SH_DENYWR,
                          _S_IREAD | _S_IWRITE);
        if (error == EEXIST) {
            RefuseReadOnly(path);
            error = _wsopen_s(&fd_, wide.c_str(), _O_RDWR | _O_CREAT | _O_TRUNC | _O_BINARY,
                              _SH_DENYWR, _S_IREAD | _S_IWRITE);
        }
        if (error != 0) {
            RaiseFileCreateError(path, std::strerror(error));
        }
    }
}

TFileStream::~TFileStream() {
    if (fd_ >= 0) {
        _close(fd_);
    }
}

std::size_t TFileStream::Read(void* buffer, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const auto chunk = static_cast<unsigned>(std::min(count - done, kMaxTransfer));
        const int n = _read(fd_, static_cast<char*>(buffer) + done, chunk);
        if (n <= 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    Advance(done);
    return done;
}

std::size_t TFileStream::Write(const void* buffer, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const auto chunk = static_cast<unsigned>(std::min(count - done, kMaxTransfer));
        const int n = _write(fd_, static_cast<const char*>(buffer) + done, chunk);
        if (n <= 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    Advance(done);
    return done;
}

std::int64_t TFileStream::Seek(std::int64_t offset, int origin) {
    if (origin < kFromBeginning || origin > kFromEnd) {
        RaiseInvalidSeekOrigin(origin);
    }
    if (origin == kFromCurrent && offset == 0 && position_ >= 0) {
        return position_;
    }
    position_ = _lseeki64(fd_, offset, origin);
    return position_;
}

bool TFileStream::FlushToDisk() {
    return _commit(fd_) == 0;
}

#else

TFileStream::TFileStream(const std::string& path, TFileMode mode) : mode_(mode) {
    const std::string native = PosixPathText(path);
    if (mode == TFileMode::OpenRead) {
        fd_ = open(native.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) {
            RaiseFileOpenError(path, std::strerror(errno));
        }
        struct stat st {};
        if (fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
            close(fd_);
            fd_ = -1;
            RaiseFileOpenError(path, std::strerror(EISDIR));
        }
        return;
    }
    // A new file needs no read-only test: try that first (the usual case of an
    // extraction), and look at an existing file only when there is one.
    fd_ = open(native.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ < 0 && errno == EEXIST) {
        RefuseReadOnly(path);
        fd_ = open(native.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    }
    if (fd_ < 0) {
        RaiseFileCreateError(path, std::strerror(errno));
    }
}

TFileStream::~TFileStream() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

std::size_t TFileStream::Read(void* buffer, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n =
            read(fd_, static_cast<char*>(buffer) + done, std::min(count - done, kMaxTransfer));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    Advance(done);
    return done;
}

std::size_t TFileStream::Write(const void* buffer, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = write(fd_, static_cast<const char*>(buffer) + done,
                                std::min(count - done, kMaxTransfer));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    Advance(done);
    return done;
}

std::int64_t TFileStream::Seek(std::int64_t offset, int origin) {
    static constexpr int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    if (origin < kFromBeginning || origin > kFromEnd) {
        RaiseInvalidSeekOrigin(origin);
    }
    if (origin == kFromCurrent && offset == 0 && position_ >= 0) {
        return position_;
    }
    position_ = lseek(fd_, offset, kWhence[origin]);
    return position_;
}

bool TFileStream::FlushToDisk() {
    return fsync(fd_) == 0;
}

#endif

} // namespace zorvi
