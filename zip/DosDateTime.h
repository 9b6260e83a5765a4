// MS-DOS dates and times, as ZIP headers carry them, and the floating-point date
// the component compares them in.
//
// Bit layout of a packed MS-DOS date and time (32 bits, time in the low half):
//   bits  0- 4  second / 2 (0..29)       bits 16-20  day (1..31)
//   bits  5-10  minute (0..59)           bits 21-24  month (1..12)
//   bits 11-15  hour (0..23)             bits 25-31  year - 1980 (0..127)
//
// The floating-point date counts days since 30 December 1899, with the time of day
// as the fraction (the date type of the system this component comes from).
#pragma once

#include <cstdint>

namespace zorvi {

/// A calendar date and time of day (local time), broken down.
struct TLocalDateTime {
    int Year = 1980;
    int Month = 1;
    int Day = 1;
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    int Nanosecond = 0;
};

/// Clamps hour to 23, minute and second to 59, year to 1980..2099, month to 1..12
/// and day to 1..31. A value that needs no clamp comes back bit for bit; otherwise
/// it is packed again from the clamped parts (so a second of 60 or 62 becomes 58).
std::uint32_t FixDosDateTime(std::uint32_t dosDateTime);

TLocalDateTime UnpackDosDateTime(std::uint32_t dosDateTime);
/// Packs (seconds halved); years outside 1980..2107 are clamped to that range.
std::uint32_t PackDosDateTime(const TLocalDateTime& time);

/// Days since 30 December 1899 plus the time as a fraction; 0 for an impossible
/// date (a day past the end of its month, a month outside 1..12).
double DateTimeValue(const TLocalDateTime& time);
double DosDateTimeToDate(std::uint32_t dosDateTime);

} // namespace zorvi
