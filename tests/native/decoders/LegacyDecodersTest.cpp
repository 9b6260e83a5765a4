// Shrink, reduce and implode on hand-built streams: one behaviour of the format per test.
#include <gtest/gtest.h>

#include "DecoderTestSupport.h"

namespace zorvi::test {
namespace {

TDecoded Decode(int method, const TBytes& stream, std::int64_t size, std::uint16_t flags = 0,
                TEntryDecoder* decoder = nullptr) {
    TEncodedEntry encoded;
    encoded.Method = method;
    encoded.BitFlags = flags;
    encoded.Data = stream;
    encoded.UncompressedSize = size;
    return DecodeEntry(encoded, decoder);
}

std::string Text(const TDecoded& d) {
    return std::string(d.Data.begin(), d.Data.end());
}

// --- Shrink -------------------------------------------------------------------------------

/// Codes of 9 bits unless a "256, 1" pair widened them; `codes` as the encoder sends them.
TBytes ShrinkStream(const std::vector<unsigned>& codes) {
    TBitWriter w;
    unsigned size = 9;
    for (std::size_t i = 0; i < codes.size(); ++i) {
        w.Put(codes[i], size);
        if (codes[i] == 256 && i + 1 < codes.size() && codes[i + 1] == 1) {
            w.Put(1, size);
            ++i;
            ++size;
        }
    }
    return w.Finish();
}

TEST(Unshrink, EmptyInputGivesAnEmptyFile) {
    const TDecoded out = Decode(1, {}, 0);
    EXPECT_TRUE(out.Data.empty());
    EXPECT_FALSE(out.Error);
    EXPECT_EQ(out.Crc, 0u);
}

TEST(Unshrink, UndefinedNextCodeIsThePreviousStringAndItsFirstByte) {
    // 'A', then 257 before it is defined (KwKwK): "A" + "AA".
    EXPECT_EQ(Text(Decode(1, ShrinkStream({'A', 257}), 3)), "AAA");
    // 'A','B' define 257 = "AB"; 258 undefined: "AB" + "A".
    EXPECT_EQ(Text(Decode(1, ShrinkStream({'A', 'B', 257, 259}), 9)), "ABABABA");
}

TEST(Unshrink, ControlCodeOneWidensTheFollowingCodes) {
    // After 256,1 every code is 10 bits; the writer widens at the same point.
    const TBytes stream = ShrinkStream({'X', 256, 1, 'Y', 257, 'Z'});
    EXPECT_EQ(Text(Decode(1, stream, 5)), "XYXYZ");
    // Read as 9-bit codes the same bits mean something else: the width really changed.
    TBitWriter narrow;
    for (unsigned c : {unsigned{'X'}, unsigned{'Y'}, 257u, unsigned{'Z'}}) {
        narrow.Put(c, 9);
    }
    EXPECT_EQ(Text(Decode(1, narrow.Finish(), 5)), "XYXYZ");
    EXPECT_NE(stream, narrow.Finish());
}

TEST(Unshrink, PartialClearFreesUnreferencedCodes) {
    // A, B, 257 ("AB"), 258 ("BA"): now 259 = "ABB" refers to 257. The partial clear keeps
    // 257 (referred to) and frees 258 and 259; the next codes take 258, then 259 anew.
    const std::vector<unsigned> head = {'A', 'B', 257, 258};
    std::vector<unsigned> cleared = head;
    cleared.insert(cleared.end(), {256, 2, 257, 259});
    // After the clear: 257 is still "AB"; 259 is undefined again, so it is "AB" + "A".
    EXPECT_EQ(Text(Decode(1, ShrinkStream(cleared), 11)), "ABABBAABABA");

    std::vector<unsigned> ignored = head;
    ignored.insert(ignored.end(), {256, 3, 257, 259}); // any other value changes nothing
    EXPECT_EQ(Text(Decode(1, ShrinkStream(ignored), 11)), "ABABBAABABB");
}

TEST(Unshrink, CodesWiderThan13BitsStopTheEntry) {
    std::vector<unsigned> codes = {'Q'};
    for (int i = 0; i < 5; ++i) {
        codes.insert(codes.end(), {256, 1}); // 9 → 14 bits
    }
    codes.push_back('R');
    const TDecoded out = Decode(1, ShrinkStream(codes), 2);
    EXPECT_EQ(Text(out), "Q"); // stops at the fifth widening
    EXPECT_FALSE(out.Error);
}

TEST(Unshrink, LoopThroughUndefinedCodesStops) {
    // 256 as the first code, then 300 (undefined, and so is the "previous" code 256's
    // chain once 257 points at it): the walk would never reach a byte.
    const TDecoded out = Decode(1, ShrinkStream({300, 300, 257, 257, 257}), 100000);
    EXPECT_FALSE(out.Error);
    EXPECT_LE(out.Data.size(), 100000u);
}

// --- Reduce -------------------------------------------------------------------------------

/// A reduced stream with empty follower sets: every byte is 8 plain bits.
TBytes ReduceStream(const std::vector<unsigned>& bytes) {
    TBitWriter w;
    for (int x = 0; x < 256; ++x) {
        w.Put(0, 6); // follower count of x
    }
    for (unsigned b : bytes) {
        w.Put(b, 8);
    }
    return w.Finish();
}

TEST(Unreduce, Byte144FollowedByZeroIsALiteral144) {
    for (int method = 2; method <= 5; ++method) {
        const TDecoded out = Decode(method, ReduceStream({'a', 144, 0, 'b'}), 3);
        EXPECT_EQ(out.Data, (TBytes{'a', 144, 'b'})) << method;
    }
}

TEST(Unreduce, MatchLengthAndDistanceFollowTheFactor) {
    // Factor 1 (method 2): V = length (7 bits) | distance high bit << 7. "abc", then
    // length 2 + 3 = 5 from distance 2 + 1 = 3.
    EXPECT_EQ(Text(Decode(2, ReduceStream({'a', 'b', 'c', 144, 2, 2}), 8)), "abcabcab");
    // Factor 4 (method 5): length in the low 4 bits, distance high part in the upper 4.
    // V = 0x12: length 2 + 3, distance 1·256 + 0 + 1 = 257.
    std::vector<unsigned> bytes;
    for (int i = 0; i < 257; ++i) {
        bytes.push_back('A' + i % 26);
    }
    bytes.insert(bytes.end(), {144, 0x12, 0});
    const std::string out = Text(Decode(5, ReduceStream(bytes), 262));
    EXPECT_EQ(out.substr(257), out.substr(0, 5));
}

TEST(Unreduce, LengthEqualToTheMaskTakesOneMoreByte) {
    // Factor 2 (method 3): L = 63. V = 63 → one more length byte (10): 63 + 10 + 3 = 76.
    const TDecoded out = Decode(3, ReduceStream({'z', 144, 63, 10, 0}), 77);
    EXPECT_EQ(out.Data, TBytes(77, 'z'));
}

TEST(Unreduce, DistanceBeforeTheStartGivesZeros) {
    TEntryDecoder decoder; // a previous entry leaves its bytes in the window
    ASSERT_EQ(Text(Decode(2, ReduceStream({'x', 'y', 'z', 'w'}), 4, 0, &decoder)), "xyzw");
    // "AB", then 4 bytes (V = 1: 1 + 3) from distance 3 + 1: two before the start.
    const TDecoded out = Decode(2, ReduceStream({'A', 'B', 144, 0x01, 3}), 6, 0, &decoder);
    EXPECT_EQ(out.Data, (TBytes{'A', 'B', 0, 0, 'A', 'B'}));
}

TEST(Unreduce, FollowerSetsCodeBytesByIndex) {
    /// Follower sets where 'a' alone has three followers (b, c, d), then `a` and a follower.
    const auto stream = [](unsigned index) {
        TBitWriter w;
        for (int x = 255; x >= 0; --x) {
            if (x == 'a') {
                w.Put(3, 6); // 'a' has three followers: b, c, d
                w.Put('b', 8);
                w.Put('c', 8);
                w.Put('d', 8);
            } else {
                w.Put(0, 6);
            }
        }
        w.Put('a', 8);   // after byte 0 (no followers): 8 plain bits
        w.Put(0, 1);     // a follower of 'a' ...
        w.Put(index, 2); // ... by its index of B(3) = 2 bits
        w.Put(0, 8);     // after the follower (no followers of its own): a literal 0
        w.Put('a', 8);
        w.Put(1, 1); // not a follower: 8 plain bits
        w.Put('q', 8);
        return w.Finish();
    };
    const TDecoded out = Decode(2, stream(2), 5);
    EXPECT_EQ(out.Data, (TBytes{'a', 'd', 0, 'a', 'q'}));
    EXPECT_TRUE(out.Finished);
    // Two bits can also say 3, a slot the set does not have; it would show whatever an
    // earlier entry left in the work area.
    TEntryDecoder decoder;
    ASSERT_EQ(Decode(2, ReduceStream(std::vector<unsigned>(5, 0xFF)), 5, 0, &decoder).Data,
              TBytes(5, 0xFF));
    const TDecoded bad = Decode(2, stream(3), 5, 0, &decoder);
    EXPECT_FALSE(bad.Finished);
    EXPECT_EQ(bad.Data, TBytes{'a'});
}

// --- Implode ------------------------------------------------------------------------------

constexpr std::uint16_t k8K = 0x0002;
constexpr std::uint16_t kLiteralTree = 0x0004;

/// A tree description where all `count` codes have `length` bits.
void PutUniformTree(TBytes& out, unsigned count, unsigned length) {
    const unsigned groups = count / 16;
    out.push_back(static_cast<std::uint8_t>(groups - 1)); // bytes that follow, less one
    for (unsigned g = 0; g < groups; ++g) {
        out.push_back(static_cast<std::uint8_t>(0xF0 | (length - 1))); // 16 codes of length
    }
}

/// Writes symbol `sym` of a uniform code of `length` bits, complemented as implode sends it.
void PutImplodeCode(TBitWriter& w, unsigned sym, unsigned length) {
    w.PutCode(~sym & ((1u << length) - 1), length);
}

struct TImplodeItems {
    std::uint16_t Flags;
    TBitWriter Bits;

    void Literal(unsigned byte) {
        Bits.Put(1, 1);
        if (Flags & kLiteralTree) {
            PutImplodeCode(Bits, byte, 8); // literal tree: 256 codes of 8 bits
        } else {
            Bits.Put(byte, 8);
        }
    }
    void Match(unsigned distance, unsigned length) {
        const unsigned lowBits = (Flags & k8K) ? 7 : 6;
        const unsigned minimum = (Flags & kLiteralTree) ? 3 : 2;
        Bits.Put(0, 1);
        Bits.Put((distance - 1) & ((1u << lowBits) - 1), lowBits);
        PutImplodeCode(Bits, (distance - 1) >> lowBits, 6);
        const unsigned sym = std::min(length - minimum, 63u);
        PutImplodeCode(Bits, sym, 6);
        if (sym == 63) {
            Bits.Put(length - minimum - 63, 8);
        }
    }
    TBytes Finish() {
        TBytes out;
        if (Flags & kLiteralTree) {
            PutUniformTree(out, 256, 8);
        }
        PutUniformTree(out, 64, 6); // lengths
        PutUniformTree(out, 64, 6); // distances
        const TBytes bits = Bits.Finish();
        out.insert(out.end(), bits.begin(), bits.end());
        return out;
    }
};

TEST(Explode, AllFourVariantsDecodeLiteralsAndMatches) {
    for (int f : {0, 2, 4, 6}) {
        const auto flags = static_cast<std::uint16_t>(f);
        TImplodeItems items{flags, {}};
        for (char c : std::string("implode")) {
            items.Literal(static_cast<unsigned char>(c));
        }
        items.Match(7, 7); // the whole word again
        items.Match(3, 4); // "ode" + "o"
        EXPECT_EQ(Text(Decode(6, items.Finish(), 18, flags)), "implodeimplodeodeo") << flags;
    }
}

TEST(Explode, RawDistanceBitsDependOnTheDictionary) {
    // A distance of 70 takes 6 raw bits and a high code of 1 with 4 KB, 7 raw bits and a high code
    // of 0 with 8 KB. Decoded with the other dictionary, the same bits mean another distance.
    TBytes text;
    for (int i = 0; i < 70; ++i) {
        text.push_back(static_cast<std::uint8_t>('0' + i % 70));
    }
    for (std::uint16_t flags : {std::uint16_t{0}, k8K}) {
        TImplodeItems items{flags, {}};
        for (auto b : text) {
            items.Literal(b);
        }
        items.Match(70, 5);
        const TBytes stream = items.Finish();
        const TDecoded out = Decode(6, stream, 75, flags);
        EXPECT_EQ(TBytes(out.Data.begin() + 70, out.Data.end()),
                  TBytes(text.begin(), text.begin() + 5));
        const TDecoded other = Decode(6, stream, 75, flags ^ k8K);
        EXPECT_NE(other.Data, out.Data);
    }
}

TEST(Explode, LastLengthCodeAddsEightBits) {
    for (std::uint16_t flags : {std::uint16_t{0}, kLiteralTree}) {
        const unsigned minimum = (flags & kLiteralTree) ? 3 : 2;
        TImplodeItems items{flags, {}};
        items.Literal('r');
        items.Match(1, minimum + 63 + 200); // symbol 63 plus 200 from the extra byte
        const auto size = static_cast<std::int64_t>(1 + minimum + 63 + 200);
        const TDecoded out = Decode(6, items.Finish(), size, flags);
        EXPECT_EQ(out.Data, TBytes(static_cast<std::size_t>(size), 'r')) << flags;
    }
}

TEST(Explode, TreeDescriptionThatDoesNotAddUpGivesNoOutput) {
    TImplodeItems items{0, {}};
    items.Literal('x');
    TBytes stream = items.Finish();
    stream[1] = 0xE5; // the first group of the length tree: 15 codes instead of 16
    TDecoded out = Decode(6, stream, 1);
    EXPECT_TRUE(out.Data.empty());
    EXPECT_FALSE(out.Error);

    stream = items.Finish();
    stream[0] = 4; // one group too many: 80 lengths for 64 codes
    out = Decode(6, stream, 1);
    EXPECT_TRUE(out.Data.empty());
}

// --- All three ---------------------------------------------------------------------------

TEST(LegacyDecoders, DataEndingBeforeTheSizeStopsAsBadData) {
    // Each stream holds `text` whole; the entry claims far more. Nothing may be decoded from
    // bits past the end of the data (the bit readers once made them zeros, and an entry of
    // 192 bytes claiming 4 GB ran for minutes), and only the whole stream at its own size
    // reaches the decoder's regular end.
    constexpr std::int64_t kClaimed = 1 << 20;
    const std::string text = "abcabcabcXYZ";
    const auto size = static_cast<std::int64_t>(text.size());
    const std::vector<unsigned> bytes(text.begin(), text.end());
    for (int method = 2; method <= 5; ++method) {
        const TBytes stream = ReduceStream(bytes);
        EXPECT_TRUE(Decode(method, stream, size).Finished) << method;
        const TDecoded out = Decode(method, stream, kClaimed);
        EXPECT_FALSE(out.Error) << method;
        EXPECT_FALSE(out.Finished) << method;
        EXPECT_EQ(Text(out), text) << method; // what the data holds, and not a byte more
    }
    for (int f : {0, 2, 4, 6}) {
        const auto flags = static_cast<std::uint16_t>(f);
        TImplodeItems items{flags, {}};
        for (char c : text) {
            items.Literal(static_cast<unsigned char>(c));
        }
        const TBytes stream = items.Finish();
        EXPECT_TRUE(Decode(6, stream, size, flags).Finished) << flags;
        const TDecoded out = Decode(6, stream, kClaimed, flags);
        EXPECT_FALSE(out.Error) << flags;
        EXPECT_FALSE(out.Finished) << flags;
        EXPECT_LE(out.Data.size(), text.size()) << flags;
        // Cut inside the tree descriptions: no tree, no output.
        const TDecoded cut = Decode(6, TBytes(stream.begin(), stream.begin() + 3), 1, flags);
        EXPECT_FALSE(cut.Finished) << flags;
        EXPECT_TRUE(cut.Data.empty()) << flags;
    }
    // Shrink ends with its data; cut anywhere, it gives a part of the text and no more. A
    // cut inside a code (a last fill that finds bytes, but too few) is bad data.
    std::vector<unsigned> codes(text.begin(), text.end());
    codes.insert(codes.end(), {256, 1, 'Q', 256, 1, 'R', 256, 1, 'S', 256, 1, 'T'});
    const TBytes shrunk = ShrinkStream(codes);
    const std::string whole = Text(Decode(1, shrunk, 16));
    ASSERT_EQ(whole, text + "QRST");
    int cutInACode = 0;
    for (std::size_t cut = 0; cut < shrunk.size(); ++cut) {
        const TDecoded out = Decode(
            1, TBytes(shrunk.begin(), shrunk.begin() + static_cast<std::ptrdiff_t>(cut)), kClaimed);
        EXPECT_FALSE(out.Error) << cut;
        EXPECT_EQ(whole.substr(0, out.Data.size()), Text(out)) << cut;
        cutInACode += out.Finished ? 0 : 1;
    }
    EXPECT_GT(cutInACode, 0);
}

TEST(Explode, DistanceBeforeTheStartGivesZeros) {
    TEntryDecoder decoder;
    TImplodeItems first{0, {}};
    for (char c : std::string("stale")) {
        first.Literal(static_cast<unsigned char>(c));
    }
    ASSERT_EQ(Text(Decode(6, first.Finish(), 5, 0, &decoder)), "stale");
    TImplodeItems items{0, {}};
    items.Literal('P');
    items.Match(3, 3);
    EXPECT_EQ(Decode(6, items.Finish(), 4, 0, &decoder).Data, (TBytes{'P', 0, 0, 'P'}));
}

} // namespace
} // namespace zorvi::test
