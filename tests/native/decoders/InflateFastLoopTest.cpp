// Inflate's fast loop, each kind this processor has (the one for any processor, and the
// BMI2/AVX2 one), run directly on hand-built Huffman data whose codes reach 15 bits in both
// tables (so sub-tables and the index widths that entries carry for the next lookup are
// used), with zlib decoding the same block as the control.
#include <gtest/gtest.h>

#include <random>

#include "DecoderTestSupport.h"
#include "zip/decoders/InflateFastLoop.h"

namespace zorvi::test {
namespace {

using inflate::TFastLoopKind;

/// One symbol of a block: a literal, a match, or the end of the block.
struct TSymbol {
    unsigned Length = 0; // 0: literal `Value`; 1: end of block; else a match
    unsigned Value = 0;  // literal byte or distance
};

/// A random sequence of runs of one to six literals (every byte value turns up) and matches
/// of every distance from 1 to 40, and far ones, of lengths from 3 to 258, the ones around
/// the copy's word sizes most often; then the end of the block.
std::vector<TSymbol> RandomSymbols(std::mt19937& rng, unsigned count) {
    static constexpr unsigned kLengths[] = {3,  4,  5,  7,  8,  9,  15,  16,  17, 31,
                                            32, 33, 34, 63, 64, 65, 100, 257, 258};
    std::vector<TSymbol> symbols;
    std::size_t produced = 0;
    for (unsigned i = 0; i < 40; ++i, ++produced) {
        symbols.push_back({0, static_cast<unsigned>(rng() % 256)});
    }
    while (symbols.size() < count) {
        if (rng() % 2) {
            for (unsigned k = 1 + rng() % 6; k > 0; --k, ++produced) {
                symbols.push_back({0, static_cast<unsigned>(rng() % 256)});
            }
            continue;
        }
        const unsigned length = rng() % 3 ? kLengths[rng() % std::size(kLengths)] : 3 + rng() % 256;
        const unsigned near = 1 + rng() % 40;
        const unsigned far =
            1 + rng() % static_cast<unsigned>(std::min<std::size_t>(produced, 32768));
        symbols.push_back({length, rng() % 4 ? near : far});
        produced += length;
    }
    symbols.push_back({1, 0});
    return symbols;
}

/// The codes of one dynamic block.
struct TCodes {
    std::vector<std::uint8_t> Litlen, Dist;
    std::vector<std::uint32_t> LitlenCodes, DistCodes;

    TCodes(std::vector<std::uint8_t> litlen, std::vector<std::uint8_t> dist)
        : Litlen(std::move(litlen)), Dist(std::move(dist)), LitlenCodes(CanonicalCodes(Litlen)),
          DistCodes(CanonicalCodes(Dist)) {}

    void Put(TBitWriter& w, const TSymbol& s) const {
        if (s.Length == 0) {
            w.PutCode(LitlenCodes[s.Value], Litlen[s.Value]);
        } else if (s.Length == 1) {
            w.PutCode(LitlenCodes[256], Litlen[256]);
        } else {
            const auto [lengthSym, lengthExtra] = LengthSymbol(s.Length);
            w.PutCode(LitlenCodes[lengthSym], Litlen[lengthSym]);
            w.Put(lengthExtra, inflate::kLengthExtras[lengthSym - 257]);
            const auto [distSym, distExtra] = DistanceSymbol(s.Value);
            w.PutCode(DistCodes[distSym], Dist[distSym]);
            w.Put(distExtra, inflate::kDistExtras[distSym]);
        }
    }
};

/// The fast loop of one kind over the Huffman data `data` (`bits` long) of a block with the
/// given codes: what it wrote, how it stopped, and how many bits it consumed.
struct TFastRun {
    TBytes Output;
    inflate::TFastLoopStop Stop;
    std::size_t BitsConsumed;
};

TFastRun RunFastLoop(TFastLoopKind kind, const TCodes& codes, TBytes data, std::size_t outSize) {
    std::vector<std::uint32_t> litlen(inflate::kLitlenCapacity), dist(inflate::kDistCapacity);
    inflate::TFastTable lt, dt;
    inflate::BuildFastTable(codes.Litlen.data(), static_cast<unsigned>(codes.Litlen.size()),
                            inflate::kLitlenSymbolEntries.data(), inflate::kLitlenTableBits,
                            litlen.data(), lt);
    inflate::BuildFastTable(codes.Dist.data(), static_cast<unsigned>(codes.Dist.size()),
                            inflate::kDistSymbolEntries.data(), inflate::kDistTableBits,
                            dist.data(), dt);
    const std::size_t dataSize = data.size();
    data.resize(dataSize + 2 * inflate::kFastInputMargin); // what a round may read ahead
    // Room for one more round after the last byte: the end of the block comes in it.
    TBytes out(outSize + 2 * inflate::kFastOutputOverrun);
    inflate::TFastLoopState state{out.data(),
                                  out.data(),
                                  out.data() + outSize + inflate::kFastOutputOverrun,
                                  data.data(),
                                  data.data() + dataSize + inflate::kFastInputMargin,
                                  0,
                                  0};
    TFastRun run;
    run.Stop = inflate::DecodeFastWith(kind, state, litlen.data(), dist.data());
    run.Output.assign(out.data(), state.Out);
    run.BitsConsumed = 8 * static_cast<std::size_t>(state.In - data.data()) - state.BitCount;
    return run;
}

std::vector<TFastLoopKind> Kinds() {
    std::vector<TFastLoopKind> kinds = {TFastLoopKind::Generic};
    if (inflate::FastLoopAvailable(TFastLoopKind::Bmi2)) {
        kinds.push_back(TFastLoopKind::Bmi2);
    }
    return kinds;
}

TEST(InflateFastLoop, EveryKindDecodesLongCodesAndEveryDistanceAsZlibDoes) {
    std::mt19937 rng(1951);
    for (int round = 0; round < 24; ++round) {
        const TCodes codes(RandomCompleteLengths(286, 15, rng), RandomCompleteLengths(30, 15, rng));
        const auto symbols = RandomSymbols(rng, 3000);
        TBitWriter block, stream;
        PutDynamicHeader(stream, true, codes.Litlen, codes.Dist);
        for (const TSymbol& s : symbols) {
            codes.Put(block, s);
            codes.Put(stream, s);
        }
        const std::size_t bits = block.BitLength();
        const auto expected = ZlibInflate(stream.Finish());
        ASSERT_TRUE(expected) << round; // control: a valid block
        for (const TFastLoopKind kind : Kinds()) {
            const TFastRun run = RunFastLoop(kind, codes, block.Finish(), expected->size());
            EXPECT_EQ(run.Stop, inflate::fsEndOfBlock) << round;
            EXPECT_EQ(run.BitsConsumed, bits) << round;
            EXPECT_EQ(run.Output, *expected) << round << " kind " << static_cast<int>(kind);
        }
    }
}

TEST(InflateFastLoop, EveryKindStopsAtAMissingCodeAndADistanceBeforeTheStart) {
    std::mt19937 rng(7);
    auto litlen = RandomCompleteLengths(286, 15, rng);
    const TCodes complete(litlen, RandomCompleteLengths(30, 15, rng));
    litlen[','] = 0; // the canonical codes leave the top of the code space free
    const TCodes incomplete(litlen, complete.Dist);

    TBitWriter missingCode;
    incomplete.Put(missingCode, {0, 'a'});
    missingCode.PutCode(0x7FFF, 15); // fifteen ones: no code of `incomplete`
    incomplete.Put(missingCode, {1, 0});

    TBitWriter tooFar;
    complete.Put(tooFar, {0, 'a'});
    complete.Put(tooFar, {3, 2}); // distance 2 after one byte
    complete.Put(tooFar, {1, 0});

    for (const TFastLoopKind kind : Kinds()) {
        const TFastRun bad = RunFastLoop(kind, incomplete, missingCode.Finish(), 64);
        EXPECT_EQ(bad.Stop, inflate::fsBadData);
        EXPECT_EQ(bad.Output, BytesOf("a"));
        EXPECT_EQ(RunFastLoop(kind, complete, tooFar.Finish(), 64).Stop, inflate::fsBadData);
    }
}

} // namespace
} // namespace zorvi::test
