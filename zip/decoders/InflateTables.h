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

/// What the decoder needs to know of a deflate variant: how far back a distance may reach,
/// the most extra bits of a length and of a distance code (from which the fast loop's bit
/// budget follows, see InflateFastLoop.cpp), and the base distance of each distance
/// symbol. These are deflate's. A variant with a 64 KiB window, length symbol 285 taking
/// 16 extra bits and distance symbols 30 and 31 brings its own set of these and of the
/// symbol entries below; its lengths and distances do not fit one refill together, so its
/// fast loop refills between them (kMaxLengthExtraBits + kMaxDistExtraBits decide that).
struct TDeflateFormat {
    static constexpr std::size_t kHistory = 32768;
    static constexpr unsigned kMaxLengthExtraBits = 5;
    static constexpr unsigned kMaxDistExtraBits = 13;
    static constexpr const std::uint16_t* kDistBases = inflate::kDistBases;
};

inline constexpr unsigned kLitlenTableBits = 11;
inline constexpr unsigned kDistTableBits = 8;
inline constexpr unsigned kPrecodeTableBits = 7; // code-length codes are at most 7 bits
inline constexpr unsigned kMaxCodeBits = 15;     // longest deflate code

/// All bits an entry consumes (bits 5..0, see TEntry).
inline constexpr unsigned TotalBits(std::uint32_t e) {
    return e & 0x3F;
}

/// A decoding table entry, one 32-bit word; the same layout for the literal/length, the
/// distance and the code-length code:
///
///   bit  31      literal
///   bits 30..29  01 link: the code continues in a sub-table; 10 end of block; 11 invalid: no
///                code has these bits (an unused slot of an incomplete code, or a symbol
///                without meaning); 00 otherwise
///   bits 28..25  bits of the code itself at this level, after which its extra bits start
///   bits 24..16  value: literal byte, base length, distance symbol (its base distance is
///                kDistBases[symbol]: a base takes up to 15 bits, 16 with a 64 KiB window,
///                more than the word has room for) or code-length symbol;
///                for a link, bits 28..16 are the index of the sub-table's first entry
///   bits 15..8   index bits of the lookup that follows this code: kLitlenTableBits after a
///                literal or a distance, kDistTableBits after a length; for a link, its
///                sub-table's index bits; 0 otherwise
///   bits 7..6    zero
///   bits 5..0    all bits the entry consumes: its code at this level plus its extra bits
///                (at most 15 + 13); for a link, the first level's index bits
///
/// Bits 15..0 are what the fast loop's bit-field extraction (BMI1 bextr: start in bits 7..0,
/// width in bits 15..8) takes to get the index of the next lookup straight from the bits
/// before this entry's own are consumed: one instruction instead of a shift and a mask on
/// the path from one lookup to the next. A 64-bit shift uses the low six bits of its count,
/// and the bit count can have whole entries subtracted from its low byte (bits 7..6 are
/// zero), so the entry itself is the count of both. The literal flag is the sign bit, and
/// one test of bits 30..29 sends every rare kind off the common path; for a length or a
/// distance, bits 31..29 are zero, so entry >> 25 is its code's bits.
struct TEntry {
    static constexpr std::uint32_t kLiteral = 1u << 31;
    static constexpr std::uint32_t kLink = 1u << 30;
    static constexpr std::uint32_t kEndOfBlock = 1u << 29;
    static constexpr std::uint32_t kInvalid = kLink | kEndOfBlock;
    static constexpr std::uint32_t kRare = kLink | kEndOfBlock;
    static constexpr unsigned kCodeBitsShift = 25;
    static constexpr unsigned kNextBitsShift = 8;
    static constexpr unsigned kValueShift = 16;

    static constexpr bool IsLiteral(std::uint32_t e) { return (e & kLiteral) != 0; }
    static constexpr bool IsLink(std::uint32_t e) { return (e & kRare) == kLink; }
    static constexpr bool IsEndOfBlock(std::uint32_t e) { return (e & kRare) == kEndOfBlock; }
    static constexpr bool IsInvalid(std::uint32_t e) { return (e & kRare) == kInvalid; }
    static constexpr unsigned CodeBits(std::uint32_t e) { return (e >> kCodeBitsShift) & 0xF; }
    /// Literal byte, base length, distance symbol or code-length symbol.
    static constexpr unsigned Value(std::uint32_t e) { return (e >> kValueShift) & 0x1FF; }
    static constexpr unsigned SubTable(std::uint32_t e) { return (e >> kValueShift) & 0x1FFF; }
    static constexpr unsigned SubTableBits(std::uint32_t e) { return (e >> kNextBitsShift) & 0xFF; }
    /// A symbol's entry (value, flags, next index bits, extra bits in bits 5..0) with its
    /// code length at this level added.
    static constexpr std::uint32_t WithCode(std::uint32_t symbol, unsigned codeBits) {
        return symbol + codeBits + (codeBits << kCodeBitsShift);
    }
    static constexpr std::uint32_t Link(unsigned subTable, unsigned subBits, unsigned bits) {
        return kLink | (subTable << kValueShift) | (subBits << kNextBitsShift) | bits;
    }
};

/// Entries of the literal/length symbols before their code bits are known (BuildFastTable
/// adds them): literals, end of block, lengths with their extra bits, and 286 and 287,
/// which have no meaning.
inline constexpr auto kLitlenSymbolEntries = [] {
    std::array<std::uint32_t, kNumLitlenSymbols> e{};
    for (unsigned sym = 0; sym < 256; ++sym) {
        e[sym] = TEntry::kLiteral | (sym << TEntry::kValueShift) |
                 (kLitlenTableBits << TEntry::kNextBitsShift);
    }
    e[256] = TEntry::kEndOfBlock;
    for (unsigned sym = 257; sym < 286; ++sym) {
        e[sym] = (std::uint32_t{kLengthBases[sym - 257]} << TEntry::kValueShift) |
                 (kDistTableBits << TEntry::kNextBitsShift) | kLengthExtras[sym - 257];
    }
    e[286] = e[287] = TEntry::kInvalid;
    return e;
}();

/// Entries of the distance symbols before their code bits are known: 30 and 31 have no
/// meaning in deflate.
inline constexpr auto kDistSymbolEntries = [] {
    std::array<std::uint32_t, kNumDistSymbols> e{};
    for (unsigned sym = 0; sym < 30; ++sym) {
        e[sym] = (sym << TEntry::kValueShift) | (kLitlenTableBits << TEntry::kNextBitsShift) |
                 kDistExtras[sym];
    }
    e[30] = e[31] = TEntry::kInvalid;
    return e;
}();

/// The code-length code's symbols are their own values.
inline constexpr auto kPrecodeSymbolEntries = [] {
    std::array<std::uint32_t, kNumPrecodeSymbols> e{};
    for (unsigned sym = 0; sym < kNumPrecodeSymbols; ++sym) {
        e[sym] = sym << TEntry::kValueShift;
    }
    return e;
}();

static_assert(TEntry::Value(TEntry::WithCode(kLitlenSymbolEntries[285], 15)) == 258);
static_assert(TotalBits(TEntry::WithCode(kLitlenSymbolEntries[284], 15)) == 20);

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

static_assert(kLitlenCapacity <= 0x2000 && kDistCapacity <= 0x2000,
              "a link's sub-table index must fit its 13 bits");

/// Builds the table of `n` codes of the given lengths (0 to 15). `symbolEntries[k]` is the
/// entry of symbol k
/// without its code length: value, flags, and its extra bits in bits 5..0. The first level
/// is filled up to 2^maxTableBits entries (see TFastTable). The result is that of
/// BuildHuffmanTable for the same lengths: brOversubscribed (nothing built), brIncomplete
/// (built, free slots invalid; a single code of length 1 counts as complete), or brComplete
/// (also for no code at all).
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
