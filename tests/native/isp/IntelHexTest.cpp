#include "tools/flash-tool/core/IntelHex.h"

#include <gtest/gtest.h>

#include <string>

namespace zorvi {
namespace {

std::string Parse(std::string_view text, THexImage& image) {
    std::string error;
    return ParseIntelHex(text, image, error) ? "" : error;
}

TEST(IntelHex, ReadsDataRecordsAndMergesAdjacentRuns) {
    THexImage image;
    ASSERT_EQ(Parse(":0400000001020304F2\r\n"
                    ":02000400AABB95\r\n"
                    ":0100100055 9A\r\n" // not valid: blank inside
                    ,
                    image),
              "line 3: not a HEX record");
    ASSERT_EQ(Parse(":0400000001020304F2\r\n"
                    ":02000400aabb95\r\n" // lower-case digits are hex digits too
                    ":01001000559a\r\n"
                    ":00000001FF\r\n",
                    image),
              "");
    ASSERT_EQ(image.segments.size(), 2u);
    EXPECT_EQ(image.segments[0].address, 0u);
    EXPECT_EQ(image.segments[0].bytes, (std::vector<std::uint8_t>{1, 2, 3, 4, 0xAA, 0xBB}));
    EXPECT_EQ(image.segments[1].address, 0x10u);
    EXPECT_EQ(image.recordCount, 4u);
    EXPECT_FALSE(image.entryPoint);
}

TEST(IntelHex, AppliesExtendedAddressesAndStartAddress) {
    THexImage image;
    ASSERT_EQ(Parse(":020000040001F9\n"     // upper 16 bits 0x0001 (LF-only line ends)
                    ":02FFFE00A1A2BE\n"     // 0x1FFFE..0x1FFFF
                    ":020000021000EC\n"     // segment base 0x1000 * 16 = 0x10000
                    ":01000000C33C\n"       // 0x10000
                    ":0400000500000100F6\n" // entry point 0x100
                    ":00000001FF\n",
                    image),
              "");
    ASSERT_EQ(image.segments.size(), 2u);
    EXPECT_EQ(image.segments[0].address, 0x10000u);
    EXPECT_EQ(image.segments[0].bytes, std::vector<std::uint8_t>{0xC3});
    EXPECT_EQ(image.segments[1].address, 0x1FFFEu);
    EXPECT_EQ(image.entryPoint, 0x100u);
}

TEST(IntelHex, RejectsDamagedFilesNamingTheLine) {
    THexImage image;
    EXPECT_EQ(Parse(":0400000001020304F3\r\n:00000001FF\r\n", image), "line 1: checksum mismatch");
    EXPECT_EQ(Parse(":0500000001020304F2\r\n:00000001FF\r\n", image),
              "line 1: byte count does not match the record length");
    EXPECT_EQ(Parse(":04000000010203G4F2\r\n", image), "line 1: not a hex digit");
    EXPECT_EQ(Parse("0400000001020304F2\r\n", image), "line 1: not a HEX record");
    EXPECT_EQ(Parse(":0400000001020304F2\r\n", image), "no end-of-file record");
    EXPECT_EQ(Parse(":00000001FF\r\n:0400000001020304F2\r\n", image),
              "line 2: record after the end-of-file record");
    EXPECT_EQ(Parse(":0100000607F2\r\n:00000001FF\r\n", image), "line 1: unknown record type");
    EXPECT_EQ(Parse(":0100000401FA\r\n:00000001FF\r\n", image),
              "line 1: wrong length for the record type");
}

TEST(IntelHex, RejectsTwoRecordsForTheSameAddress) {
    THexImage image;
    EXPECT_EQ(Parse(":0400000001020304F2\r\n:0100030055A7\r\n:00000001FF\r\n", image),
              "data given twice for address 0x00000003");
}

TEST(IntelHex, RejectsDataBeyondTheAddressSpace) {
    THexImage image;
    EXPECT_EQ(Parse(":02000004FFFFFC\r\n:02FFFF000102FD\r\n:00000001FF\r\n", image),
              "line 2: data beyond the 4 GB address space");
}

} // namespace
} // namespace zorvi
