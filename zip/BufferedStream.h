// One buffer in front of a stream, serving either reads or writes. The directory
// reader seeks a great deal and reads small records; the buffer turns that into
// reads of whole blocks, and the extracted files into writes of whole blocks.
//
// State and invariant. The buffer holds either data read from the target (state
// kReading: the target's position is at BufferEnd, the caller's at Cursor) or data
// not yet written (kWriting: the target's position is at the buffer's start).
// The stream's logical position is therefore
//     target position + (Cursor - BufferEnd)   when reading (zero or negative),
//     target position + Cursor                  when writing,
//     target position                           when idle.
// Cursor is "none" (kNoCursor) until the first read or write positions it.
#pragma once

#include "zip/FileStream.h"
#include "zip/Stream.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace zorvi {

class TBufferedStream : public TStream {
public:
    enum TState : int { kIdle = 0, kReading = 1, kWriting = 2 };

    /// target is not owned and must outlive the stream.
    TBufferedStream(TStream& target, std::size_t bufferSize);
    /// Writes pending data; with FlushOnDestroy and something written, also asks the
    /// system to put a file target's data on the disk.
    ~TBufferedStream() override;
    TBufferedStream(const TBufferedStream&) = delete;
    TBufferedStream& operator=(const TBufferedStream&) = delete;

    std::size_t Read(void* buffer, std::size_t count) override;
    /// Returns the bytes taken over (fewer only when writing to the target failed).
    std::size_t Write(const void* buffer, std::size_t count) override;
    /// Origin 2 counts from the end of the target or of the pending data, whichever
    /// is further, and takes the offset's absolute value. A seek to the present
    /// position keeps the buffer.
    std::int64_t Seek(std::int64_t offset, int origin) override;

    /// Moves `count` bytes forward, as Seek(count, kFromCurrent) would. When those bytes
    /// are already in the read buffer they are passed over there and the buffer is kept:
    /// the engine skips each local header's name this way and then reads the entry's
    /// data from the block that brought the header.
    std::int64_t Skip(std::int64_t count);

    /// Steps back one byte and stores it there; "Putback overflow" at the buffer start.
    void PutBack(std::uint8_t byte);
    /// Writes pending data now; false when the target refused some of it.
    bool FlushBuffer();

    TState State() const { return state_; }
    bool FlushOnDestroy = false;
    bool Written = false;

protected:
    static constexpr std::ptrdiff_t kNoCursor = -1;

    /// Reads up to a buffer from the target; true when at least one byte came.
    virtual bool Refill();
    /// Writes the buffer up to Cursor; true when the target took all of it.
    virtual bool Flush();
    /// Hooks after a refill and after a flush (nothing is attached to them here).
    virtual void AfterRefill() {}
    virtual void AfterFlush() {}

private:
    std::int64_t LogicalPosition();
    void StartWriting();

    TStream* target_;
    // Not zero-filled: a stream is made for every extracted file, and no byte of the
    // buffer is read before a refill or a write has put it there.
    std::size_t bufferSize_;
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::ptrdiff_t cursor_ = kNoCursor;
    std::ptrdiff_t bufferEnd_;
    TState state_ = kIdle;
};

namespace detail {
/// Holds the file so that it exists before the buffered stream over it is built.
struct TOwnedFile {
    TOwnedFile(const std::string& path, TFileMode mode)
        : File(std::make_unique<TFileStream>(path, mode)) {}
    std::unique_ptr<TFileStream> File;
};
} // namespace detail

/// A buffered stream that opens and owns its file.
class TBufferedFileStream : private detail::TOwnedFile, public TBufferedStream {
public:
    /// Opening errors are the file stream's (EFOpenError, EFCreateError).
    TBufferedFileStream(const std::string& path, TFileMode mode, bool flushOnClose,
                        std::size_t bufferSize);

    TFileStream& File() { return *detail::TOwnedFile::File; }
};

} // namespace zorvi
