#include "zip/BufferedStream.h"

#include "zip/ZipErrors.h"

#include <algorithm>
#include <cstring>

namespace zorvi {

TBufferedStream::TBufferedStream(TStream& target, std::size_t bufferSize)
    : target_(&target), bufferSize_(std::max<std::size_t>(bufferSize, 1)),
      buffer_(std::make_unique_for_overwrite<std::uint8_t[]>(bufferSize_)),
      bufferEnd_(static_cast<std::ptrdiff_t>(bufferSize_)) {}

TBufferedStream::~TBufferedStream() {
    if (state_ == kWriting) {
        TBufferedStream::Flush();
    }
    if (FlushOnDestroy && Written) {
        if (auto* file = dynamic_cast<TFileStream*>(target_)) {
            file->FlushToDisk();
        }
    }
}

bool TBufferedStream::Refill() {
    const std::size_t n = target_->Read(buffer_.get(), bufferSize_);
    cursor_ = 0;
    bufferEnd_ = static_cast<std::ptrdiff_t>(n);
    state_ = n > 0 ? kReading : kIdle;
    AfterRefill();
    return n > 0;
}

bool TBufferedStream::Flush() {
    const auto pending = static_cast<std::size_t>(std::max<std::ptrdiff_t>(cursor_, 0));
    const bool ok = target_->Write(buffer_.get(), pending) == pending;
    cursor_ = 0;
    state_ = kIdle;
    AfterFlush();
    return ok;
}

bool TBufferedStream::FlushBuffer() {
    return state_ != kWriting || Flush();
}

std::int64_t TBufferedStream::LogicalPosition() {
    const std::int64_t target = target_->Seek(0, kFromCurrent);
    switch (state_) {
    case kReading:
        return target + (cursor_ - bufferEnd_);
    case kWriting:
        return target + cursor_;
    default:
        return target;
    }
}

std::size_t TBufferedStream::Read(void* buffer, std::size_t count) {
    if (state_ == kWriting) {
        Flush();
    }
    if (state_ != kReading) {
        // Idle: nothing valid in the buffer (it may still hold written bytes), and
        // the target stands at the logical position.
        cursor_ = 0;
        bufferEnd_ = 0;
    }
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        if (cursor_ == bufferEnd_) {
            // A buffer's worth or more still wanted: all of it straight from the target, the
            // same bytes with one copy less, in one piece (the engine's 32 KB blocks rarely
            // start at a buffer's start, since the block that brought an entry's local
            // header also brings its first data).
            const std::size_t direct = count - done >= bufferSize_ ? count - done : 0;
            if (direct > 0) {
                const std::size_t n = target_->Read(out + done, direct);
                done += n;
                if (n < direct) {
                    state_ = kIdle;
                    cursor_ = bufferEnd_ = 0;
                    break;
                }
                continue;
            }
            if (!Refill()) {
                break;
            }
        }
        const std::size_t n =
            std::min(count - done, static_cast<std::size_t>(bufferEnd_ - cursor_));
        std::memcpy(out + done, buffer_.get() + cursor_, n);
        cursor_ += static_cast<std::ptrdiff_t>(n);
        done += n;
    }
    return done;
}

void TBufferedStream::StartWriting() {
    if (state_ == kReading) {
        target_->Seek(LogicalPosition(), kFromBeginning);
    }
    state_ = kIdle;
    cursor_ = 0;
    bufferEnd_ = static_cast<std::ptrdiff_t>(bufferSize_);
}

std::size_t TBufferedStream::Write(const void* buffer, std::size_t count) {
    if (state_ != kWriting) {
        StartWriting();
    }
    const auto* in = static_cast<const std::uint8_t*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        if (cursor_ == 0) {
            const std::size_t direct = (count - done) / bufferSize_ * bufferSize_;
            if (direct > 0) {
                const std::size_t n = target_->Write(in + done, direct);
                done += n;
                Written = true;
                if (n < direct) {
                    break;
                }
                continue;
            }
        }
        const std::size_t n =
            std::min(count - done, static_cast<std::size_t>(bufferEnd_ - cursor_));
        std::memcpy(buffer_.get() + cursor_, in + done, n);
        cursor_ += static_cast<std::ptrdiff_t>(n);
        done += n;
        state_ = kWriting;
        if (cursor_ == bufferEnd_ && !Flush()) {
            break;
        }
    }
    state_ = cursor_ > 0 ? kWriting : kIdle;
    bufferEnd_ = static_cast<std::ptrdiff_t>(bufferSize_);
    Written = true;
    return done;
}

std::int64_t TBufferedStream::Seek(std::int64_t offset, int origin) {
    const std::int64_t logical = LogicalPosition();
    std::int64_t wanted = 0;
    switch (origin) {
    case kFromBeginning:
        wanted = offset;
        break;
    case kFromCurrent:
        wanted = logical + offset;
        break;
    case kFromEnd:
        wanted = std::max(logical, target_->Size()) - (offset < 0 ? -offset : offset);
        break;
    default:
        RaiseInvalidSeekOrigin(origin);
    }
    if (wanted == logical) {
        return logical;
    }
    if (state_ == kWriting && !Flush()) {
        RaiseSeekError(origin);
    }
    std::int64_t reached = target_->Seek(wanted, kFromBeginning);
    if (reached < 0) {
        // Further than the system lets a file go (an offset from a damaged or hostile
        // archive): the end, where reading finds nothing, as anywhere past it.
        reached = target_->Seek(0, kFromEnd);
    }
    cursor_ = kNoCursor;
    state_ = kIdle;
    return reached;
}

std::int64_t TBufferedStream::Skip(std::int64_t count) {
    if (state_ == kReading && count >= 0 && count <= bufferEnd_ - cursor_) {
        cursor_ += static_cast<std::ptrdiff_t>(count);
        return LogicalPosition();
    }
    return Seek(count, kFromCurrent);
}

void TBufferedStream::PutBack(std::uint8_t byte) {
    if (cursor_ <= 0) {
        RaisePutbackOverflow();
    }
    --cursor_;
    buffer_[static_cast<std::size_t>(cursor_)] = byte;
}

TBufferedFileStream::TBufferedFileStream(const std::string& path, TFileMode mode, bool flushOnClose,
                                         std::size_t bufferSize)
    : detail::TOwnedFile(path, mode), TBufferedStream(*detail::TOwnedFile::File, bufferSize) {
    FlushOnDestroy = flushOnClose && mode != TFileMode::OpenRead;
}

} // namespace zorvi
