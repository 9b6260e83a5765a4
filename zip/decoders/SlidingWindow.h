// The sliding window of reduce and implode. Decoded bytes go into a window at the start of the
// work area; each time it is full it goes to the output (FlushWindow) and starts over, so a
// match copies from `distance` back around its end. A match that reaches before the entry's
// first byte produces zeros: nothing of an earlier entry leaks into this one. (Inflate keeps
// a window of its own, contiguous over eight of these sizes; see Inflate.cpp.)
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "zip/decoders/EntryDecoder.h"

namespace zorvi {

class TSlidingWindow {
public:
    /// `size` bytes at `window`; a distance is never more than `size`.
    TSlidingWindow(TEntryDecoder& decoder, std::uint8_t* window, std::size_t size)
        : decoder_(decoder), window_(window), size_(size) {}

    void Put(std::uint8_t byte) {
        window_[pos_] = byte;
        Advance(1);
    }

    /// Appends `length` bytes copied from `distance` (1 to size) back.
    void Copy(std::size_t distance, std::size_t length) {
        std::size_t src = (pos_ + size_ - distance % size_) % size_;
        while (length > 0) {
            const std::size_t run = std::min(length, size_ - std::max(src, pos_));
            if (firstWindow_ && src >= pos_) {
                std::memset(window_ + pos_, 0, run); // before the entry's first byte
            } else if (src < pos_ && pos_ - src < run) {
                for (std::size_t i = 0; i < run; ++i) {
                    window_[pos_ + i] = window_[src + i]; // overlapping: repeats a pattern
                }
            } else {
                std::memmove(window_ + pos_, window_ + src, run);
            }
            length -= run;
            src = (src + run) % size_;
            Advance(run);
        }
    }

    /// Hands what the window holds since it last started over to the output buffer.
    void Flush() { decoder_.FlushWindow(window_, pos_); }

private:
    void Advance(std::size_t n) {
        pos_ += n;
        if (pos_ == size_) {
            decoder_.FlushWindow(window_, size_);
            pos_ = 0;
            firstWindow_ = false;
        }
    }

    TEntryDecoder& decoder_;
    std::uint8_t* const window_;
    const std::size_t size_;
    std::size_t pos_ = 0;
    bool firstWindow_ = true;
};

} // namespace zorvi
