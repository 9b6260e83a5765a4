// TFileStream on Windows: the C runtime's descriptor calls with wide paths, so no
// <windows.h> is needed here.
#include "zip/FileStream.h"

#include "zip/FileSystemShim.h"
#include "zip/ZipErrors.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

namespace zorvi {

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
        createdAnew_ = error == 0;
        if (error == EEXIST && mode == TFileMode::Create) {
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

} // namespace zorvi
