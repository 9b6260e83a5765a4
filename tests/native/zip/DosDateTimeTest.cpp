#include "zip/DosDateTime.h"

#include "TestArchive.h"

#include <gtest/gtest.h>

namespace zorvi {
namespace {

std::uint32_t Pack(int year, int month, int day, int hour, int minute, int secondField) {
    return (static_cast<std::uint32_t>(year - 1980) << 25) |
           (static_cast<std::uint32_t>(month) << 21) | (static_cast<std::uint32_t>(day) << 16) |
           (static_cast<std::uint32_t>(hour) << 11) | (static_cast<std::uint32_t>(minute) << 5) |
           static_cast<std::uint32_t>(secondField);
}

TEST(FixDosDateTime, KeepsValidValuesBitForBit) {
    EXPECT_EQ(FixDosDateTime(test::kDos20050202), test::kDos20050202);
    // 31 February is not a date, but no field is out of its range: kept as it is.
    const std::uint32_t february31 = Pack(2001, 2, 31, 23, 59, 29);
    EXPECT_EQ(FixDosDateTime(february31), february31);
}

TEST(FixDosDateTime, ClampsEachFieldAndRepacks) {
    struct TCase {
        std::uint32_t In;
        std::uint32_t Out;
    };
    const TCase cases[] = {
        {Pack(2000, 13, 5, 10, 0, 0), Pack(2000, 12, 5, 10, 0, 0)}, // month 13
        {Pack(2000, 0, 5, 10, 0, 0), Pack(2000, 1, 5, 10, 0, 0)},   // month 0
        {Pack(2000, 5, 0, 10, 0, 0), Pack(2000, 5, 1, 10, 0, 0)},   // day 0
        {Pack(2000, 5, 5, 24, 0, 0), Pack(2000, 5, 5, 23, 0, 0)},   // hour 24
        {Pack(2000, 5, 5, 31, 63, 0), Pack(2000, 5, 5, 23, 59, 0)}, // hour 31, minute 63
        {Pack(2000, 5, 5, 10, 0, 30), Pack(2000, 5, 5, 10, 0, 29)}, // second 60 -> 58
        {Pack(2000, 5, 5, 10, 0, 31), Pack(2000, 5, 5, 10, 0, 29)}, // second 62 -> 58
        {Pack(2100, 5, 5, 10, 0, 0), Pack(2099, 5, 5, 10, 0, 0)},   // year field 120
        {Pack(2107, 15, 5, 10, 0, 0), Pack(2099, 12, 5, 10, 0, 0)}, // year 127, month 15
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(FixDosDateTime(c.In), c.Out) << std::hex << c.In;
    }
}

TEST(DosDateTime, DateValuesCountDaysSince1899) {
    EXPECT_DOUBLE_EQ(DateTimeValue({1899, 12, 30, 0, 0, 0, 0}), 0.0);
    EXPECT_DOUBLE_EQ(DateTimeValue({1900, 1, 1, 12, 0, 0, 0}), 2.5);
    // 2 February 2005 is day 38385.
    EXPECT_NEAR(DosDateTimeToDate(test::kDos20050202), 38385.0 + 10.0 / 24.0, 1e-9);
    EXPECT_EQ(DosDateTimeToDate(Pack(2001, 2, 30, 0, 0, 0)), 0.0); // impossible date
    EXPECT_EQ(PackDosDateTime(UnpackDosDateTime(test::kDos20050202)), test::kDos20050202);
}

} // namespace
} // namespace zorvi
