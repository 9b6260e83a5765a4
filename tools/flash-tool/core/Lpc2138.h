// Facts about the LPC2138 that both sides of the in-system-programming link rely
// on: where its flash and RAM lie, how the flash is cut into sectors, and the
// identifiers its boot loader reports. Taken from the LPC213x user manual (flash
// memory system and ISP chapters).
#pragma once

#include <cstdint>
#include <optional>

namespace zorvi::lpc2138 {

/// The on-chip flash starts at address 0. Its last 12 KB (0x7D000..0x7FFFF) hold
/// the boot loader itself and are not part of any user sector.
inline constexpr std::uint32_t kFlashBase = 0x00000000;
inline constexpr std::uint32_t kFlashSize = 512 * 1024;
inline constexpr std::uint32_t kUserFlashSize = 500 * 1024; // 8*4 KB + 14*32 KB + 5*4 KB

/// 32 KB of static RAM. The boot loader keeps its own variables in the first
/// 0x200 bytes, so hosts put their transfer buffer above that.
inline constexpr std::uint32_t kRamBase = 0x40000000;
inline constexpr std::uint32_t kRamSize = 32 * 1024;
inline constexpr std::uint32_t kRamTransferBuffer = kRamBase + 0x200;

inline constexpr int kSectorCount = 27;

/// The value of the "J" (read part identification) command for this part.
inline constexpr std::uint32_t kPartId = 0x0002FF25;

/// The code that "U" must be given before erase, copy and go are accepted.
inline constexpr std::uint32_t kUnlockCode = 23130;

/// Block sizes that "Copy RAM to Flash" accepts.
inline constexpr std::uint32_t kCopyBlockSizes[] = {256, 512, 1024, 4096};

/// The boot loader programs flash in units of 256 bytes: copy destinations must
/// be aligned to this.
inline constexpr std::uint32_t kFlashPageSize = 256;

struct TSector {
    std::uint32_t start;
    std::uint32_t size;
};

/// Sector n of the user flash (0 <= n < kSectorCount).
TSector Sector(int number);

/// The sector that holds a flash address, or nothing for an address outside the
/// user flash (the boot block included).
std::optional<int> SectorOf(std::uint32_t address);

inline bool InUserFlash(std::uint32_t address, std::uint32_t count) {
    return address < kUserFlashSize && count <= kUserFlashSize - address;
}

inline bool InRam(std::uint32_t address, std::uint32_t count) {
    return address >= kRamBase && address - kRamBase < kRamSize &&
           count <= kRamSize - (address - kRamBase);
}

} // namespace zorvi::lpc2138
