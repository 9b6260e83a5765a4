#include "tools/flash-tool/core/FlashImage.h"

#include "tools/flash-tool/core/Lpc2138.h"

#include <algorithm>
#include <cstdio>

namespace zorvi {
namespace {

constexpr std::uint32_t kLargestBlock = 4096;
constexpr std::uint32_t kPageCount = lpc2138::kUserFlashSize / lpc2138::kFlashPageSize;
static_assert(lpc2138::kUserFlashSize % kLargestBlock == 0);

} // namespace

bool BuildFlashImage(const THexImage& hex, TFlashImage& image, std::string& error) {
    image.bytes.assign(lpc2138::kUserFlashSize, kErasedByte);
    image.pageUsed.assign(kPageCount, false);
    bool any = false;
    for (const THexSegment& segment : hex.segments) {
        const auto size = static_cast<std::uint32_t>(segment.bytes.size());
        if (!lpc2138::InUserFlash(segment.address, size)) {
            char text[96];
            std::snprintf(text, sizeof text,
                          "data at 0x%08X..0x%08X lies outside the user flash of the LPC2138",
                          segment.address, static_cast<unsigned>(segment.address + size - 1));
            error = text;
            return false;
        }
        if (size == 0) {
            continue;
        }
        std::copy(segment.bytes.begin(), segment.bytes.end(),
                  image.bytes.begin() + segment.address);
        for (std::uint32_t page = segment.address / lpc2138::kFlashPageSize;
             page <= (segment.address + size - 1) / lpc2138::kFlashPageSize; ++page) {
            image.pageUsed[page] = true;
        }
        any = true;
    }
    if (!any) {
        error = "the HEX file holds no data";
        return false;
    }
    return true;
}

std::vector<int> UsedSectors(const TFlashImage& image) {
    std::vector<int> sectors;
    for (std::uint32_t page = 0; page < image.pageUsed.size(); ++page) {
        if (!image.pageUsed[page]) {
            continue;
        }
        const int sector = *lpc2138::SectorOf(page * lpc2138::kFlashPageSize);
        if (sectors.empty() || sectors.back() != sector) {
            sectors.push_back(sector);
        }
    }
    return sectors;
}

std::vector<TCopyBlock> PlanCopyBlocks(const TFlashImage& image) {
    constexpr std::uint32_t kPagesPerStep = kLargestBlock / lpc2138::kFlashPageSize;
    std::vector<TCopyBlock> blocks;
    for (std::uint32_t step = 0; step < lpc2138::kUserFlashSize; step += kLargestBlock) {
        const std::uint32_t firstPage = step / lpc2138::kFlashPageSize;
        std::uint32_t usedEnd = 0; // bytes from the step's start to the end of its last used page
        for (std::uint32_t i = 0; i < kPagesPerStep; ++i) {
            if (image.pageUsed[firstPage + i]) {
                usedEnd = (i + 1) * lpc2138::kFlashPageSize;
            }
        }
        if (usedEnd == 0) {
            continue;
        }
        const auto* size =
            std::find_if(std::begin(lpc2138::kCopyBlockSizes), std::end(lpc2138::kCopyBlockSizes),
                         [&](std::uint32_t s) { return s >= usedEnd; });
        blocks.push_back({step, *size});
    }
    return blocks;
}

} // namespace zorvi
