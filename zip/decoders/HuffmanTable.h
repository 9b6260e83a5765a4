// Canonical Huffman codes as multi-level lookup tables, built from a list of code lengths
// (the method of RFC 1951 section 3.2.2). Implode decodes through these tables; inflate has
// a wider private table of its own (InflateTables.h) that decodes the same codes and rejects
// the same code sets. Inflate builds these only near the end of an input block, where the
// bits their reader would ask for decide when the next block is read (Inflate.cpp).
//
// A table is an array of entries indexed by the next `lookupBits` input bits (the first bit
// read is the lowest index bit, so codes are stored bit-reversed). A code longer than the
// bits resolved so far continues in a sub-table linked from its prefix's entry. Each table
// and sub-table is one allocation of (entries + 1) entries: the extra leading entry is not
// part of the table, its Link points to the allocation made before it, so all tables of one
// code form a chain that FreeHuffmanTable walks. The handle of a code is the address of the
// first real entry of its first table.
#pragma once

#include <cstdint>

namespace zorvi {

/// Operation codes of a table entry.
inline constexpr std::uint8_t kOpEndOfBlock = 15; // end of a deflate block
inline constexpr std::uint8_t kOpLiteral = 16;    // Value is a literal byte
inline constexpr std::uint8_t kOpSubTable = 16;   // above 16: link, index (op − 16) bits
inline constexpr std::uint8_t kOpInvalid = 99;    // no code has these bits
// 0 to 14: Value is a length or distance base that takes this many extra bits.

/// One table entry: operation, the bits its code consumes at this level, and either a
/// number (literal, base length or base distance) or, for a link, the sub-table.
struct THuftEntry {
    std::uint8_t Operation = kOpInvalid;
    std::uint8_t Bits = 0;
    std::uint16_t Value = 0;
    THuftEntry* Link = nullptr;
};

enum TBuildResult : int {
    brComplete = 0,
    brIncomplete = 1,     // unused code slots remain (a single code of length 1 is accepted)
    brOversubscribed = 2, // more codes than the lengths allow
    brOutOfMemory = 3,    // an allocation failed; everything built so far is released
};

/// Longest code length the builder accepts (implode's lengths run to 16).
inline constexpr unsigned kMaxCodeLength = 16;

/// Builds the lookup tables for `n` codes with the given lengths (0 = no code). Symbols
/// below `s` are literal bytes (below 256) or the end-of-block code (256 and up); symbol
/// k ≥ s gets Value bases[k − s] and Operation extras[k − s]. `lookupBits` is the wanted
/// first-level width on entry and the width used on return (raised to the shortest and
/// lowered to the longest code length). All lengths zero: `table` null, lookupBits 0,
/// brComplete. Lengths above kMaxCodeLength are over-subscription. Does not show messages:
/// the decoding layer reports brOutOfMemory.
TBuildResult BuildHuffmanTable(const std::uint8_t* lengths, unsigned n, unsigned s,
                               const std::uint16_t* bases, const std::uint8_t* extras,
                               THuftEntry*& table, int& lookupBits);

/// Releases every allocation of the chain behind `table` and sets it to null.
void FreeHuffmanTable(THuftEntry*& table);

} // namespace zorvi
