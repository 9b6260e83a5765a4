// Method 1, shrinking: LZW with codes of 9 to 13 bits and partial clearing.
//
// Codes 0 to 255 stand for their byte; 256 is the control code (followed by 1: the codes
// grow one bit wider; by 2: a partial clear); 257 and up are strings, each stored as the
// code of the string without its last byte (prefix) plus that byte (suffix). A decoded
// string is built backwards on a stack and then output. New codes take the lowest free
// number; a partial clear frees every code that no other code refers to.
//
// Tables, in WorkArea (byte offsets):
//   0      prefix  8193 × int16   code of the string without its last byte; −1 = free code;
//                                 bit 15 marks a code during a partial clear
//   16386  suffix  8193 × uint8   last byte of each code's string
//   24579  stack   8192 × uint8   the string being decoded, filled from the top down
//
// The entry ends where its codes end: a read that finds no byte at all. Damaged data can
// ask for more than the format allows; each case stops the entry as bad data (what was
// decoded is written, and the engine rejects the entry): a code or control code cut by
// the end of the data, a string longer than the stack (which also ends any loop through
// undefined or freed codes, since every step pushes a byte), and a code width beyond 13
// bits.
#include <algorithm>
#include <cstring>

#include "zip/decoders/EntryDecoder.h"

namespace zorvi {
namespace {

constexpr unsigned kFirstCodeSize = 9;
constexpr unsigned kMaxCodeSize = 13;  // the format's widest code
constexpr unsigned kTableLimit = 8192; // 1 << kMaxCodeSize codes
constexpr unsigned kControlCode = 256;
constexpr unsigned kFirstStringCode = 257;
constexpr unsigned kStackSize = 8192;
constexpr std::int16_t kFreeCode = -1;
constexpr std::size_t kSuffixOffset = (kTableLimit + 1) * sizeof(std::int16_t);
constexpr std::size_t kStackOffset = kSuffixOffset + kTableLimit + 1;
static_assert(kStackOffset + kStackSize <= TEntryDecoder::kWorkAreaSize);

struct TShrinkTables {
    std::int16_t* Prefix;
    std::uint8_t* Suffix;
    std::uint8_t* Stack;
};

/// The first free code from `from` on, or kTableLimit.
unsigned NextFreeCode(const std::int16_t* prefix, unsigned from) {
    while (from < kTableLimit && prefix[from] != kFreeCode) {
        ++from;
    }
    return from;
}

} // namespace

void TEntryDecoder::PartialClear() {
    auto* prefix = reinterpret_cast<std::int16_t*>(workArea_.get());
    // Mark every string code, unmark those still referred to, free the rest. A free code
    // (−1) is never a "referred" one: unmarking it would turn it into a code.
    for (unsigned c = kFirstStringCode; c < shrinkNextFree_; ++c) {
        prefix[c] = static_cast<std::int16_t>(prefix[c] | 0x8000);
    }
    for (unsigned c = kFirstStringCode; c < shrinkNextFree_; ++c) {
        const unsigned p = static_cast<std::uint16_t>(prefix[c]) & 0x7FFF;
        if (p >= kFirstStringCode && p < kTableLimit && prefix[p] != kFreeCode) {
            prefix[p] = static_cast<std::int16_t>(prefix[p] & 0x7FFF);
        }
    }
    for (unsigned c = kFirstStringCode; c < shrinkNextFree_; ++c) {
        if (prefix[c] & 0x8000) {
            prefix[c] = kFreeCode;
        }
    }
    shrinkNextFree_ = NextFreeCode(prefix, kFirstStringCode);
}

void TEntryDecoder::UnshrinkEntry() {
    const TShrinkTables t{reinterpret_cast<std::int16_t*>(workArea_.get()),
                          workArea_.get() + kSuffixOffset, workArea_.get() + kStackOffset};

    // 1. Codes 0-255 are their byte, everything above is free.
    std::fill(t.Prefix + kControlCode, t.Prefix + kTableLimit + 1, kFreeCode);
    for (unsigned c = 0; c < 256; ++c) {
        t.Prefix[c] = 0;
        t.Suffix[c] = static_cast<std::uint8_t>(c);
    }
    t.Suffix[kControlCode] = 0; // never a string's byte in valid data; fixed for damaged data
    unsigned codeSize = kFirstCodeSize;
    shrinkNextFree_ = kFirstStringCode;

    // 2. The first code is a byte.
    unsigned oldCode = ReadBits(codeSize);
    if (bitsShort_) {
        FlushOutput();
        finished_ = endOfInput_; // no code at all: an empty entry
        return;
    }
    std::uint8_t finalByte = static_cast<std::uint8_t>(oldCode);
    PutOutputByte(finalByte);

    // 3. The codes that follow, up to the end of the data. Damaged data ends the entry
    // with what was decoded written, and without finished_.
    for (;;) {
        unsigned code = ReadBits(codeSize);
        if (bitsShort_) {
            break;
        }
        while (code == kControlCode) {
            const unsigned subCode = ReadBits(codeSize);
            if (bitsShort_) {
                FlushOutput(); // a control code without its sub-code
                return;
            }
            if (subCode == 1) {
                if (codeSize == kMaxCodeSize) {
                    FlushOutput(); // wider codes than the format has
                    return;
                }
                ++codeSize;
            } else if (subCode == 2) {
                PartialClear();
            }
            code = ReadBits(codeSize);
            if (bitsShort_) {
                break;
            }
        }
        if (bitsShort_) {
            break;
        }
        const unsigned inCode = code;

        // Walk the string backwards onto the stack. An undefined code is the KwKwK case:
        // the previous string followed by its own first byte.
        unsigned top = kStackSize;
        if (t.Prefix[code] == kFreeCode) {
            t.Stack[--top] = finalByte;
            code = oldCode;
        }
        while (code >= kFirstStringCode) {
            if (top == 0) {
                FlushOutput(); // longer than any string can be
                return;
            }
            if (t.Prefix[code] == kFreeCode) {
                t.Stack[--top] = finalByte;
                code = oldCode;
            } else {
                t.Stack[--top] = t.Suffix[code];
                code = static_cast<unsigned>(t.Prefix[code]);
            }
        }
        if (top == 0) {
            FlushOutput();
            return;
        }
        finalByte = t.Suffix[code];
        t.Stack[--top] = finalByte;

        // Output the string, in blocks up to each 32 KB flush.
        const std::uint8_t* s = t.Stack + top;
        std::size_t length = kStackSize - top;
        while (length > 0) {
            const std::size_t k = std::min(length, kBlockSize - outputCount_);
            std::memcpy(outputBuffer_.get() + outputCount_, s, k);
            outputCount_ += k;
            s += k;
            length -= k;
            if (outputCount_ == kBlockSize) {
                FlushOutput();
            }
        }

        // The new code: the previous string plus this string's first byte.
        if (shrinkNextFree_ < kTableLimit) {
            t.Prefix[shrinkNextFree_] = static_cast<std::int16_t>(oldCode);
            t.Suffix[shrinkNextFree_] = finalByte;
            shrinkNextFree_ = NextFreeCode(t.Prefix, shrinkNextFree_ + 1);
        }
        oldCode = inCode;
    }
    FlushOutput();
    // Only padding bits followed the last code; a fill that found bytes cut a code.
    finished_ = endOfInput_;
}

} // namespace zorvi
