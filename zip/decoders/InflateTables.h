// The deflate format's constant tables (RFC 1951 section 3.2.5) and inflate's private
// decoding tables.
//
// Inflate decodes through single-word entries of its own rather than the THuftEntry tables
// of HuffmanTable.h: a first level of up to 11 bits (literal/length) or 8 bits (distance)
// resolves almost every code in one lookup, and one sub-table level holds the rest. The code
// sets accepted and rejected are those of BuildHuffmanTable (see BuildFastTable).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "zip/decoders/HuffmanTable.h"

namespace zorvi::inflate {

// Symbol counts: 288 literal/length symbols exist in the fixed code (286 and 287 are never
// valid), 32 distance symbols (30 and 31 never valid), 19 code-length symbols.
inline constexpr unsigned kNumLitlenSymbols = 288;
inline constexpr unsigned kNumDistSymbols = 32;
inline constexpr unsigned kNumPrecodeSymbols = 19;
inline constexpr unsigned kMaxLitlenCount = 286; // HLIT + 257 may not exceed this
inline constexpr unsigned kMaxDistCount = 30;    // HDIST + 1 may not exceed this

/// Base lengths of the length symbols 257 to 287, and their extra bits; 286 and 287 have no
/// meaning, their extra-bit count is the "invalid code" operation for the THuftEntry tables.
inline constexpr std::uint16_t kLengthBases[31] = {3,  4,   5,   6,   7,   8,   9,   10, 11, 13, 15,
                                                   17, 19,  23,  27,  31,  35,  43,  51, 59, 67, 83,
                                                   99, 115, 131, 163, 195, 227, 258, 0,  0};
inline constexpr std::uint8_t kLengthExtras[31] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,  2, 2,
                                                   3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, 99, 99};
/// Base distances of the distance symbols 0 to 29 and their extra bits.
inline constexpr std::uint16_t kDistBases[30] = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
inline constexpr std::uint8_t kDistExtras[30] = {0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                 4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
/// The order in which the code-length code's lengths are sent.
inline constexpr std::uint8_t kPrecodeOrder[kNumPrecodeSymbols] = {
    16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

/// What the decoder needs to know of a deflate variant: how far back a distance may reach
/// and the most extra bits of a length and of a distance code, from which the fast loop's
/// bit budget follows (InflateFastLoop.cpp). Deflate's own values; a variant with a larger
/// window and longer lengths adds its own set of these and of the symbol entries.
struct TDeflateFormat {
    static constexpr std::size_t kHistory = 32768;
    static constexpr unsigned kMaxLengthExtraBits = 5;
    static constexpr unsigned kMaxDistExtraBits = 13;
};

// A decoding table entry, one 32-bit word:
//
//   bits 31..16  value: literal byte, base length, base distance, code-length symbol, or for
//                a link the index of the sub-table's first entry
//   bit  15      invalid: no code has these bits (an unused slot of an incomplete code, or a
//                symbol that has no meaning)
//   bit  14      link: the code continues in a sub-table
//   bit  13      end of block
//   bit  12      literal
//   bits 11..8   bits of the code itself at this level, after which the extra bits start;
//                for a link: the sub-table's index bits
//   bits 7..6    zero
//   bits 5..0    all bits the entry consumes: the code at this level plus its extra bits
//                (length, distance; at most 15 + 13 = 28); for a link: the first level's
//                index bits
//
// So one shift consumes a code with its extra bits, and the extra value is
// (saved bits & mask(bits 5..0)) >> bits 11..8. A 64-bit shift uses the low six bits of its
// count and the bit-field extraction of the fast loop the low eight, so both take the whole
// entry as their count and no masking is needed. Length and distance entries have no flag
// set, so one test of bits 15..13 (or 15..14 for distances) sends every other kind of entry
// off the common path.
inline constexpr std::uint32_t kTotalBitsMask = 0x3F;
inline constexpr unsigned kCodeBitsShift = 8;
inline constexpr std::uint32_t kLiteralFlag = 0x1000;
inline constexpr std::uint32_t kEndOfBlockFlag = 0x2000;
inline constexpr std::uint32_t kLinkFlag = 0x4000;
inline constexpr std::uint32_t kInvalidFlag = 0x8000;
inline constexpr unsigned kValueShift = 16;

/// Bits of the code itself (without extra bits) of an entry.
inline constexpr unsigned CodeBits(std::uint32_t e) {
    return (e >> kCodeBitsShift) & 0xF;
}
/// The shift that drops a length or distance code's own bits from its consumed bits.
/// These entries carry no flags, so bits 13..12 are zero and the six-bit mask leaves
/// bits 11..8 alone.
inline constexpr unsigned ExtraShift(std::uint32_t e) {
    return (e >> kCodeBitsShift) & 0x3F;
}
/// All bits an entry consumes.
inline constexpr unsigned TotalBits(std::uint32_t e) {
    return e & kTotalBitsMask;
}

constexpr std::uint32_t LengthEntry(unsigned base, unsigned extra) {
    return (static_cast<std::uint32_t>(base) << kValueShift) | extra;
}

/// Entries of the literal/length symbols before their code bits are known (the code bits
/// are added by BuildFastTable).
inline constexpr auto kLitlenSymbolEntries = [] {
    std::array<std::uint32_t, kNumLitlenSymbols> e{};
    for (unsigned sym = 0; sym < 256; ++sym) {
        e[sym] = kLiteralFlag | (sym << kValueShift);
    }
    e[256] = kEndOfBlockFlag;
    for (unsigned sym = 257; sym < 286; ++sym) {
        e[sym] = LengthEntry(kLengthBases[sym - 257], kLengthExtras[sym - 257]);
    }
    e[286] = e[287] = kInvalidFlag;
    return e;
}();

inline constexpr auto kDistSymbolEntries = [] {
    std::array<std::uint32_t, kNumDistSymbols> e{};
    for (unsigned sym = 0; sym < 30; ++sym) {
        e[sym] = LengthEntry(kDistBases[sym], kDistExtras[sym]);
    }
    e[30] = e[31] = kInvalidFlag;
    return e;
}();

/// The code-length code's symbols are their own values.
inline constexpr auto kPrecodeSymbolEntries = [] {
    std::array<std::uint32_t, kNumPrecodeSymbols> e{};
    for (unsigned sym = 0; sym < kNumPrecodeSymbols; ++sym) {
        e[sym] = sym << kValueShift;
    }
    return e;
}();

inline constexpr unsigned kLitlenTableBits = 11;
inline constexpr unsigned kDistTableBits = 8;
inline constexpr unsigned kPrecodeTableBits = 7; // code-length codes are at most 7 bits
inline constexpr unsigned kMaxCodeBits = 15;     // longest deflate code

// Capacity of a table: the first level plus, in the worst case, one full sub-table of
// (15 − first-level bits) index bits for every symbol that can have a long code.
inline constexpr unsigned kLitlenCapacity =
    (1u << kLitlenTableBits) + kNumLitlenSymbols * (1u << (kMaxCodeBits - kLitlenTableBits));
inline constexpr unsigned kDistCapacity =
    (1u << kDistTableBits) + kNumDistSymbols * (1u << (kMaxCodeBits - kDistTableBits));
inline constexpr unsigned kPrecodeCapacity = 1u << kPrecodeTableBits;

/// One built code: its entries and the first level's index bits (0 for an empty code). The
/// first level is repeated up to 2^maxTableBits entries whatever its own width, so that the
/// fast loop can index it with a constant mask (kLitlenTableBits, kDistTableBits bits).
struct TFastTable {
    const std::uint32_t* Entries = nullptr;
    unsigned Bits = 0;
    unsigned Shortest = 0; // the shortest and longest code length (0 for an empty code)
    unsigned Longest = 0;
};

/// Builds the table of `n` codes of the given lengths (0 to 15). `symbolEntries[k]` is the
/// entry of symbol k without its code length: value, flags, and its extra bits in bits 7..0. The
/// first level is filled up to 2^maxTableBits entries (see TFastTable). The
/// result is that of BuildHuffmanTable for the same lengths: brOversubscribed (nothing built),
/// brIncomplete (built, free slots invalid; a single code of length 1 counts as complete), or
/// brComplete (also for no code at all).
TBuildResult BuildFastTable(const std::uint8_t* lengths, unsigned n,
                            const std::uint32_t* symbolEntries, unsigned maxTableBits,
                            std::uint32_t* entries, TFastTable& table);

/// The run's inflate tables: the current block's codes and the fixed code, which is built
/// once per run.
struct TInflateTables {
    std::uint32_t Litlen[kLitlenCapacity];
    std::uint32_t Dist[kDistCapacity];
    std::uint32_t Precode[kPrecodeCapacity];
    std::uint32_t FixedLitlen[1u << kLitlenTableBits];
    std::uint32_t FixedDist[1u << kDistTableBits];
    TFastTable Fixed[2];
    bool FixedBuilt = false;
    std::uint8_t Lengths[kMaxLitlenCount + kMaxDistCount];
};

} // namespace zorvi::inflate
