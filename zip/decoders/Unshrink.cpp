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
// The bits come through TBitReader (BitReader.h), which loads up to 25 bits whenever a read
// finds too few. A read that comes up short, asking for more bits than the data has left,
// ends the codes. The entry ends regularly where its codes end: after the last code only
// padding bits remain, so the read that follows loads no byte at all. Damaged data can ask
// for more than the format allows; each case stops the entry as bad data (what was decoded
// is written, and the engine rejects the entry): a code or control code cut by the end of
// the data (a short read that still loaded bytes), a string longer than the stack (which also
// ends any loop through undefined or freed codes, since every step pushes a byte), and a
// code width beyond 13 bits.
#include <algorithm>
#include <optional>

#include "zip/decoders/BitReader.h"
#include "zip/decoders/EntryDecoder.h"

namespace zorvi {
namespace {

constexpr unsigned kFirstCodeSize = 9;
constexpr unsigned kMaxCodeSize = 13;  // the format's widest code
constexpr unsigned kTableLimit = 8192; // 1 << kMaxCodeSize codes
constexpr unsigned kControlCode = 256;
constexpr unsigned kFirstStringCode = 257;
constexpr unsigned kStackSize = 8192;
constexpr unsigned kFillTo = 25; // bits a read loads up to when it finds too few
constexpr std::int16_t kFreeCode = -1;
constexpr std::size_t kSuffixOffset = (kTableLimit + 1) * sizeof(std::int16_t);
constexpr std::size_t kStackOffset = kSuffixOffset + kTableLimit + 1;
static_assert(kStackOffset + kStackSize <= TEntryDecoder::kWorkAreaSize);

} // namespace

/// The tables in WorkArea (see above).
struct TShrinkTables {
    std::int16_t* Prefix;
    std::uint8_t* Suffix;
    std::uint8_t* Stack;
};

namespace {

/// Walks the string of `code` backwards onto the stack, ending with its first byte, which
/// becomes `finalByte`; an undefined code is the KwKwK case: the previous string (`oldCode`)
/// followed by its own first byte. Returns the top of the stack, or none for a string longer
/// than the stack.
std::optional<unsigned> StackString(const TShrinkTables& t, unsigned code, unsigned oldCode,
                                    std::uint8_t& finalByte) {
    unsigned top = kStackSize;
    if (t.Prefix[code] == kFreeCode) {
        t.Stack[--top] = finalByte;
        code = oldCode;
    }
    while (code >= kFirstStringCode) {
        if (top == 0) {
            return std::nullopt;
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
        return std::nullopt;
    }
    finalByte = t.Suffix[code];
    t.Stack[--top] = finalByte;
    return top;
}

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
    // Codes 0-255 are their byte, everything above is free.
    std::fill(t.Prefix + kControlCode, t.Prefix + kTableLimit + 1, kFreeCode);
    for (unsigned c = 0; c < 256; ++c) {
        t.Prefix[c] = 0;
        t.Suffix[c] = static_cast<std::uint8_t>(c);
    }
    t.Suffix[kControlCode] = 0; // never a string's byte in valid data; fixed for damaged data
    shrinkNextFree_ = kFirstStringCode;
    const TDecodeResult result = UnshrinkCodes(t);
    FlushOutput();
    finished_ = result == TDecodeResult::Done;
}

TDecodeResult TEntryDecoder::UnshrinkCodes(const TShrinkTables& t) {
    TBitReader bits(*this, kFillTo);
    unsigned codeSize = kFirstCodeSize;
    std::uint64_t loadedBefore = 0;
    const auto readCode = [&] {
        loadedBefore = bits.BytesLoaded();
        return bits.Read(codeSize);
    };
    // After a short read: the regular end when it loaded no byte, else a cut code.
    const auto endOfCodes = [&] {
        return bits.BytesLoaded() == loadedBefore ? TDecodeResult::Done : TDecodeResult::BadData;
    };

    // The first code is a byte; no code at all is an empty entry.
    unsigned oldCode = readCode();
    if (bits.RealBitsShort()) {
        return endOfCodes();
    }
    std::uint8_t finalByte = static_cast<std::uint8_t>(oldCode);
    PutOutputByte(finalByte);
    for (;;) {
        unsigned code = readCode();
        while (code == kControlCode && !bits.RealBitsShort()) {
            const unsigned subCode = bits.Read(codeSize);
            if (bits.RealBitsShort()) {
                return TDecodeResult::BadData; // a control code without its sub-code
            }
            if (subCode == 1) {
                if (codeSize == kMaxCodeSize) {
                    return TDecodeResult::BadData; // wider codes than the format has
                }
                ++codeSize;
            } else if (subCode == 2) {
                PartialClear();
            }
            code = readCode();
        }
        if (bits.RealBitsShort()) {
            return endOfCodes();
        }
        const std::optional<unsigned> top = StackString(t, code, oldCode, finalByte);
        if (!top) {
            return TDecodeResult::BadData; // longer than any string can be
        }
        FlushWindow(t.Stack + *top, kStackSize - *top);

        // The new code: the previous string plus this string's first byte.
        if (shrinkNextFree_ < kTableLimit) {
            t.Prefix[shrinkNextFree_] = static_cast<std::int16_t>(oldCode);
            t.Suffix[shrinkNextFree_] = finalByte;
            shrinkNextFree_ = NextFreeCode(t.Prefix, shrinkNextFree_ + 1);
        }
        oldCode = code;
    }
}

} // namespace zorvi
