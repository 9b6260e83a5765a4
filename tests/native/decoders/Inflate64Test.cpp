// Deflate64 (method 9): hand-built streams for what it changes in deflate, length symbol
// 285 with 16 extra bits, distance symbols 30 and 31 and the 64 KiB window, each decoded
// symbol by symbol (a stream shorter than the fast loop's input margin) and in the fast
// loop (the same symbols followed by literals), and the archive 7-Zip made (its far
// distances and runs) against the sizes and CRC-32 values 7-Zip computed from the originals.
// For the hand-built streams no other decoder of the format is at hand as a control: the
// expected output is spelled out.
#include <gtest/gtest.h>

#include <map>

#include "DecoderTestSupport.h"
#include "tests/TestData.h"
#include "zip/decoders/InflateFastLoop.h"

namespace zorvi::test {
namespace {

/// Literals that follow the symbols under test, so that those are decoded in the fast loop
/// (it stops this many bytes before the end of the input).
constexpr unsigned kFastLoopTail = inflate::kFastInputMargin<inflate::TDeflate64Format> + 16;

TDecoded Inflate64(const TBytes& stream, std::int64_t uncompressedSize,
                   TEntryDecoder* decoder = nullptr) {
    TEncodedEntry encoded;
    encoded.Method = 9;
    encoded.Data = stream;
    encoded.UncompressedSize = uncompressedSize;
    return DecodeEntry(encoded, decoder);
}

/// Stored blocks (not the last) holding `data`, at most 65535 bytes each.
void PutStoredBlocks(TBitWriter& w, const TBytes& data) {
    for (std::size_t at = 0; at < data.size(); at += 65535) {
        const std::size_t length = std::min<std::size_t>(65535, data.size() - at);
        w.Put(0, 1); // BFINAL: more blocks follow
        w.Put(0, 2); // BTYPE stored
        w.AlignToByte();
        w.Put(static_cast<std::uint32_t>(length), 16);           // LEN
        w.Put(static_cast<std::uint32_t>(~length & 0xFFFF), 16); // NLEN
        for (std::size_t i = 0; i < length; ++i) {
            w.Put(data[at + i], 8);
        }
    }
}

TEST(Inflate64Lengths, Symbol285TakesSixteenExtraBitsForLengthsUpTo65538) {
    for (const unsigned tail : {0u, kFastLoopTail}) {
        TBitWriter w;
        w.Put(1, 1);            // BFINAL
        w.Put(1, 2);            // BTYPE fixed
        PutFixedLitlen(w, 'z'); // the byte the matches repeat
        PutFixedLitlen(w, 285); // length symbol 285: base 3 ...
        w.Put(0x8001, 16);      // ... + 0x8001, its extra bits low bit first: 32772
        w.PutCode(0, 5);        // distance symbol 0: distance 1
        PutFixedLitlen(w, 285); // length symbol 285 ...
        w.Put(0, 16);           // ... + 0: 3, its shortest
        w.PutCode(0, 5);        // distance 1
        PutFixedLitlen(w, 'a');
        PutFixedLitlen(w, 285); // length symbol 285 ...
        w.Put(0xFFFF, 16);      // ... + 65535: 65538, its longest
        w.PutCode(1, 5);        // distance symbol 1: distance 2
        for (unsigned i = 0; i < tail; ++i) {
            PutFixedLitlen(w, 'q');
        }
        PutFixedLitlen(w, 256); // end of block
        TBytes expected(1 + 32772 + 3, 'z');
        expected.push_back('a');
        for (unsigned i = 0; i < 65538; ++i) {
            const std::uint8_t byte = expected[expected.size() - 2];
            expected.push_back(byte);
        }
        expected.insert(expected.end(), tail, 'q');

        const TDecoded out = Inflate64(w.Finish(), static_cast<std::int64_t>(expected.size()));
        EXPECT_FALSE(out.Error);
        EXPECT_TRUE(out.Finished) << tail;
        EXPECT_TRUE(out.Data == expected) << tail;
        EXPECT_EQ(out.Writes,
                  (std::vector<std::size_t>{32768, 32768, 32768, expected.size() - 3 * 32768}))
            << tail;
    }
}

/// `size` bytes of noise, then a fixed block of matches 65536, 49153, 49152 and 32769 bytes
/// back, through distance symbols 31 and 30 with their 14 extra bits; the expected output
/// comes back in `expected`, up to a match that would reach before the first byte.
TBytes FarMatches(std::size_t size, unsigned tail, TBytes& expected) {
    expected = MixedData(size, 64);
    TBitWriter w;
    PutStoredBlocks(w, expected);
    w.Put(1, 1);            // BFINAL
    w.Put(1, 2);            // BTYPE fixed
    PutFixedLitlen(w, 262); // length symbol 262: 8
    w.PutCode(31, 5);       // distance symbol 31: base 49153 ...
    w.Put(16383, 14);       // ... + 16383: 65536, its farthest
    PutFixedLitlen(w, 258); // length 4
    w.PutCode(31, 5);       // distance symbol 31 ...
    w.Put(0, 14);           // ... + 0: 49153
    PutFixedLitlen(w, 259); // length 5
    w.PutCode(30, 5);       // distance symbol 30: base 32769 ...
    w.Put(0x3FFF, 14);      // ... + 16383: 49152, its farthest
    PutFixedLitlen(w, 257); // length 3
    w.PutCode(30, 5);       // distance symbol 30 ...
    w.Put(0, 14);           // ... + 0: 32769
    PutFixedLitlen(w, 284); // length symbol 284: base 227 ...
    w.Put(30, 5);           // ... + 30: 257, deflate's longest but one
    w.PutCode(30, 5);       // distance symbol 30 ...
    w.Put(0x2000, 14);      // ... + 8192: 40961
    for (unsigned i = 0; i < tail; ++i) {
        PutFixedLitlen(w, 'q');
    }
    PutFixedLitlen(w, 256); // end of block
    for (const auto& [length, distance] :
         {std::pair{8u, 65536u}, {4u, 49153u}, {5u, 49152u}, {3u, 32769u}, {257u, 40961u}}) {
        if (distance > expected.size()) {
            return w.Finish(); // bad data from here on: `expected` ends before the match
        }
        for (unsigned i = 0; i < length; ++i) {
            const std::uint8_t byte = expected[expected.size() - distance];
            expected.push_back(byte);
        }
    }
    expected.insert(expected.end(), tail, 'q');
    return w.Finish();
}

TEST(Inflate64Distances, Symbols30And31ReachUpTo65536BytesBack) {
    // 65536 bytes before the matches: the farthest reaches exactly the entry's first byte;
    // 300000: the window's history has moved down, and 64 KiB of it went along.
    TEntryDecoder decoder;
    for (const std::size_t size : {std::size_t{65536}, std::size_t{300000}}) {
        for (const unsigned tail : {0u, kFastLoopTail}) {
            TBytes expected;
            const TBytes stream = FarMatches(size, tail, expected);
            const TDecoded out =
                Inflate64(stream, static_cast<std::int64_t>(expected.size()), &decoder);
            EXPECT_FALSE(out.Error);
            EXPECT_TRUE(out.Finished) << size << "/" << tail;
            EXPECT_TRUE(out.Data == expected) << size << "/" << tail;
            EXPECT_EQ(out.Crc, Crc32Of(expected));
        }
    }
}

TEST(Inflate64Distances, ADistanceBeforeTheEntrysFirstByteIsBadData) {
    // One byte short of 65536 before the match of distance 65536; the decoder's window holds
    // an earlier entry's bytes, which must not be copied.
    TEntryDecoder decoder;
    TEncodedEntry previous; // deflated: zlib's length 258 means another length in Deflate64
    previous.Data = ZlibDeflate(MixedData(200000, 1));
    previous.UncompressedSize = 200000;
    ASSERT_EQ(DecodeEntry(previous, &decoder).Data.size(), 200000u);
    for (const unsigned tail : {0u, kFastLoopTail}) {
        TBytes expected;
        TBytes stream = FarMatches(65535, tail, expected);
        const TDecoded out = Inflate64(stream, 1 << 20, &decoder);
        EXPECT_FALSE(out.Error);
        EXPECT_FALSE(out.Finished);
        // The first window was written before the match; what followed it is dropped.
        EXPECT_TRUE(out.Data == TBytes(expected.begin(), expected.begin() + 32768)) << tail;
    }
}

TEST(Inflate64Codes, DynamicBlocksMaySendAll32DistanceCodes) {
    // The same block is bad data for deflate, which allows 30.
    std::vector<std::uint8_t> litlen(286, 9);
    std::fill(litlen.begin(), litlen.begin() + 226, 8); // 226 × 2^-8 + 60 × 2^-9 = 1
    const std::vector<std::uint8_t> dist(32, 5);
    const auto lc = CanonicalCodes(litlen);
    const auto dc = CanonicalCodes(dist);
    TBitWriter w;
    PutDynamicHeader(w, true, litlen, dist); // HDIST 31: 32 distance codes
    w.PutCode(lc['a'], litlen['a']);
    w.PutCode(lc['b'], litlen['b']);
    w.PutCode(lc[257], litlen[257]); // length 3
    w.PutCode(dc[1], dist[1]);       // distance 2
    w.PutCode(lc[256], litlen[256]); // end of block
    const TBytes stream = w.Finish();
    const TDecoded out = Inflate64(stream, 100);
    EXPECT_TRUE(out.Finished);
    EXPECT_EQ(out.Data, BytesOf("ababa"));
    EXPECT_FALSE(Inflate(stream).Finished);
}

TEST(Inflate64Codes, LiteralLengthSymbols286And287StayInvalid) {
    for (const unsigned sym : {286u, 287u}) {
        TBitWriter w;
        w.Put(1, 1);            // BFINAL
        w.Put(1, 2);            // BTYPE fixed
        PutFixedLitlen(w, 'x'); // a good literal
        PutFixedLitlen(w, sym); // no meaning in either format
        w.PutCode(0, 5);        // distance 1, were it a length
        PutFixedLitlen(w, 256);
        const TDecoded out = Inflate64(w.Finish(), 100);
        EXPECT_FALSE(out.Finished) << sym;
        EXPECT_TRUE(out.Data.empty()) << sym;
    }
}

TEST(Inflate64Archive, SevenZipsEntriesDecodeToTheirSizesAndCrcs) {
    const auto entries = ReadRawEntries(TestDataPath(kDeflate64Archive).string());
    ASSERT_TRUE(entries);
    // The table of tests/data/deflate64/README.md: 7-Zip's listing of what it compressed.
    const std::map<std::string, std::pair<std::int64_t, std::uint32_t>> expected = {
        {"distances.bin", {62192, 0xa533f3f6u}}, {"runs.txt", {178207, 0xc85fb4a4u}}};
    ASSERT_EQ(entries->size(), expected.size());
    TEntryDecoder decoder; // one run, as the engine has it: the second entry after the first
    for (const TRawEntry& e : *entries) {
        SCOPED_TRACE(e.Name);
        ASSERT_TRUE(expected.contains(e.Name));
        const auto [size, crc] = expected.at(e.Name);
        ASSERT_EQ(e.Method, 9);
        ASSERT_EQ(e.UncompressedSize, size);
        ASSERT_EQ(e.Crc, crc);
        TEncodedEntry encoded;
        encoded.Method = 9;
        encoded.Data = e.Data;
        encoded.UncompressedSize = size;
        const TDecoded out = DecodeEntry(encoded, &decoder);
        EXPECT_FALSE(out.Error);
        EXPECT_TRUE(out.Finished);
        EXPECT_EQ(static_cast<std::int64_t>(out.Data.size()), size);
        EXPECT_EQ(out.Crc, crc);
        // Read as deflate, the far distances are bad data: the entry exercises them.
        if (e.Name == "distances.bin") {
            encoded.Method = 8;
            const TDecoded asDeflate = DecodeEntry(encoded, &decoder);
            EXPECT_FALSE(asDeflate.Finished && asDeflate.Crc == crc);
        }
        // Cut short anywhere, it never finishes.
        for (const std::size_t cut : {e.Data.size() / 3, e.Data.size() - 1}) {
            encoded.Method = 9;
            encoded.Data.assign(e.Data.begin(), e.Data.begin() + static_cast<std::ptrdiff_t>(cut));
            EXPECT_FALSE(DecodeEntry(encoded, &decoder).Finished) << cut;
        }
    }
}

} // namespace
} // namespace zorvi::test
