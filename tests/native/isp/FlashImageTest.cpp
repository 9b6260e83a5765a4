#include "tools/flash-tool/core/FlashImage.h"
#include "tools/flash-tool/core/Lpc2138.h"

#include <gtest/gtest.h>

namespace zorvi {
namespace {

THexImage Segments(std::initializer_list<std::pair<std::uint32_t, std::size_t>> runs) {
    THexImage hex;
    for (const auto& [address, size] : runs) {
        hex.segments.push_back({address, std::vector<std::uint8_t>(size, 0x5A)});
    }
    return hex;
}

TEST(Lpc2138, SectorMapCoversTheUserFlashWithoutGaps) {
    std::uint32_t next = 0;
    for (int n = 0; n < lpc2138::kSectorCount; ++n) {
        const lpc2138::TSector sector = lpc2138::Sector(n);
        EXPECT_EQ(sector.start, next) << "sector " << n;
        EXPECT_EQ(sector.size, n < 8 || n >= 22 ? 4096u : 32768u) << "sector " << n;
        EXPECT_EQ(lpc2138::SectorOf(sector.start), n);
        EXPECT_EQ(lpc2138::SectorOf(sector.start + sector.size - 1), n);
        next = sector.start + sector.size;
    }
    EXPECT_EQ(next, 0x7D000u);
    EXPECT_FALSE(lpc2138::SectorOf(0x7D000)) << "the boot block is no user sector";
}

TEST(FlashImage, LaysOutDataAndMarksItsPages) {
    TFlashImage image;
    std::string error;
    ASSERT_TRUE(BuildFlashImage(Segments({{0x100, 16}, {0x9000, 1}}), image, error)) << error;
    EXPECT_EQ(image.bytes.size(), lpc2138::kUserFlashSize);
    EXPECT_EQ(image.bytes[0xFF], 0xFF);
    EXPECT_EQ(image.bytes[0x100], 0x5A);
    EXPECT_EQ(image.bytes[0x110], 0xFF);
    EXPECT_FALSE(image.pageUsed[0]);
    EXPECT_TRUE(image.pageUsed[1]);
    EXPECT_TRUE(image.pageUsed[0x90]);
    EXPECT_EQ(UsedSectors(image), (std::vector<int>{0, 8}));
}

TEST(FlashImage, RejectsDataOutsideTheUserFlashAndEmptyFiles) {
    TFlashImage image;
    std::string error;
    EXPECT_FALSE(BuildFlashImage(Segments({{0x7CFF0, 32}}), image, error));
    EXPECT_EQ(error, "data at 0x0007CFF0..0x0007D00F lies outside the user flash of the LPC2138");
    EXPECT_FALSE(BuildFlashImage(Segments({{0x40000000, 4}}), image, error));
    EXPECT_FALSE(BuildFlashImage(THexImage{}, image, error));
    EXPECT_EQ(error, "the HEX file holds no data");
}

TEST(FlashImage, PlansTheSmallestAcceptedBlockPerFourKilobytes) {
    TFlashImage image;
    std::string error;
    // 0x0000..0x1003: one full step and 4 bytes of the next; 0x8300: one page
    // inside the first large sector, past its first 512 bytes.
    ASSERT_TRUE(
        BuildFlashImage(Segments({{0, 0x1004}, {0x8300, 8}, {0x7CF00, 0x100}}), image, error));
    const std::vector<TCopyBlock> blocks = PlanCopyBlocks(image);
    ASSERT_EQ(blocks.size(), 4u);
    EXPECT_EQ(blocks[0].address, 0u);
    EXPECT_EQ(blocks[0].size, 4096u);
    EXPECT_EQ(blocks[1].address, 0x1000u);
    EXPECT_EQ(blocks[1].size, 256u);
    EXPECT_EQ(blocks[2].address, 0x8000u);
    EXPECT_EQ(blocks[2].size, 1024u);
    EXPECT_EQ(blocks[3].address, 0x7C000u);
    EXPECT_EQ(blocks[3].size, 4096u);
    EXPECT_EQ(UsedSectors(image), (std::vector<int>{0, 1, 8, 26}));
}

} // namespace
} // namespace zorvi
