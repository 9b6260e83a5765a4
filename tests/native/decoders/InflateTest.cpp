// Inflate: hand-built streams, one fault per test, with zlib decoding the same bytes as a
// control where the stream is a valid or invalid deflate stream for both.
#include <gtest/gtest.h>

#include <random>

#include "DecoderTestSupport.h"
#include "zip/decoders/HuffmanTable.h"
#include "zip/decoders/InflateTables.h"

namespace zorvi::test {
namespace {

constexpr const char* kTooBig = "Размер архивированного файла больше чем размер до архивации!";

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

// --- Match copies -------------------------------------------------------------------------

/// A stream of one fixed block, written symbol by symbol with its output position kept, so
/// that matches can be placed where the decoder's buffers end.
struct TFixedStream {
    TBitWriter W;
    std::size_t Produced = 0;
    unsigned Next = 0;

    TFixedStream() {
        W.Put(1, 1); // BFINAL
        W.Put(1, 2); // fixed
    }
    void Literal(unsigned byte) {
        PutFixedLitlen(W, byte & 0xFF);
        ++Produced;
    }
    void Match(unsigned length, unsigned distance) {
        PutFixedMatch(W, length, distance);
        Produced += length;
    }
    /// Bytes that differ from their neighbours, so that a copy from them shows which byte
    /// went where.
    void Distinct(unsigned count) {
        for (unsigned i = 0; i < count; ++i) {
            Literal(Next++ * 101 + 7);
        }
    }
    /// Runs of the last byte up to `target`.
    void FillTo(std::size_t target) {
        while (Produced < target) {
            const std::size_t left = target - Produced;
            if (left < 3) {
                Literal(Next++);
            } else {
                Match(static_cast<unsigned>(left <= 258      ? left
                                            : left - 258 < 3 ? left - 3
                                                             : 258),
                      1);
            }
        }
    }
    TBytes Finish() {
        PutFixedLitlen(W, 256);
        return W.Finish();
    }
};

constexpr unsigned kCopyLengths[] = {3,  4,  5,  7,  8,  9,  15,  16,  17, 31,
                                     32, 33, 34, 63, 64, 65, 100, 257, 258};

TEST(InflateCopies, EveryDistanceUpTo40AtTheEndsOfTheWindowsAndWhereTheHistoryMoves) {
    // Every distance with every length from distinct bytes, and three matches of each
    // distance at the end of a 32 KB window: ending at it, starting at it, and one byte
    // before it. Over 120 windows, so the history moves down many times.
    TFixedStream s;
    s.Distinct(64);
    for (unsigned distance = 1; distance <= 40; ++distance) {
        for (const unsigned length : kCopyLengths) {
            s.Distinct(48);
            s.Match(length, distance);
        }
        for (unsigned k = 0; k < 3; ++k) {
            const unsigned length = kCopyLengths[(distance * 3 + k) % std::size(kCopyLengths)];
            const std::size_t end = ((s.Produced + 48 + 258 + 3) / 32768 + 1) * 32768;
            const std::size_t start = k == 0 ? end - length : k == 1 ? end : end - 1;
            s.FillTo(start - 48);
            s.Distinct(48);
            s.Match(length, distance);
        }
    }
    const std::size_t size = s.Produced;
    const TBytes stream = s.Finish();
    const auto expected = ZlibInflate(stream, size + 1);
    ASSERT_TRUE(expected);
    ASSERT_EQ(expected->size(), size);
    const TDecoded out = Inflate(stream, static_cast<std::int64_t>(size));
    EXPECT_FALSE(out.Error);
    EXPECT_TRUE(out.Data == *expected);
    ASSERT_EQ(out.Writes.size(), (size + 32767) / 32768);
    for (std::size_t i = 0; i + 1 < out.Writes.size(); ++i) {
        EXPECT_EQ(out.Writes[i], 32768u) << i;
    }
}

TEST(InflateCopies, AnEntryEndingWithAMatchOfAnyDistanceEndsExactlyThere) {
    // The copy writes whole words beyond the match; none of that may reach the file.
    TEntryDecoder decoder;
    for (unsigned distance = 1; distance <= 40; ++distance) {
        for (const unsigned length : {3u, 8u, 16u, 31u, 32u, 33u, 258u}) {
            TFixedStream s;
            s.Distinct(48);
            s.Match(length, distance);
            TEncodedEntry encoded;
            encoded.UncompressedSize = static_cast<std::int64_t>(s.Produced);
            encoded.Data = s.Finish();
            const TDecoded out = DecodeEntry(encoded, &decoder);
            EXPECT_FALSE(out.Error) << distance << "/" << length;
            EXPECT_EQ(out.Data, ZlibInflate(encoded.Data, s.Produced).value())
                << distance << "/" << length;
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

// --- When the next input block is read -----------------------------------------------------

/// Where a reader asks for its first bit beyond the input it has: in a block header (the
/// three bits), inside a block, or nowhere; and how many bytes it had decoded by then.
enum class TReadsOn { Never, AtBlockHeader, InsideBlock };
struct TFirstReadOn {
    TReadsOn Where = TReadsOn::Never;
    std::size_t Decoded = 0;
};

/// The reader of the format's description, on BuildHuffmanTable's tables: it asks for bits
/// one byte at a time (NeedBits), for a code the first level's bits (9 and 6, 7 and 5 for
/// the fixed code, as that builder adjusts them) and then those of each sub-table on the
/// way; for extra bits exactly those. It stops at its first request for a byte beyond the
/// first `available` bytes of `stream`. Valid streams only. `blockEnds` receives the bit
/// position after each block.
TFirstReadOn ReferenceFirstReadOn(const TBytes& stream, std::size_t available,
                                  std::vector<std::size_t>* blockEnds = nullptr) {
    struct TBeyond {};
    std::uint64_t bitbuf = 0;
    unsigned bitcnt = 0;
    std::size_t pos = 0;
    TFirstReadOn result;
    auto need = [&](unsigned n) {
        while (bitcnt < n) {
            if (pos == available) {
                throw TBeyond{};
            }
            bitbuf |= std::uint64_t{stream[pos++]} << bitcnt;
            bitcnt += 8;
        }
    };
    auto take = [&](unsigned n) {
        need(n);
        const auto v = static_cast<unsigned>(bitbuf & ((1ull << n) - 1));
        bitbuf >>= n;
        bitcnt -= n;
        return v;
    };
    auto decode = [&](const THuftEntry* table, int bits) {
        need(static_cast<unsigned>(bits));
        const THuftEntry* e = table + (bitbuf & ((1u << bits) - 1));
        while (e->Operation > kOpSubTable) {
            take(e->Bits);
            const unsigned width = e->Operation - kOpSubTable;
            need(width);
            e = e->Link + (bitbuf & ((1u << width) - 1));
        }
        take(e->Bits);
        return e;
    };
    struct TTable {
        THuftEntry* Table = nullptr;
        int Bits = 0;
        ~TTable() { FreeHuffmanTable(Table); }
    };
    for (;;) {
        bool last = false;
        unsigned type = 0;
        try {
            last = take(1) != 0;
            type = take(2);
        } catch (TBeyond) {
            result.Where = TReadsOn::AtBlockHeader;
            return result;
        }
        try {
            if (type == 0) {
                take(bitcnt % 8);
                const unsigned length = take(16);
                take(16);
                // Its bytes, one request each; the bit buffer is empty here.
                if (pos + length > available) {
                    result.Decoded += available - pos;
                    throw TBeyond{};
                }
                pos += length;
                result.Decoded += length;
            } else {
                std::uint8_t lengths[320] = {};
                unsigned litlenCount = 288;
                unsigned distCount = 30;
                TTable litlen, dist;
                if (type == 1) {
                    std::fill(lengths, lengths + 144, 8);
                    std::fill(lengths + 144, lengths + 256, 9);
                    std::fill(lengths + 256, lengths + 280, 7);
                    std::fill(lengths + 280, lengths + 288, 8);
                    std::fill(lengths + 288, lengths + 318, 5);
                    litlen.Bits = 7;
                    dist.Bits = 5;
                } else {
                    litlenCount = take(5) + 257;
                    distCount = take(5) + 1;
                    const unsigned precodeCount = take(4) + 4;
                    std::uint8_t precodeLengths[19] = {};
                    for (unsigned i = 0; i < precodeCount; ++i) {
                        precodeLengths[inflate::kPrecodeOrder[i]] =
                            static_cast<std::uint8_t>(take(3));
                    }
                    TTable precode;
                    precode.Bits = 7;
                    BuildHuffmanTable(precodeLengths, 19, 19, nullptr, nullptr, precode.Table,
                                      precode.Bits);
                    for (unsigned i = 0; i < litlenCount + distCount;) {
                        const unsigned sym = decode(precode.Table, precode.Bits)->Value;
                        if (sym < 16) {
                            lengths[i++] = static_cast<std::uint8_t>(sym);
                            continue;
                        }
                        const std::uint8_t value = sym == 16 ? lengths[i - 1] : 0;
                        const unsigned repeat = sym == 16   ? 3 + take(2)
                                                : sym == 17 ? 3 + take(3)
                                                            : 11 + take(7);
                        std::fill(lengths + i, lengths + i + repeat, value);
                        i += repeat;
                    }
                    litlen.Bits = 9;
                    dist.Bits = 6;
                }
                BuildHuffmanTable(lengths, litlenCount, 257, inflate::kLengthBases,
                                  inflate::kLengthExtras, litlen.Table, litlen.Bits);
                BuildHuffmanTable(lengths + (type == 1 ? 288 : litlenCount), distCount, 0,
                                  inflate::kDistBases, inflate::kDistExtras, dist.Table, dist.Bits);
                for (;;) {
                    const THuftEntry* e = decode(litlen.Table, litlen.Bits);
                    if (e->Operation == kOpLiteral) {
                        ++result.Decoded;
                        continue;
                    }
                    if (e->Operation == kOpEndOfBlock) {
                        break;
                    }
                    const unsigned length = e->Value + take(e->Operation);
                    const THuftEntry* d = decode(dist.Table, dist.Bits);
                    take(d->Operation);
                    result.Decoded += length; // copied once its distance is known
                }
            }
        } catch (TBeyond) {
            result.Where = TReadsOn::InsideBlock;
            return result;
        }
        if (blockEnds != nullptr) {
            blockEnds->push_back(8 * pos - bitcnt);
        }
        if (last) {
            return result;
        }
    }
}

/// Dynamic blocks of three to six literals each, whose end-of-block code is short in one
/// kind of block (2 bits, the first level 9 bits wide) and in the other 10 bits long and
/// sharing its first 9 bits with two codes of 11 bits (so that reader asks for 11 bits to
/// find it); the last block is marked last.
TBytes ShortAndLongEndOfBlockCodes(std::mt19937& rng) {
    std::vector<std::uint8_t> shortEnd(257, 0), longEnd(257, 0);
    // 1/2 + 1/4 + ... + 2/512 and 1/2 + ... + 1/512 + 1/1024 + 2/2048: complete codes.
    const std::pair<unsigned, std::uint8_t> shortLengths[] = {
        {'a', 1}, {256, 2}, {'b', 3}, {'c', 4}, {'d', 5},
        {'e', 6}, {'f', 7}, {'g', 8}, {'h', 9}, {'i', 9}};
    const std::pair<unsigned, std::uint8_t> longLengths[] = {
        {'a', 1}, {'b', 2}, {'c', 3}, {'d', 4},  {'e', 5},  {'f', 6},
        {'g', 7}, {'h', 8}, {'i', 9}, {256, 10}, {'j', 11}, {'k', 11}};
    for (const auto& [sym, len] : shortLengths) {
        shortEnd[sym] = len;
    }
    for (const auto& [sym, len] : longLengths) {
        longEnd[sym] = len;
    }
    const std::vector<std::uint8_t> dist = {1, 1};
    TBitWriter w;
    for (int block = 0; block < 40; ++block) {
        const auto& litlen = block % 2 ? longEnd : shortEnd;
        const auto codes = CanonicalCodes(litlen);
        PutDynamicHeader(w, block == 39, litlen, dist);
        for (unsigned i = 0, n = 3 + rng() % 4; i < n; ++i) {
            const unsigned sym = "abcdefghijk"[rng() % (block % 2 ? 11 : 9)];
            w.PutCode(codes[sym], litlen[sym]);
        }
        w.PutCode(codes[256], litlen[256]);
    }
    return w.Finish();
}

TEST(InflateRefills, TheNextInputBlockIsReadWhereTheFormatsReaderWouldReadIt) {
    // The archive ends after the first 32 KB of input although the entry claims more: where
    // that premature end shows (at a block header it passes on, inside a block it only
    // fails the block) and what was written before it must be as if the entry were read
    // by that reader. Near the end of an input block inflate looks its codes up with its
    // own tables, which tell whether that reader would read on without its tables in most
    // cases; this checks the decision, with the end at every bit around the ends of small
    // blocks of all three kinds and at random places inside them.
    //
    // Layout: a stored block that fills most of the first 32 KB, a fixed block of 8- and
    // 9-bit literals that shifts what follows by any number of bits, then zlib's stream of
    // small blocks (of 300 bytes of data each), bit by bit behind it.
    std::mt19937 rng(32768);
    TEntryDecoder decoder;
    int outcomes[2] = {};
    int checked = 0;
    for (const int kind : {0, 1, 2, 3, 4}) {
        // Text, runs and noise (dynamic blocks); noise alone (stored blocks); a few
        // letters over and over (fixed blocks, cheaper than sending a code for so little);
        // two letters at random (dynamic blocks, all codes shorter than 9 bits); and blocks
        // of a few literals whose codes make that reader ask for more bits than the
        // end-of-block code has (ShortAndLongEndOfBlockCodes).
        TBytes tail = ShortAndLongEndOfBlockCodes(rng);
        TBytes data;
        for (std::size_t i = 0; i < 3000; ++i) {
            data.push_back(static_cast<std::uint8_t>(kind == 3 ? "ab"[rng() % 2] : rng()));
        }
        if (kind == 0) {
            data = MixedData(3000, 5);
        } else if (kind == 2) {
            data = BytesOf(std::string(3000, 'x'));
            for (std::size_t i = 0; i < data.size(); i += 1 + rng() % 9) {
                data[i] = "abc"[rng() % 3];
            }
        }
        if (kind < 4) {
            tail = ZlibDeflate(data, 9, 0, 300);
        }
        std::vector<std::size_t> blockEnds;
        ASSERT_EQ(ReferenceFirstReadOn(tail, tail.size(), &blockEnds).Where, TReadsOn::Never);
        ASSERT_GE(blockEnds.size(), 8u);

        // Bits of the tail before the end of the first 32 KB: 14 before to 10 after each of
        // the first six block ends, and 60 random ones within the first 260 bytes.
        std::vector<std::size_t> cuts;
        for (std::size_t k = 0; k < 6; ++k) {
            for (std::size_t bit = blockEnds[k] - 14; bit <= blockEnds[k] + 10; ++bit) {
                cuts.push_back(bit);
            }
        }
        for (int k = 0; k < 60; ++k) {
            cuts.push_back(16 + rng() % (8 * 260));
        }
        for (const std::size_t cut : cuts) {
            // 8 (5 + stored) + 3 + 8 eights + 9 nines + 7 + cut = 8 * 32768.
            const unsigned eights = rng() % 4;
            const unsigned nines = (8 - (10 + cut) % 8) % 8;
            const std::size_t stored = (8 * 32768 - 10 - 8 * eights - 9 * nines - cut) / 8 - 5;
            TEncodedEntry encoded;
            TBytes& stream = encoded.Data;
            // The stored block, byte-aligned: header bits 0 (not last, stored) and padding,
            // LEN, NLEN, the bytes.
            stream = {0, static_cast<std::uint8_t>(stored), static_cast<std::uint8_t>(stored >> 8),
                      static_cast<std::uint8_t>(~stored), static_cast<std::uint8_t>(~stored >> 8)};
            stream.resize(5 + stored, 0x5A);
            TBitWriter w;
            w.Put(0, 1);
            w.Put(1, 2);
            for (unsigned i = 0; i < nines; ++i) {
                PutFixedLitlen(w, 200);
            }
            for (unsigned i = 0; i < eights; ++i) {
                PutFixedLitlen(w, 'a');
            }
            PutFixedLitlen(w, 256);
            for (std::size_t i = 0; i < tail.size(); i += 2) {
                w.Put(tail[i] | (i + 1 < tail.size() ? tail[i + 1] << 8 : 0),
                      i + 1 < tail.size() ? 16 : 8);
            }
            const TBytes rest = w.Finish();
            stream.insert(stream.end(), rest.begin(), rest.end());
            // Control: a stored block of the tail keeps its meaning only when the tail
            // stays byte-aligned.
            if (!ZlibInflate(stream, 1 << 17)) {
                ASSERT_TRUE(nines % 8 != 6) << "the aligned stream must be valid";
                continue;
            }
            encoded.CompressedSize = static_cast<std::int64_t>(stream.size());
            encoded.UncompressedSize = 1 << 20;
            const TFirstReadOn reference = ReferenceFirstReadOn(stream, 32768);
            ASSERT_NE(reference.Where, TReadsOn::Never);
            ++outcomes[reference.Where == TReadsOn::AtBlockHeader ? 0 : 1];
            ++checked;
            stream.resize(32768);
            const TDecoded out = DecodeEntry(encoded, &decoder);
            const std::string where = std::to_string(kind) + " cut " + std::to_string(cut);
            if (reference.Where == TReadsOn::AtBlockHeader) {
                ASSERT_TRUE(out.Error) << where;
                EXPECT_EQ(*out.Error, "Premature end of file reached") << where;
            } else {
                EXPECT_FALSE(out.Error) << where;
            }
            EXPECT_EQ(out.Reads.size(), 2u) << where;
            EXPECT_EQ(out.Data.size(), reference.Decoded / 32768 * 32768) << where;
        }
    }
    // Both outcomes were met, many times.
    EXPECT_GT(outcomes[0], 30);
    EXPECT_GT(outcomes[1], 200);
    EXPECT_GT(checked, 300);
}
} // namespace
} // namespace zorvi::test
