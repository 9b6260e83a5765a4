// Builder of multi-level Huffman lookup tables (see HuffmanTable.h for the layout).
//
// The codes are canonical: symbols sorted by code length, ties by symbol number, get
// consecutive codes. The builder walks them in that order with `code` holding the current
// code bit-reversed (the first bit read is the lowest), so the entries of a code are the
// table slots whose low bits equal it. Tables are opened as the code length passes the
// bits resolved so far: the first level has `lookupBits` index bits, each sub-table starts
// with the bits its first code still needs and widens while the codes of the following
// lengths would fill it, never beyond `lookupBits` nor beyond the longest length. (The
// classic form of this builder let a sub-table start wider than `lookupBits` when a code
// was more than twice that long, while its link still dropped only `lookupBits` bits; no
// code set of deflate or implode reaches that case, but capping the width keeps every code
// set decodable.)
//
// An incomplete code is filled up with "invalid" entries: the longest length gets as many
// dummy codes as slots remain, and a dummy code's entries have operation kOpInvalid.
#include "zip/decoders/HuffmanTable.h"

#include <algorithm>
#include <new>

namespace zorvi {
namespace {

/// Most codes a table is built for: the 288 literal/length codes of deflate's fixed code.
constexpr unsigned kMaxCodes = 288;

/// Allocates one table of `entries` entries plus its leading link entry.
THuftEntry* AllocateTable(unsigned entries) {
    return new (std::nothrow) THuftEntry[entries + 1];
}

} // namespace

void FreeHuffmanTable(THuftEntry*& table) {
    // The handle points at the first real entry; the entry in front of it is the allocation's
    // leading entry, whose Link is the next table of the chain (or its first real entry).
    THuftEntry* p = table;
    while (p != nullptr) {
        THuftEntry* allocation = p - 1;
        p = allocation->Link;
        delete[] allocation;
    }
    table = nullptr;
}

TBuildResult BuildHuffmanTable(const std::uint8_t* lengths, unsigned n, unsigned s,
                               const std::uint16_t* bases, const std::uint8_t* extras,
                               THuftEntry*& table, int& lookupBits) {
    table = nullptr;
    if (n > kMaxCodes) {
        return brOversubscribed;
    }

    // 1. Codes per length.
    unsigned count[kMaxCodeLength + 1] = {};
    for (unsigned i = 0; i < n; ++i) {
        if (lengths[i] > kMaxCodeLength) {
            return brOversubscribed;
        }
        ++count[lengths[i]];
    }
    if (count[0] == n) {
        lookupBits = 0;
        return brComplete;
    }

    // 2. Clamp the first-level width to the shortest and longest length.
    unsigned shortest = 1;
    while (count[shortest] == 0) {
        ++shortest;
    }
    unsigned longest = kMaxCodeLength;
    while (count[longest] == 0) {
        --longest;
    }
    int l = lookupBits;
    if (l < static_cast<int>(shortest)) {
        l = static_cast<int>(shortest);
    }
    if (l > static_cast<int>(longest)) {
        l = static_cast<int>(longest);
    }
    lookupBits = l;

    // 3. Over-subscription; `unfilled` ends as the number of free slots of the longest length,
    // which become dummy codes.
    int unfilled = 1 << shortest;
    for (unsigned len = shortest; len < longest; ++len, unfilled <<= 1) {
        unfilled -= static_cast<int>(count[len]);
        if (unfilled < 0) {
            return brOversubscribed;
        }
    }
    unfilled -= static_cast<int>(count[longest]);
    if (unfilled < 0) {
        return brOversubscribed;
    }
    count[longest] += static_cast<unsigned>(unfilled);

    // 4. Symbols sorted by length (ties by symbol number): offsets[len] is the first slot of
    // that length in `sorted`.
    unsigned offsets[kMaxCodeLength + 2] = {};
    for (unsigned len = 1; len < longest; ++len) {
        offsets[len + 1] = offsets[len] + count[len];
    }
    unsigned sorted[kMaxCodes];
    {
        unsigned next[kMaxCodeLength + 2];
        for (unsigned len = 0; len <= longest; ++len) {
            next[len] = offsets[len];
        }
        for (unsigned sym = 0; sym < n; ++sym) {
            if (lengths[sym] != 0) {
                sorted[next[lengths[sym]]++] = sym;
            }
        }
    }
    const unsigned realCodes = n - (count[0]); // symbols with a code, dummies excluded

    // 5. Enumerate the codes and fill the tables.
    THuftEntry* levelTable[kMaxCodeLength] = {}; // open table of each level
    unsigned levelCode[kMaxCodeLength + 1] = {}; // code prefix that selected each level
    THuftEntry** chainLink = &table;             // where the next allocation is linked
    unsigned code = 0;                           // current code, bit-reversed
    int level = -1;                              // no table yet
    int resolved = -l;                           // bits resolved before the open table
    unsigned tableSize = 0;
    THuftEntry* current = nullptr;
    unsigned symbolIndex = 0;

    for (unsigned len = shortest; len <= longest; ++len) {
        for (unsigned left = count[len]; left > 0; --left) {
            // Open tables until the one that holds codes of this length.
            while (static_cast<int>(len) > resolved + l) {
                ++level;
                resolved += l;
                // Size the new table: at most l bits, and no more than the longest length
                // still needs; start with what this code needs and widen while the codes of
                // the following lengths would fill the larger table.
                unsigned limit = longest - static_cast<unsigned>(resolved);
                if (limit > static_cast<unsigned>(l)) {
                    limit = static_cast<unsigned>(l);
                }
                // A code more than l bits beyond this level continues in a deeper one, so
                // no table is ever wider than l bits (its link entry drops exactly l).
                unsigned bits = std::min(len - static_cast<unsigned>(resolved), limit);
                unsigned slots = 1u << bits;
                if (slots > left && bits < limit) {
                    slots -= left; // slots of this length not taken by its codes
                    unsigned nextLen = len;
                    while (++bits < limit) {
                        slots <<= 1;
                        if (slots <= count[++nextLen]) {
                            break;
                        }
                        slots -= count[nextLen];
                    }
                }
                tableSize = 1u << bits;

                THuftEntry* allocation = AllocateTable(tableSize);
                if (allocation == nullptr) {
                    FreeHuffmanTable(table);
                    return brOutOfMemory;
                }
                *chainLink = allocation + 1;
                allocation->Link = nullptr;
                chainLink = &allocation->Link;
                current = allocation + 1;
                levelTable[level] = current;

                if (level > 0) {
                    // Link the new table from the parent entry its prefix selects.
                    levelCode[level] = code;
                    THuftEntry link;
                    link.Operation = static_cast<std::uint8_t>(kOpSubTable + bits);
                    link.Bits = static_cast<std::uint8_t>(l);
                    link.Link = current;
                    const unsigned parentIndex = code >> (resolved - l);
                    levelTable[level - 1][parentIndex & ((1u << l) - 1)] = link;
                }
            }

            // 6. The entry of this code.
            THuftEntry entry;
            entry.Bits = static_cast<std::uint8_t>(len - static_cast<unsigned>(resolved));
            if (symbolIndex >= realCodes) {
                entry.Operation = kOpInvalid; // a dummy code of an incomplete set
            } else {
                const unsigned sym = sorted[symbolIndex++];
                if (sym < s) {
                    entry.Operation = sym < 256 ? kOpLiteral : kOpEndOfBlock;
                    entry.Value = static_cast<std::uint16_t>(sym);
                } else {
                    entry.Operation = extras[sym - s];
                    entry.Value = bases[sym - s];
                }
            }
            const unsigned step = 1u << (len - static_cast<unsigned>(resolved));
            for (unsigned j = code >> resolved; j < tableSize; j += step) {
                current[j] = entry;
            }

            // Next code of this length, incremented bit-reversed.
            unsigned bit = 1u << (len - 1);
            while (code & bit) {
                code ^= bit;
                bit >>= 1;
            }
            code ^= bit;

            // Close the tables this code finished.
            while (level > 0 && (code & ((1u << resolved) - 1)) != levelCode[level]) {
                --level; // the next code is longer, so it opens a new table
                resolved -= l;
            }
        }
    }

    // 7. Incomplete unless every slot is used, a single code of length 1 excepted.
    return (unfilled != 0 && longest != 1) ? brIncomplete : brComplete;
}

} // namespace zorvi
