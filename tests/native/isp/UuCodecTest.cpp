#include "tools/flash-tool/core/UuCodec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zorvi {
namespace {

std::vector<std::uint8_t> Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

TEST(UuCodec, MatchesAReferenceEncoderWithBacktickForZero) {
    // Expected lines from Python's binascii.b2a_uu(data, backtick=True).
    std::vector<std::uint8_t> counting(45);
    for (std::size_t i = 0; i < counting.size(); ++i) {
        counting[i] = static_cast<std::uint8_t>(i);
    }
    EXPECT_EQ(UuEncodeLine(Bytes("Cat")), "#0V%T");
    EXPECT_EQ(UuEncodeLine(counting),
              "M``$\"`P0%!@<(\"0H+#`T.#Q`1$A,4%187&!D:&QP='A\\@(2(C)\"4F)R@I*BLL");
    EXPECT_EQ(UuEncodeLine(Bytes(std::string("\0\0\0\xff\xfe", 5))), "%````__X`");
    EXPECT_EQ(UuEncodeLine(Bytes("Software version: 1V5\r\n")),
              "74V]F='=A<F4@=F5R<VEO;CH@,58U#0H`");
}

TEST(UuCodec, DecodesWhatItEncodesForEveryLineLength) {
    for (std::size_t length = 1; length <= kUuBytesPerLine; ++length) {
        std::vector<std::uint8_t> bytes(length);
        for (std::size_t i = 0; i < length; ++i) {
            bytes[i] = static_cast<std::uint8_t>(i * 97 + length * 31);
        }
        const std::string line = UuEncodeLine(bytes);
        EXPECT_EQ(line.size(), 1 + (length + 2) / 3 * 4);
        EXPECT_EQ(line.find(' '), std::string::npos) << "no blank may end up on the wire";
        EXPECT_EQ(UuDecodeLine(line), bytes) << "length " << length;
    }
}

TEST(UuCodec, TakesTheBlankSpellingOfZeroAndStrippedTrailingZeros) {
    EXPECT_EQ(UuDecodeLine("%    __X "), Bytes(std::string("\0\0\0\xff\xfe", 5)));
    // Trailing blanks stripped by the way: the missing characters are zeros.
    EXPECT_EQ(UuDecodeLine("#"), Bytes(std::string("\0\0\0", 3)));
    EXPECT_EQ(UuDecodeLine("#0V%T   "), Bytes("Cat"));
}

TEST(UuCodec, RejectsMalformedLines) {
    EXPECT_FALSE(UuDecodeLine(""));
    EXPECT_FALSE(UuDecodeLine("N" + std::string(64, '!'))) << "46 bytes exceed a line";
    EXPECT_FALSE(UuDecodeLine("#0V%~")) << "'~' is outside the alphabet";
    EXPECT_FALSE(UuDecodeLine("#0V\x01T")) << "control character";
    EXPECT_FALSE(UuDecodeLine("#0V%T0V%T")) << "more characters than the length implies";
}

TEST(UuCodec, ByteSumAddsRawBytesWithoutTruncation) {
    const std::vector<std::uint8_t> block(900, 0xFF);
    EXPECT_EQ(ByteSum(block), 900u * 255u);
}

} // namespace
} // namespace zorvi
