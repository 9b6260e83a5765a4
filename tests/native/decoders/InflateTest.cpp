// Inflate: hand-built streams, one fault per test, with zlib decoding the same bytes as a
// control where the stream is a valid or invalid deflate stream for both.
#include <gtest/gtest.h>

#include "DecoderTestSupport.h"
#include "zip/decoders/InflateTables.h"

namespace zorvi::test {
namespace {

constexpr const char* kTooBig = "Размер архивированного файла больше чем размер до архивации!";

// --- Writers of deflate pieces ------------------------------------------------------------

/// The fixed literal/length code of symbol `sym` (RFC 1951 section 3.2.6).
void PutFixedLitlen(TBitWriter& w, unsigned sym) {
    if (sym < 144) {
        w.PutCode(0x30 + sym, 8);
    } else if (sym < 256) {
        w.PutCode(0x190 + sym - 144, 9);
    } else if (sym < 280) {
        w.PutCode(sym - 256, 7);
    } else {
        w.PutCode(0xC0 + sym - 280, 8);
    }
}

/// A dynamic block header for the given code lengths. The code-length code gives the
/// symbols 0 to 15 four bits each, so every length is sent as its own 4-bit code.
void PutDynamicHeader(TBitWriter& w, bool last, const std::vector<std::uint8_t>& litlen,
                      const std::vector<std::uint8_t>& dist) {
    w.Put(last ? 1 : 0, 1);                                    // BFINAL
    w.Put(2, 2);                                               // BTYPE dynamic
    w.Put(static_cast<std::uint32_t>(litlen.size() - 257), 5); // HLIT
    w.Put(static_cast<std::uint32_t>(dist.size() - 1), 5);     // HDIST
    w.Put(19 - 4, 4);                                          // HCLEN: all 19
    for (unsigned i = 0; i < 19; ++i) {
        w.Put(inflate::kPrecodeOrder[i] < 16 ? 4 : 0, 3); // lengths 16,17,18 unused
    }
    for (auto len : litlen) {
        w.PutCode(len, 4); // symbol k of the code-length code has the 4-bit code k
    }
    for (auto len : dist) {
        w.PutCode(len, 4);
    }
}

/// 286 to 288 literal/length lengths of a complete code: 8 and 9 bits.
std::vector<std::uint8_t> CompleteLitlenLengths(unsigned count) {
    const unsigned nine = 2 * count - 512; // 2·eights + nines = 512, eights + nines = count
    std::vector<std::uint8_t> lengths(count, 8);
    std::fill(lengths.end() - nine, lengths.end(), 9);
    return lengths;
}

/// A dynamic block that codes "abc", a match of 3 at distance 1, and the end of block.
TBytes AbcBlock(const std::vector<std::uint8_t>& litlen, const std::vector<std::uint8_t>& dist) {
    TBitWriter w;
    PutDynamicHeader(w, true, litlen, dist);
    const auto lc = CanonicalCodes(litlen);
    const auto dc = CanonicalCodes(dist);
    for (unsigned sym : {'a', 'b', 'c'}) {
        w.PutCode(lc[sym], litlen[sym]);
    }
    w.PutCode(lc[257], litlen[257]); // length 3
    w.PutCode(dc[0], dist[0]);       // distance 1
    w.PutCode(lc[256], litlen[256]); // end of block
    return w.Finish();
}

const TBytes kAbcccc = BytesOf("abcccc");

// --- Code sets ----------------------------------------------------------------------------

TEST(InflateCodes, AcceptsAll286LiteralLengthCodesAndOneDistanceCodeOfLengthOne) {
    const TBytes stream = AbcBlock(CompleteLitlenLengths(286), {1});
    EXPECT_EQ(Inflate(stream).Data, kAbcccc);
    EXPECT_EQ(ZlibInflate(stream), kAbcccc); // control
}

TEST(InflateCodes, Rejects287LiteralLengthCodes) {
    const TBytes stream = AbcBlock(CompleteLitlenLengths(287), {1});
    const TDecoded out = Inflate(stream);
    EXPECT_TRUE(out.Data.empty());
    EXPECT_FALSE(out.Error); // bad data is no exception: the CRC check rejects the entry
    EXPECT_FALSE(ZlibInflate(stream));
}

TEST(InflateCodes, Rejects288LiteralLengthCodes) {
    const TBytes stream = AbcBlock(CompleteLitlenLengths(288), {1});
    EXPECT_TRUE(Inflate(stream).Data.empty());
    EXPECT_FALSE(ZlibInflate(stream));
}

TEST(InflateCodes, RejectsIncompleteLiteralLengthCode) {
    auto litlen = CompleteLitlenLengths(286);
    litlen[285] = 0; // one 9-bit slot left free
    EXPECT_TRUE(Inflate(AbcBlock(litlen, {1})).Data.empty());
}

TEST(InflateCodes, RejectsOversubscribedLiteralLengthCode) {
    auto litlen = CompleteLitlenLengths(286);
    litlen[285] = 8; // one more 8-bit code than the slots allow
    EXPECT_TRUE(Inflate(AbcBlock(litlen, {1})).Data.empty());
}

TEST(InflateCodes, RejectsSingleDistanceCodeLongerThanOneBit) {
    EXPECT_TRUE(Inflate(AbcBlock(CompleteLitlenLengths(286), {2})).Data.empty());
}

TEST(InflateCodes, RejectsMoreThan30DistanceCodes) {
    std::vector<std::uint8_t> dist(31, 5);
    dist[30] = 0;
    dist[29] = 0; // 29 codes of 5 bits: incomplete but the count alone fails first
    const TBytes stream = AbcBlock(CompleteLitlenLengths(286), dist);
    EXPECT_TRUE(Inflate(stream).Data.empty());
    EXPECT_FALSE(ZlibInflate(stream));
}

TEST(InflateCodes, RejectsRepeatPastTheEndOfTheLengthList) {
    TBitWriter w;
    w.Put(1, 1);  // BFINAL
    w.Put(2, 2);  // dynamic
    w.Put(0, 5);  // HLIT: 257 codes
    w.Put(0, 5);  // HDIST: 1 code
    w.Put(14, 4); // HCLEN: 18 lengths, up to symbol 1
    // Code-length code: symbols 18 and 0 get one bit each (complete).
    for (unsigned i = 0; i < 18; ++i) {
        const unsigned sym = inflate::kPrecodeOrder[i];
        w.Put(sym == 18 || sym == 0 ? 1 : 0, 3);
    }
    for (int i = 0; i < 3; ++i) {
        w.PutCode(1, 1); // symbol 18 (code 1): 11 + 127 zeros = 138
        w.Put(127, 7);
    }
    // 414 > 258 lengths: the third repeat passes the end of the list.
    const TBytes stream = w.Finish();
    EXPECT_TRUE(Inflate(stream).Data.empty());
    EXPECT_FALSE(ZlibInflate(stream));
}

TEST(InflateCodes, RejectsBlockTypeThree) {
    TBitWriter w;
    w.Put(1, 1); // BFINAL
    w.Put(3, 2); // reserved block type
    EXPECT_TRUE(Inflate(w.Finish()).Data.empty());
}

TEST(InflateCodes, RejectsFixedSymbols286And287AndDistances30And31) {
    for (unsigned sym : {286u, 287u}) {
        TBitWriter w;
        w.Put(1, 1);            // BFINAL
        w.Put(1, 2);            // fixed
        PutFixedLitlen(w, 'x'); // one good literal
        PutFixedLitlen(w, sym); // never valid
        PutFixedLitlen(w, 256);
        const TDecoded out = Inflate(w.Finish());
        EXPECT_TRUE(out.Data.empty()) << sym; // the window is not written on failure
    }
    for (unsigned distSym : {30u, 31u}) {
        TBitWriter w;
        w.Put(1, 1);
        w.Put(1, 2);
        PutFixedLitlen(w, 'x');
        PutFixedLitlen(w, 257); // length 3
        w.PutCode(distSym, 5);  // never valid
        PutFixedLitlen(w, 256);
        EXPECT_TRUE(Inflate(w.Finish()).Data.empty()) << distSym;
    }
}

// --- Distances ----------------------------------------------------------------------------

TBytes FixedMatchAtStart(unsigned literals) {
    TBitWriter w;
    w.Put(1, 1); // BFINAL
    w.Put(1, 2); // fixed
    for (unsigned i = 0; i < literals; ++i) {
        PutFixedLitlen(w, 'q');
    }
    PutFixedLitlen(w, 257); // length 3
    w.PutCode(1, 5);        // distance code 1: distance 2
    PutFixedLitlen(w, 256);
    return w.Finish();
}

TEST(InflateDistances, DistanceBeforeTheEntrysFirstByteIsBadData) {
    TEntryDecoder decoder; // a previous entry leaves its bytes in the window
    TEncodedEntry previous;
    previous.Data = ZlibDeflate(MixedData(5000, 1));
    previous.UncompressedSize = 5000;
    ASSERT_EQ(DecodeEntry(previous, &decoder).Data, MixedData(5000, 1));

    TEncodedEntry encoded;
    encoded.Data = FixedMatchAtStart(1); // distance 2 after one byte
    encoded.UncompressedSize = 100;
    const TDecoded out = DecodeEntry(encoded, &decoder);
    EXPECT_TRUE(out.Data.empty());
    EXPECT_FALSE(out.Error);
    EXPECT_FALSE(ZlibInflate(encoded.Data)); // control: zlib rejects it too

    encoded.Data = FixedMatchAtStart(2); // exactly reaches the first byte
    EXPECT_EQ(DecodeEntry(encoded, &decoder).Data, BytesOf("qqqqq"));
}

// --- Window and blocks --------------------------------------------------------------------

TEST(InflateWindow, WrapsAt32768AndWritesWholeWindows) {
    const TBytes data = MixedData(100000, 7);
    for (int level : {1, 6, 9}) {
        const TDecoded out = Inflate(ZlibDeflate(data, level), 100000);
        EXPECT_EQ(out.Data, data) << level;
        EXPECT_EQ(out.Writes, (std::vector<std::size_t>{32768, 32768, 32768, 1696}));
        EXPECT_EQ(out.Crc, Crc32Of(data));
    }
}

TEST(InflateWindow, LongMatchesAcrossTheWindowEnd) {
    // Long runs of one byte and of short patterns: matches of 258 at distances 1 to 7 that
    // cross every 32 KB boundary.
    TBytes data;
    for (int i = 0; data.size() < 300000; ++i) {
        const std::size_t period = 1 + i % 7;
        for (std::size_t k = 0; k < 5000 + static_cast<std::size_t>(i) * 13; ++k) {
            data.push_back(static_cast<std::uint8_t>('a' + (k % period) + i));
        }
    }
    for (int strategy : {0, 3 /* Z_RLE */}) {
        const TDecoded out = Inflate(ZlibDeflate(data, 9, strategy), data.size());
        EXPECT_EQ(out.Data, data);
    }
}

TEST(InflateWindow, StreamEndingExactlyAtTheWindowWritesItOnce) {
    const TBytes data = MixedData(32768, 3);
    const TDecoded out = Inflate(ZlibDeflate(data), 32768);
    EXPECT_EQ(out.Data, data);
    EXPECT_EQ(out.Writes, std::vector<std::size_t>{32768}); // the final flush is empty
}

TEST(InflateWindow, ManySmallStoredBlocksKeepPositionAndBitState) {
    TBitWriter w;
    TBytes expected;
    for (unsigned i = 0; i < 3000; ++i) {
        // A fixed block of one literal first, so that the stored header starts mid-byte.
        w.Put(0, 1);
        w.Put(1, 2);
        PutFixedLitlen(w, 'a' + i % 26);
        PutFixedLitlen(w, 256);
        expected.push_back(static_cast<std::uint8_t>('a' + i % 26));

        const unsigned len = i % 23;
        w.Put(i == 2999 ? 1 : 0, 1); // BFINAL on the last
        w.Put(0, 2);                 // stored
        w.AlignToByte();
        w.Put(len, 16);           // LEN
        w.Put(~len & 0xFFFF, 16); // NLEN
        for (unsigned k = 0; k < len; ++k) {
            const auto b = static_cast<std::uint8_t>(i * 7 + k);
            w.Put(b, 8);
            expected.push_back(b);
        }
    }
    const TBytes stream = w.Finish();
    EXPECT_EQ(Inflate(stream).Data, expected);
    EXPECT_EQ(ZlibInflate(stream), expected);
}

TEST(InflateWindow, StoredLengthCheckMismatchIsBadData) {
    TBitWriter w;
    w.Put(1, 1); // BFINAL
    w.Put(0, 2); // stored
    w.AlignToByte();
    w.Put(3, 16);      // LEN
    w.Put(0xFFFB, 16); // NLEN: not ~3
    w.Put(0x414243, 24);
    EXPECT_TRUE(Inflate(w.Finish()).Data.empty());
}

TEST(InflateWindow, AgreesWithZlibOnEveryStrategy) {
    const TBytes data = MixedData(200000, 11);
    for (int level : {0, 1, 5, 9}) {
        for (int strategy :
             {0, 1 /* filtered */, 2 /* Huffman only */, 3 /* RLE */, 4 /* fixed */}) {
            const TDecoded out = Inflate(ZlibDeflate(data, level, strategy), data.size());
            EXPECT_EQ(out.Data, data) << level << "/" << strategy;
        }
    }
}

// --- Size limit and input failures --------------------------------------------------------

TEST(InflateLimits, OutputOneByteOverTheSizeAtTheFinalFlushRaises) {
    const TBytes data = MixedData(1000, 5);
    const TDecoded out = Inflate(ZlibDeflate(data), 999);
    ASSERT_TRUE(out.Error);
    EXPECT_EQ(*out.Error, kTooBig);
    EXPECT_TRUE(out.Data.empty()); // nothing of that block is written
}

TEST(InflateLimits, OutputOverTheSizeInsideABlockEndsTheBlock) {
    const TBytes data = MixedData(70000, 5);
    const TDecoded out = Inflate(ZlibDeflate(data), 65535);
    EXPECT_FALSE(out.Error); // swallowed by the block: the entry just stops
    EXPECT_EQ(out.Data, TBytes(data.begin(), data.begin() + 32768));
}

TEST(InflateLimits, TruncatedStreamEnds) {
    const TBytes data = MixedData(100000, 9);
    const TBytes stream = ZlibDeflate(data);
    for (std::size_t cut : {std::size_t{0}, std::size_t{1}, stream.size() / 3, stream.size() - 1}) {
        TEncodedEntry encoded;
        encoded.Data.assign(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(cut));
        encoded.UncompressedSize = 100000;
        const TDecoded out = DecodeEntry(encoded);
        EXPECT_NE(out.Crc, Crc32Of(data)) << cut;
        EXPECT_LT(out.Data.size(), data.size());
    }
}

TEST(InflateLimits, PrematureEndInABlockHeaderPassesOn) {
    TEncodedEntry encoded;
    encoded.Data = {}; // the archive ends where the entry's data should start
    encoded.CompressedSize = 100;
    encoded.UncompressedSize = 100;
    const TDecoded out = DecodeEntry(encoded);
    ASSERT_TRUE(out.Error);
    EXPECT_EQ(*out.Error, "Premature end of file reached");
}

TEST(InflateLimits, ArchiveEndingRightAfterABlockFailsAtTheNextHeader) {
    // A fixed block that ends exactly at the end of the first 32 KB of input:
    // 3 header bits + 32760 literals of 8 bits + 6 of 9 bits + the 7-bit end of block
    // = 262144 bits. The archive ends there although the entry claims more data.
    TBitWriter w;
    w.Put(0, 1); // BFINAL: more blocks follow
    w.Put(1, 2); // fixed
    for (int i = 0; i < 32760; ++i) {
        PutFixedLitlen(w, 'a');
    }
    for (int i = 0; i < 6; ++i) {
        PutFixedLitlen(w, 200);
    }
    PutFixedLitlen(w, 256);
    TEncodedEntry encoded;
    encoded.Data = w.Finish();
    ASSERT_EQ(encoded.Data.size(), 32768u);
    encoded.CompressedSize = 40000;
    encoded.UncompressedSize = 70000;
    // The end-of-block code needs only its own 7 bits, so the block is complete; reading
    // the next block header asks for the next 32 KB, and that premature end passes on.
    const TDecoded out = DecodeEntry(encoded);
    ASSERT_TRUE(out.Error);
    EXPECT_EQ(*out.Error, "Premature end of file reached");
    EXPECT_EQ(out.Reads, (std::vector<std::size_t>{32768, 7232}));
}

TBytes LargeStream(TBytes& data) {
    data = MixedData(1000000, 13);
    TBytes stream = ZlibDeflate(data, 1);
    EXPECT_GT(stream.size(), 2u * 32768);
    return stream;
}

TEST(InflateLimits, PrematureEndInsideABlockEndsTheEntry) {
    TBytes data;
    TEncodedEntry encoded;
    encoded.Data = LargeStream(data);
    encoded.CompressedSize = static_cast<std::int64_t>(encoded.Data.size());
    encoded.Data.resize(40000); // the second refill comes short, inside a block
    encoded.UncompressedSize = static_cast<std::int64_t>(data.size());
    const TDecoded out = DecodeEntry(encoded);
    EXPECT_FALSE(out.Error);
    EXPECT_LT(out.Data.size(), data.size());
    EXPECT_EQ(out.Data.size() % 32768, 0u); // only whole windows were written
    EXPECT_TRUE(std::equal(out.Data.begin(), out.Data.end(), data.begin()));
}

TEST(InflateLimits, UserCanceledPassesThroughTheBlock) {
    TBytes data;
    TEncodedEntry encoded;
    encoded.Data = LargeStream(data);
    encoded.UncompressedSize = static_cast<std::int64_t>(data.size());
    encoded.CancelAtRead = 1;
    const TDecoded out = DecodeEntry(encoded);
    ASSERT_TRUE(out.Error);
    EXPECT_EQ(*out.Error, "User canceled loading new disk.");
}

TEST(InflateLimits, ReadsTheArchiveIn32KBlocks) {
    TBytes data;
    TEncodedEntry encoded;
    encoded.Data = LargeStream(data);
    encoded.UncompressedSize = static_cast<std::int64_t>(data.size());
    const TDecoded out = DecodeEntry(encoded);
    EXPECT_EQ(out.Data, data);
    ASSERT_GE(out.Reads.size(), 3u);
    std::size_t total = 0;
    for (std::size_t i = 0; i < out.Reads.size(); ++i) {
        if (i + 1 < out.Reads.size()) {
            EXPECT_EQ(out.Reads[i], 32768u);
        }
        total += out.Reads[i];
    }
    EXPECT_EQ(total, encoded.Data.size());
}

} // namespace
} // namespace zorvi::test
