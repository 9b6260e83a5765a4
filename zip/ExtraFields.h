// The extra block of a ZIP header: a run of fields, each a 2-byte id, a 2-byte data size and
// that many bytes of data (little-endian). Central and local headers carry their own blocks;
// the same id may mean the same thing in both but hold other parts of it (ZIP64 sizes, for
// one, are present in either only where the header's own field is full).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace zorvi {

// Field ids this component knows.
inline constexpr std::uint16_t kExtraZip64 = 0x0001;          // 64-bit sizes, offset, disk
inline constexpr std::uint16_t kExtraNtfsTimes = 0x000A;      // NTFS times, 100 ns ticks
inline constexpr std::uint16_t kExtraTimestamp = 0x5455;      // Unix times, UTC seconds
inline constexpr std::uint16_t kExtraUnicodeComment = 0x6375; // UTF-8 comment with the CRC
inline constexpr std::uint16_t kExtraUnicodePath = 0x7075;    // UTF-8 name with the CRC

/// One field of an extra block: its data stays inside the block it came from.
struct TExtraField {
    std::uint16_t Id = 0;
    const std::uint8_t* Data = nullptr;
    std::uint16_t Size = 0;
};

/// The first field with `id` in the block of `size` bytes, or none. The walk stops at a
/// field whose size runs past the block: what follows is not a field (some writers pad the
/// block, or cut it), and a field is never read beyond the block's end.
std::optional<TExtraField> FindExtraField(const std::uint8_t* block, std::size_t size,
                                          std::uint16_t id);

} // namespace zorvi
