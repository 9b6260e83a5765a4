// The firmware as it is to stand in the instrument's user flash: every byte of
// the 500 KB, erased bytes as 0xFF, and which 256-byte pages the HEX file gave
// data for. Only pages with data are written (the job's NOFILL), and only sectors
// holding such pages are erased (ERASEUSED).
#pragma once

#include "tools/flash-tool/core/IntelHex.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zorvi {

inline constexpr std::uint8_t kErasedByte = 0xFF;

struct TFlashImage {
    std::vector<std::uint8_t> bytes; // lpc2138::kUserFlashSize bytes
    std::vector<bool> pageUsed;      // one flag per lpc2138::kFlashPageSize bytes
};

/// Lays the HEX data out in the user flash. Fails when a byte lies outside it
/// (the boot block at its top included) or the file holds no data at all.
bool BuildFlashImage(const THexImage& hex, TFlashImage& image, std::string& error);

/// The sectors that hold at least one used page, in ascending order.
std::vector<int> UsedSectors(const TFlashImage& image);

/// One "Copy RAM to Flash": a block at an address aligned to its size, of one of
/// the sizes the boot loader accepts.
struct TCopyBlock {
    std::uint32_t address = 0;
    std::uint32_t size = 0;
};

/// The blocks that write every used page: the flash is walked in 4 KB steps (no
/// sector boundary falls inside one) and each step with data is written as the
/// smallest accepted block, starting at the step, that covers its last used page.
std::vector<TCopyBlock> PlanCopyBlocks(const TFlashImage& image);

} // namespace zorvi
