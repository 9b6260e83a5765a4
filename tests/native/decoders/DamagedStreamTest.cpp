// Damaged copies of real streams (truncated, bit-flipped, overwritten) fed to every decoder.
// Nothing may crash, hang, write past the uncompressed size or outside a buffer (the
// `native` preset runs this under AddressSanitizer and UndefinedBehaviorSanitizer); the only
// exception the layer may raise on its own is the size check. Deterministic: the same seed
// replays the same damage.
#include <gtest/gtest.h>

#include <random>
#include <stdexcept>

#include "DecoderTestSupport.h"
#include "tests/TestData.h"

namespace zorvi::test {
namespace {

constexpr const char* kTooBig = "Размер архивированного файла больше чем размер до архивации!";

/// One entry per method variant, small enough to decode many damaged copies quickly.
std::vector<TRawEntry> Samples() {
    std::vector<TRawEntry> samples;
    const std::pair<const char*, const char*> picks[] = {
        {"hw-shrink.zip", "russian-cp1251.txt"},      {"za-shrink.zip", "run70k.bin"},
        {"hw-reduce1.zip", "russian-cp1251.txt"},     {"hw-reduce2.zip", "russian-cp1251.txt"},
        {"hw-reduce3.zip", "russian-cp1251.txt"},     {"hw-reduce4.zip", "russian-cp1251.txt"},
        {"hw-implode-4-0.zip", "russian-cp1251.txt"}, {"hw-implode-4-1.zip", "russian-cp1251.txt"},
        {"hw-implode-8-0.zip", "russian-cp1251.txt"}, {"hw-implode-8-1.zip", "russian-cp1251.txt"},
        {"iz-tree-deflate6.zip", "docs/manual.txt"},  {"7z-deflate.zip", "src/lib/util.c"},
    };
    for (const auto& [archive, name] : picks) {
        const auto entries = ReadRawEntries(CorpusFile(archive));
        const std::size_t before = samples.size();
        for (const auto& e : entries.value()) {
            if (e.Name == name && e.Method != 0) {
                samples.push_back(e);
            }
        }
        if (samples.size() != before + 1) {
            throw std::runtime_error(std::string("no sample ") + name + " in " + archive);
        }
    }
    // Deflate64: both entries, one with far distances, one with long runs.
    const auto deflate64 = ReadRawEntries(TestDataPath(kDeflate64Archive).string());
    for (const auto& e : deflate64.value()) {
        samples.push_back(e);
    }
    return samples;
}

void ExpectContained(const TRawEntry& e, const TBytes& damaged, const std::string& what) {
    TEncodedEntry encoded;
    encoded.Method = e.Method;
    encoded.BitFlags = e.BitFlags;
    encoded.Data = damaged;
    encoded.UncompressedSize = e.UncompressedSize;
    const TDecoded out = DecodeEntry(encoded);
    EXPECT_LE(out.Data.size(), static_cast<std::size_t>(e.UncompressedSize)) << what;
    if (out.Error) {
        EXPECT_EQ(*out.Error, kTooBig) << what;
    }
}

TEST(DamagedStreams, EveryDecoderEndsOnDamagedData) {
    const auto samples = Samples();
    ASSERT_EQ(samples.size(), 14u);
    std::mt19937 rng(2024);
    for (const auto& e : samples) {
        const std::string name = e.Name + " (method " + std::to_string(e.Method) + ")";
        // The intact stream decodes to its CRC: the damage below is what changes.
        TEncodedEntry intact;
        intact.Method = e.Method;
        intact.BitFlags = e.BitFlags;
        intact.Data = e.Data;
        intact.UncompressedSize = e.UncompressedSize;
        ASSERT_EQ(DecodeEntry(intact).Crc, e.Crc) << name;

        for (int i = 0; i < 12; ++i) {
            const std::size_t cut = rng() % e.Data.size();
            ExpectContained(
                e, TBytes(e.Data.begin(), e.Data.begin() + static_cast<std::ptrdiff_t>(cut)),
                name + " cut at " + std::to_string(cut));
        }
        for (int i = 0; i < 40; ++i) {
            TBytes flipped = e.Data;
            // Damage near the start hits the trees and tables, elsewhere the codes.
            const std::size_t at = (i % 2 ? rng() % std::min<std::size_t>(flipped.size(), 300)
                                          : rng() % flipped.size());
            flipped[at] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
            ExpectContained(e, flipped, name + " bit flip at " + std::to_string(at));
        }
        for (int i = 0; i < 8; ++i) {
            TBytes garbage = e.Data;
            const std::size_t at = rng() % garbage.size();
            for (std::size_t k = at; k < std::min(garbage.size(), at + 64); ++k) {
                garbage[k] = static_cast<std::uint8_t>(rng());
            }
            ExpectContained(e, garbage, name + " garbage at " + std::to_string(at));
        }
    }
}

TEST(DamagedStreams, DeflateSpanningSeveralInputBlocks) {
    // Damage in a stream of several 32 KB input blocks reaches the block boundaries, where
    // codes are looked up byte by byte and the next block is read.
    const TBytes data = MixedData(800000, 31);
    const TBytes stream = ZlibDeflate(data, 6);
    ASSERT_GT(stream.size(), 3u * 32768);
    std::mt19937 rng(99);
    TRawEntry e;
    e.Method = 8;
    e.UncompressedSize = static_cast<std::int64_t>(data.size());
    for (int i = 0; i < 16; ++i) {
        TBytes damaged = stream;
        const std::size_t boundary = 32768 * (1 + rng() % 3);
        for (int k = 0; k < 3; ++k) {
            damaged[boundary - 24 + rng() % 48] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
        }
        ExpectContained(e, damaged, "flips near " + std::to_string(boundary));
        damaged.resize(boundary - rng() % 16);
        ExpectContained(e, damaged, "cut near " + std::to_string(boundary));

        // The archive itself ends there, though the entry claims the whole stream: the
        // premature end either fails the block or passes on, and nothing more is written.
        TEncodedEntry truncated;
        truncated.Data = damaged;
        truncated.CompressedSize = static_cast<std::int64_t>(stream.size());
        truncated.UncompressedSize = e.UncompressedSize;
        const TDecoded out = DecodeEntry(truncated);
        EXPECT_LT(out.Data.size(), data.size());
        if (out.Error) {
            EXPECT_EQ(*out.Error, "Premature end of file reached");
        }
    }
}

TEST(DamagedStreams, RandomBytesAreNoStreamForAnyDecoder) {
    std::mt19937 rng(7);
    for (int method : {1, 2, 3, 4, 5, 6, 8}) {
        for (std::uint16_t flags : {0, 2, 4, 6}) {
            for (int i = 0; i < 6; ++i) {
                TBytes junk(1 + rng() % 3000);
                for (auto& b : junk) {
                    b = static_cast<std::uint8_t>(rng());
                }
                TRawEntry e;
                e.Method = method;
                e.BitFlags = flags;
                e.UncompressedSize = 1 + rng() % 70000;
                ExpectContained(e, junk, "random " + std::to_string(method));
            }
        }
    }
}

} // namespace
} // namespace zorvi::test
