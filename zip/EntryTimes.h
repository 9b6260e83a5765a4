// The modification time an extracted file gets. The MS-DOS date and time of the headers is
// local time of the writer's zone, to two seconds; two extra fields hold the exact moment
// in UTC and win when present, so a file keeps its time in any zone:
//
//   0x000A NTFS times (PKWARE):      0x5455 extended timestamp (Info-ZIP "UT"):
//     4 bytes  reserved                1 byte   flags: bit 0 modification time present,
//     then attributes, each:                    bit 1 access time, bit 2 creation time
//       2 bytes  tag                   then the times present, 4 bytes each, signed
//       2 bytes  size of its data      seconds since 1970-01-01 00:00 UTC, in flag order.
//       data                         A central header's copy holds the modification time
//     tag 0x0001, 24 bytes: modifi-  only, whatever its flags say of the local header.
//     cation, access and creation
//     times, 8 bytes each: 100 ns
//     ticks since 1601-01-01 UTC.
//
// The NTFS time is the finer and is taken first; a central header's field before the local
// header's.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zorvi {

class TFileSystemShim;

/// A moment in UTC: seconds since 1970-01-01 00:00 UTC (negative before) and the
/// nanoseconds past that second (0..999,999,999).
struct TUtcTime {
    std::int64_t Seconds = 0;
    std::uint32_t Nanoseconds = 0;
    friend bool operator==(const TUtcTime&, const TUtcTime&) = default;
};

/// The modification time an extra block holds: its NTFS field's, else its extended
/// timestamp's; none when neither holds one whole (an NTFS time of 0 means "not set").
std::optional<TUtcTime> ExtraFieldModificationTime(std::string_view extra);

/// Dates the extracted file: the exact time of the central extra block, else of the local
/// one, when the system takes it; otherwise the MS-DOS date and time as local time. False
/// when the file got no time at all.
bool SetExtractedFileTime(TFileSystemShim& fileSystem, const std::string& path,
                          std::uint32_t dosDateTime, std::string_view centralExtra,
                          std::string_view localExtra);

} // namespace zorvi
