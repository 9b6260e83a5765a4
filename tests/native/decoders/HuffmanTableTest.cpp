// The multi-level table builder: its verdicts on code sets, the codes it lays out (walked
// bit by bit as a decoder does), and agreement with inflate's private tables.
#include <gtest/gtest.h>

#include <random>

#include "DecoderTestSupport.h"
#include "zip/decoders/HuffmanTable.h"
#include "zip/decoders/InflateTables.h"

namespace zorvi::test {
namespace {

struct TBuilt {
    TBuildResult Result;
    THuftEntry* Table = nullptr;
    int Bits;
    ~TBuilt() { FreeHuffmanTable(Table); }
};

std::unique_ptr<TBuilt> Build(const std::vector<std::uint8_t>& lengths, int bits = 9,
                              unsigned s = 256) {
    auto b = std::make_unique<TBuilt>();
    b->Bits = bits;
    std::vector<std::uint16_t> bases(lengths.size(), 0);
    std::vector<std::uint8_t> extras(lengths.size(), 0);
    for (std::size_t k = 0; k < lengths.size(); ++k) {
        bases[k] = static_cast<std::uint16_t>(1000 + k);
    }
    b->Result = BuildHuffmanTable(lengths.data(), static_cast<unsigned>(lengths.size()), s,
                                  bases.data(), extras.data(), b->Table, b->Bits);
    return b;
}

/// Follows `code` (MSB-first canonical code of `length` bits) through the tables.
const THuftEntry* Walk(const TBuilt& b, std::uint32_t code, unsigned length, unsigned& used) {
    std::uint32_t input = 0; // the bits in reading order, first in bit 0
    for (unsigned i = 0; i < length; ++i) {
        input |= ((code >> (length - 1 - i)) & 1u) << i;
    }
    const THuftEntry* e = b.Table + (input & ((1u << b.Bits) - 1));
    used = 0;
    while (e->Operation > kOpSubTable && e->Operation != kOpInvalid) {
        used += e->Bits;
        input >>= e->Bits;
        e = e->Link + (input & ((1u << (e->Operation - kOpSubTable)) - 1));
    }
    used += e->Bits;
    return e;
}

TEST(HuffmanTable, VerdictsOnCodeSets) {
    EXPECT_EQ(Build({2, 2, 2, 2})->Result, brComplete);
    EXPECT_EQ(Build({2, 2, 2, 0})->Result, brIncomplete);
    EXPECT_EQ(Build({1, 2, 2, 2})->Result, brOversubscribed);
    EXPECT_EQ(Build({0, 1, 0})->Result, brComplete); // a single code of length 1
    EXPECT_EQ(Build({0, 2, 0})->Result, brIncomplete);
    auto none = Build({0, 0, 0});
    EXPECT_EQ(none->Result, brComplete);
    EXPECT_EQ(none->Table, nullptr);
    EXPECT_EQ(none->Bits, 0);
}

TEST(HuffmanTable, LookupBitsAreClampedToTheUsedLengths) {
    EXPECT_EQ(Build({3, 3, 3, 3, 3, 3, 3, 3}, 9)->Bits, 3);
    EXPECT_EQ(Build({4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4}, 2)->Bits, 4);
}

TEST(HuffmanTable, EveryCodeLeadsToItsSymbolThroughTheSubTables) {
    std::mt19937 rng(5);
    for (int round = 0; round < 40; ++round) {
        const unsigned n = 2 + rng() % 287;
        const unsigned maxLength = 16;
        const auto lengths = RandomCompleteLengths(n, maxLength, rng);
        const auto codes = CanonicalCodes(lengths);
        auto built = Build(lengths, 1 + static_cast<int>(rng() % 10));
        ASSERT_EQ(built->Result, brComplete);
        for (unsigned sym = 0; sym < n; ++sym) {
            unsigned used = 0;
            const THuftEntry* e = Walk(*built, codes[sym], lengths[sym], used);
            ASSERT_EQ(used, lengths[sym]) << round << "/" << sym;
            if (sym < 256) {
                EXPECT_EQ(e->Operation, kOpLiteral);
                EXPECT_EQ(e->Value, sym);
            } else {
                EXPECT_EQ(e->Operation, 0); // extra bits of a base value
                EXPECT_EQ(e->Value, 1000 + sym - 256);
            }
        }
    }
}

TEST(HuffmanTable, FreeSlotsOfAnIncompleteCodeAreInvalid) {
    // Codes 0, 10, 110 used; 111 free.
    auto built = Build({1, 2, 3, 0}, 1);
    ASSERT_EQ(built->Result, brIncomplete);
    unsigned used = 0;
    EXPECT_EQ(Walk(*built, 0b111, 3, used)->Operation, kOpInvalid);
    EXPECT_EQ(Walk(*built, 0b110, 3, used)->Value, 2);
}

TEST(HuffmanTable, InflateTablesGiveTheSameVerdicts) {
    std::mt19937 rng(17);
    std::vector<std::uint32_t> entries(inflate::kLitlenCapacity);
    std::vector<std::uint32_t> symbolEntries(288, 0);
    for (int round = 0; round < 2000; ++round) {
        const unsigned n = 1 + rng() % 288;
        std::vector<std::uint8_t> lengths;
        if (rng() % 2) {
            lengths = RandomCompleteLengths(n, 15, rng);
            const int damage = static_cast<int>(rng() % 3); // none, drop one, add one
            if (damage == 1) {
                lengths[rng() % n] = 0;
            } else if (damage == 2) {
                lengths[rng() % n] = static_cast<std::uint8_t>(1 + rng() % 15);
            }
        } else {
            lengths.resize(n);
            for (auto& l : lengths) {
                l = static_cast<std::uint8_t>(rng() % 3 == 0 ? 0 : 1 + rng() % 15);
            }
        }
        inflate::TFastTable fast;
        const TBuildResult mine =
            inflate::BuildFastTable(lengths.data(), n, symbolEntries.data(),
                                    inflate::kLitlenTableBits, entries.data(), fast);
        EXPECT_EQ(mine, Build(lengths)->Result) << round;
    }
}

/// Every pattern of `longest` input bits through inflate's table and through
/// BuildHuffmanTable's: the same symbol with the same length, or invalid in both; and the
/// same entry through the first level at its full width.
void ExpectDecodesAsTheReference(const std::vector<std::uint8_t>& lengths, std::mt19937& rng) {
    std::vector<std::uint32_t> entries(inflate::kLitlenCapacity);
    std::vector<std::uint32_t> symbolEntries(288);
    for (unsigned k = 0; k < symbolEntries.size(); ++k) {
        symbolEntries[k] = k << inflate::TEntry::kValueShift;
    }
    const auto n = static_cast<unsigned>(lengths.size());
    const auto reference = Build(lengths, 9, n);
    ASSERT_NE(reference->Result, brOversubscribed);
    for (const unsigned tableBits : {inflate::kLitlenTableBits, inflate::kDistTableBits, 5u}) {
        inflate::TFastTable fast;
        std::fill(entries.begin(), entries.end(), 0x12345678u); // stale contents
        ASSERT_EQ(inflate::BuildFastTable(lengths.data(), n, symbolEntries.data(), tableBits,
                                          entries.data(), fast),
                  reference->Result);
        const unsigned longest = *std::max_element(lengths.begin(), lengths.end());
        if (longest == 0) { // no code: nothing decodes
            for (std::uint32_t input = 0; input < (1u << tableBits); ++input) {
                ASSERT_TRUE(inflate::TEntry::IsInvalid(fast.Entries[input])) << input;
            }
            continue;
        }
        for (std::uint32_t input = 0; input < (1u << longest); ++input) {
            std::uint32_t bits = input;
            const THuftEntry* r = reference->Table + (bits & ((1u << reference->Bits) - 1));
            unsigned used = 0;
            while (r->Operation > kOpSubTable && r->Operation != kOpInvalid) {
                used += r->Bits;
                bits >>= r->Bits;
                r = r->Link + (bits & ((1u << (r->Operation - kOpSubTable)) - 1));
            }
            used += r->Bits;
            std::uint32_t e = fast.Entries[input & ((1u << fast.Bits) - 1)];
            // The first level repeats up to its full width, whatever follows the code.
            const std::uint32_t wide = input | static_cast<std::uint32_t>(rng() << longest);
            ASSERT_EQ(fast.Entries[wide & ((1u << tableBits) - 1)], e) << input;
            unsigned fastUsed = 0; // the first level's bits when the code goes on
            if (inflate::TEntry::IsLink(e)) {
                fastUsed = inflate::TotalBits(e);
                e = fast.Entries[inflate::TEntry::SubTable(e) +
                                 ((input >> fastUsed) &
                                  ((1u << inflate::TEntry::SubTableBits(e)) - 1))];
            }
            const unsigned codeLength = fastUsed + inflate::TEntry::CodeBits(e);
            fastUsed += inflate::TotalBits(e);
            if (r->Operation == kOpInvalid) {
                ASSERT_TRUE(inflate::TEntry::IsInvalid(e)) << input;
            } else {
                ASSERT_FALSE(inflate::TEntry::IsInvalid(e)) << input;
                ASSERT_EQ(inflate::TEntry::Value(e), r->Value) << input;
                ASSERT_EQ(fastUsed, used) << input;
                ASSERT_EQ(codeLength, used) << input; // without extra bits, all of it is code
            }
        }
    }
}

TEST(HuffmanTable, InflateTablesDecodeEveryBitPatternAsTheReferenceDoes) {
    // Complete and incomplete codes, short and long.
    std::mt19937 rng(29);
    std::vector<std::vector<std::uint8_t>> cases = {
        {0, 1, 0}, {1, 1}, {2, 2, 2, 0}, {3, 0, 3, 2}, {0, 0, 0}};
    std::vector<std::uint8_t> fixed(288, 8);
    std::fill(fixed.begin() + 144, fixed.begin() + 256, 9);
    std::fill(fixed.begin() + 256, fixed.begin() + 280, 7);
    cases.push_back(fixed);
    cases.push_back(std::vector<std::uint8_t>(30, 5));
    for (int round = 0; round < 120; ++round) {
        const unsigned n = 2 + rng() % 287;
        auto lengths = RandomCompleteLengths(n, round % 3 == 0 ? 9 : 15, rng);
        if (round % 2) {
            lengths[rng() % n] = 0; // incomplete
        }
        cases.push_back(lengths);
    }
    for (const auto& lengths : cases) {
        ExpectDecodesAsTheReference(lengths, rng);
    }
}

} // namespace
} // namespace zorvi::test
