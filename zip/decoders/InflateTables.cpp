// Inflate's private decoding tables (InflateTables.h): the table builder.
#include "zip/decoders/InflateTables.h"

#include <algorithm>
#include <cstring>

namespace zorvi::inflate {

namespace {

/// The code after `codeword` among the codes of `length` bits, both bit-reversed (as the
/// table is indexed): one is added at bit length − 1 and the carry runs towards bit 0.
/// After the last code of a length (all ones) it gives 0 with the carry lost, which only
/// happens when a complete code is used up.
unsigned NextCodeword(unsigned codeword, unsigned length) {
    unsigned bit = 1u << (length - 1);
    while ((codeword & bit) != 0) {
        bit >>= 1;
    }
    return bit == 0 ? 0 : (codeword & (bit - 1)) | bit;
}

} // namespace

// The table is filled in canonical order, shortest codes first. The codes of one length
// are consecutive numbers, so bit-reversed each is one slot of a table indexed by that
// many bits; once a length is done, the table is doubled by copying it onto its upper
// half, which repeats every shorter code over the slots whose low bits are that code.
// So the first level costs one store per code and block copies of 2^bits entries in all,
// however many codes there are (this runs for every dynamic block). Slots that no code
// of the lengths done so far takes stay invalid (they start so), and are either taken by
// a longer code or left invalid (an incomplete code).
//
// Codes longer than the first level share their first `bits` bits in groups, and in
// canonical order each group is consecutive, its longest code last: the group gets one
// sub-table indexed by (that longest length − bits) bits, linked from the slot of the
// shared bits.
TBuildResult BuildFastTable(const std::uint8_t* lengths, unsigned n,
                            const std::uint32_t* symbolEntries, unsigned maxTableBits,
                            std::uint32_t* entries, TFastTable& table) {
    unsigned count[kMaxCodeBits + 1] = {};
    for (unsigned i = 0; i < n; ++i) {
        ++count[lengths[i]];
    }
    table.Entries = entries;
    if (count[0] == n) {
        // No code at all: BuildHuffmanTable accepts it; any lookup then finds nothing.
        std::fill(entries, entries + (1u << maxTableBits), TEntry::kInvalid);
        table.Bits = 0;
        table.Shortest = table.Longest = 0;
        return brComplete;
    }
    unsigned shortest = 1;
    while (count[shortest] == 0) {
        ++shortest;
    }
    unsigned longest = kMaxCodeBits;
    while (count[longest] == 0) {
        --longest;
    }
    // Same test as BuildHuffmanTable: code slots left at each length.
    int unfilled = 1 << shortest;
    for (unsigned len = shortest; len <= longest; ++len) {
        unfilled -= static_cast<int>(count[len]);
        if (unfilled < 0) {
            return brOversubscribed;
        }
        if (len < longest) {
            unfilled <<= 1;
        }
    }
    const TBuildResult result = (unfilled != 0 && longest != 1) ? brIncomplete : brComplete;

    const unsigned bits = std::min(maxTableBits, longest);
    const unsigned mainSize = 1u << bits;
    table.Bits = bits;
    table.Shortest = shortest;
    table.Longest = longest;

    // The symbols in canonical order: by code length, then by symbol number.
    unsigned start[kMaxCodeBits + 2] = {};
    for (unsigned len = 1; len <= kMaxCodeBits; ++len) {
        start[len + 1] = start[len] + count[len];
    }
    std::uint16_t sorted[kNumLitlenSymbols];
    for (unsigned sym = 0; sym < n; ++sym) {
        if (lengths[sym] != 0) {
            sorted[start[lengths[sym]]++] = static_cast<std::uint16_t>(sym);
        }
    }
    const std::uint16_t* nextSymbol = sorted;

    // First level, doubling from the shortest length up to `bits`.
    unsigned codeword = 0;
    unsigned len = std::min(shortest, bits);
    unsigned size = 1u << len;
    std::fill(entries, entries + size, TEntry::kInvalid);
    for (;;) {
        for (unsigned c = count[len]; c > 0; --c) {
            entries[codeword] = TEntry::WithCode(symbolEntries[*nextSymbol++], len);
            codeword = NextCodeword(codeword, len);
        }
        if (len == maxTableBits) {
            break;
        }
        // Past `bits` (a code shorter than the table) only the copies go on.
        std::memcpy(entries + size, entries, size * sizeof *entries);
        size <<= 1;
        ++len;
    }

    // The longer codes, bit-reversed, with their lengths and symbols. There are some only
    // when bits == maxTableBits, so the first level was not repeated.
    std::uint16_t longCodes[kNumLitlenSymbols];
    std::uint8_t longLengths[kNumLitlenSymbols];
    unsigned longCount = 0;
    for (len = bits + 1; len <= longest; ++len) {
        for (unsigned c = count[len]; c > 0; --c) {
            longCodes[longCount] = static_cast<std::uint16_t>(codeword);
            longLengths[longCount++] = static_cast<std::uint8_t>(len);
            codeword = NextCodeword(codeword, len);
        }
    }
    unsigned next = mainSize; // where the next sub-table goes
    for (unsigned i = 0; i < longCount;) {
        const unsigned prefix = longCodes[i] & (mainSize - 1);
        unsigned end = i + 1;
        while (end < longCount && (longCodes[end] & (mainSize - 1)) == prefix) {
            ++end;
        }
        const unsigned subBits = longLengths[end - 1] - bits;
        entries[prefix] = TEntry::Link(next, subBits, bits);
        std::uint32_t* const sub = entries + next;
        std::fill(sub, sub + (1u << subBits), TEntry::kInvalid);
        for (; i < end; ++i) {
            const unsigned subLen = longLengths[i] - bits;
            const std::uint32_t e = TEntry::WithCode(symbolEntries[*nextSymbol++], subLen);
            for (unsigned x = longCodes[i] >> bits; x < (1u << subBits); x += 1u << subLen) {
                sub[x] = e;
            }
        }
        next += 1u << subBits;
    }
    return result;
}

} // namespace zorvi::inflate
