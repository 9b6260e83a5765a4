// Inflate's fast loop: Huffman-coded symbols decoded with one bit-buffer refill per round,
// while the input block and the window have room for a whole round (see Inflate.cpp for
// the decoder around it and InflateTables.h for the table entries it reads).
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "zip/decoders/InflateTables.h"

namespace zorvi::inflate {

/// Eight input bytes as one number, the first in the low bits (the bit reader's order).
inline std::uint64_t LoadLittleEndian64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::big) {
        v = __builtin_bswap64(v);
    }
    return v;
}

/// The decoder's state while the fast loop runs; the inflater hands it over and takes it
/// back. The bit reader's invariants are Inflate.cpp's: `BitBuf` holds `BitCount` unread
/// bits, the next in bit 0, and the bits above them are zero or those of the bytes at `In`.
struct TFastLoopState {
    std::uint8_t* Base;          // first byte of the work area: no distance reaches before it
    std::uint8_t* Out;           // next byte to write
    std::uint8_t* OutLimit;      // no round starts at or beyond this
    const std::uint8_t* In;      // next input byte not yet in BitBuf
    const std::uint8_t* InLimit; // no round starts beyond this (kFastInputMargin before the end)
    std::uint64_t BitBuf;
    unsigned BitCount;
};

enum TFastLoopStop {
    fsLimit,      // a limit was reached: the inflater goes on symbol by symbol
    fsEndOfBlock, // the end-of-block code was consumed
    fsBadData,    // an invalid code, or a distance before the entry's first byte
};

/// Input a round may read beyond `In` at its start: it starts with 56 bits or more and
/// refills at most twice, each time loading eight bytes: first where `In` stood, then, after
/// at most three literals (33 bits), at most (63 − 23) / 8 = 5 bytes further on. So 13 bytes
/// would do.
inline constexpr std::ptrdiff_t kFastInputMargin = 16;

/// Output a round may write beyond OutLimit: three literals and a longest match, or four
/// literals; a match copy then writes up to kCopyOverrun bytes beyond its end.
inline constexpr std::size_t kCopyOverrun = 31;
inline constexpr std::size_t kFastOutputOverrun = 3 + 258 + kCopyOverrun;

/// The builds of the fast loop: for any processor, and with the bit-field instructions
/// (BMI2) and 256-bit moves (AVX2) of x86-64 processors that have them.
enum class TFastLoopKind { Generic, Bmi2 };

/// Whether this processor (and this build) has the kind.
bool FastLoopAvailable(TFastLoopKind kind);

/// Runs rounds until a limit, the end of the block or bad data; the block's tables are
/// `litlen` and `dist` (first levels of kLitlenTableBits and kDistTableBits, see
/// TFastTable). Takes the best kind this processor has.
TFastLoopStop DecodeFast(TFastLoopState& state, const std::uint32_t* litlen,
                         const std::uint32_t* dist);

/// DecodeFast by the given kind, which must be available; for the tests of each.
TFastLoopStop DecodeFastWith(TFastLoopKind kind, TFastLoopState& state, const std::uint32_t* litlen,
                             const std::uint32_t* dist);

/// Copies a match of `length` bytes (at least 3) from `distance` (at least 1) back to
/// `dst` in words, as the fast loop does; writes up to kCopyOverrun bytes beyond the match.
void CopyMatch(std::uint8_t* dst, unsigned distance, unsigned length);

} // namespace zorvi::inflate
