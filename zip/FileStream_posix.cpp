// TFileStream on POSIX systems: the descriptor calls.
#include "zip/FileStream.h"

#include "zip/FileSystemShim.h"
#include "zip/ZipErrors.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zorvi {

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
    createdAnew_ = fd_ >= 0;
    if (fd_ < 0 && errno == EEXIST && mode == TFileMode::Create) {
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

} // namespace zorvi
