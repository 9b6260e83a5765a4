// A stream over an operating-system file handle, opened by UTF-8 path.
#pragma once

#include "zip/Stream.h"

#include <string>

namespace zorvi {

enum class TFileMode {
    OpenRead,  // read only; other processes may read but not write
    Create,    // created anew (or truncated) for reading and writing
    CreateNew, // created anew for reading and writing; an existing file is an error and is
               // left as it is (the workers of a parallel run create files only this way)
};

class TFileStream : public TStream {
public:
    /// Raises EFOpenError (OpenRead) or EFCreateError (Create, CreateNew) with the system's
    /// reason.
    /// Creating over a read-only file fails on every system, also for a superuser.
    TFileStream(const std::string& path, TFileMode mode);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    /// Asking for the present position (Seek(0, kFromCurrent)) costs no system call.
    std::int64_t Seek(std::int64_t offset, int origin) override;

    /// Asks the system to write its buffers of this file to the disk.
    bool FlushToDisk();
    TFileMode Mode() const { return mode_; }
    /// True when opening made the file (it did not exist before).
    bool CreatedAnew() const { return createdAnew_; }

private:
    /// One system call moves at most this much; larger requests loop.
    static constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;

    /// Raises EFCreateError for a read-only file at `path`.
    static void RefuseReadOnly(const std::string& path);
    void Advance(std::size_t bytes) {
        if (position_ >= 0) {
            position_ += static_cast<std::int64_t>(bytes);
        }
    }

    int fd_ = -1;
    TFileMode mode_;
    bool createdAnew_ = false;
    // The handle's position as this stream moved it, or -1 when a seek failed and the
    // system has to be asked. The buffered stream above asks for it at every seek, and
    // nothing else moves the handle.
    std::int64_t position_ = 0;
};

} // namespace zorvi
