#include "tools/flash-tool/core/Lpc2138.h"

namespace zorvi::lpc2138 {
namespace {

// The flash is cut into three runs of equal sectors:
//   sectors  0..7   4 KB each   0x00000..0x07FFF
//   sectors  8..21 32 KB each   0x08000..0x77FFF
//   sectors 22..26  4 KB each   0x78000..0x7CFFF
constexpr std::uint32_t kSmall = 4 * 1024;
constexpr std::uint32_t kLarge = 32 * 1024;
constexpr int kFirstLarge = 8;
constexpr int kFirstUpperSmall = 22;
constexpr std::uint32_t kLargeRunStart = kFirstLarge * kSmall;
constexpr std::uint32_t kUpperRunStart = kLargeRunStart + (kFirstUpperSmall - kFirstLarge) * kLarge;

static_assert(kUpperRunStart == 0x78000);
static_assert(kUpperRunStart + (kSectorCount - kFirstUpperSmall) * kSmall == kUserFlashSize);

} // namespace

TSector Sector(int number) {
    if (number < kFirstLarge) {
        return {static_cast<std::uint32_t>(number) * kSmall, kSmall};
    }
    if (number < kFirstUpperSmall) {
        return {kLargeRunStart + static_cast<std::uint32_t>(number - kFirstLarge) * kLarge, kLarge};
    }
    return {kUpperRunStart + static_cast<std::uint32_t>(number - kFirstUpperSmall) * kSmall,
            kSmall};
}

std::optional<int> SectorOf(std::uint32_t address) {
    if (address < kLargeRunStart) {
        return static_cast<int>(address / kSmall);
    }
    if (address < kUpperRunStart) {
        return kFirstLarge + static_cast<int>((address - kLargeRunStart) / kLarge);
    }
    if (address < kUserFlashSize) {
        return kFirstUpperSmall + static_cast<int>((address - kUpperRunStart) / kSmall);
    }
    return std::nullopt;
}

} // namespace zorvi::lpc2138
