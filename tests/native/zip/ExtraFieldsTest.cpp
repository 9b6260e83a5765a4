// Walking a header's extra block: fields found by id, and never read past the block.
#include "zip/ExtraFields.h"

#include <gtest/gtest.h>

#include <vector>

namespace zorvi {
namespace {

TEST(ExtraFields, FindsAFieldByIdAndStopsWhereTheBlockEnds) {
    const std::vector<std::uint8_t> block = {
        0x55, 0x54, 0x05, 0x00, 0x01, 0x10, 0x20, 0x30, 0x40,          // 0x5455, 5 bytes
        0x01, 0x00, 0x08, 0x00, 1,    2,    3,    4,    5,    6, 7, 8, // 0x0001, 8 bytes
        0x75, 0x70, 0x09, 0x00, 0xAA, 0xBB,                            // 0x7075 claims 9, has 2
    };
    const auto zip64 = FindExtraField(block.data(), block.size(), kExtraZip64);
    ASSERT_TRUE(zip64);
    EXPECT_EQ(zip64->Size, 8);
    EXPECT_EQ(zip64->Data, block.data() + 13);
    const auto time = FindExtraField(block.data(), block.size(), kExtraTimestamp);
    ASSERT_TRUE(time);
    EXPECT_EQ(time->Data[0], 0x01);
    // A field longer than what is left of the block is no field; nor is a header cut short.
    EXPECT_FALSE(FindExtraField(block.data(), block.size(), kExtraUnicodePath));
    EXPECT_FALSE(FindExtraField(block.data(), 12, kExtraZip64));
    EXPECT_FALSE(FindExtraField(block.data(), 3, kExtraTimestamp));
    EXPECT_FALSE(FindExtraField(nullptr, 0, kExtraZip64));
}

} // namespace
} // namespace zorvi
