#include "zip/DosDateTime.h"

#include <algorithm>

namespace zorvi {
namespace {

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1 January 1 to the given date (proleptic Gregorian calendar).
long DaysFromCivil(int year, int month, int day) {
    long days = day;
    for (int m = 1; m < month; ++m) {
        days += DaysInMonth(year, m);
    }
    const long y = year - 1;
    return days + y * 365 + y / 4 - y / 100 + y / 400;
}

// 30 December 1899, day 0 of the floating-point date.
const long kDateOrigin = DaysFromCivil(1899, 12, 30);

} // namespace

TLocalDateTime UnpackDosDateTime(std::uint32_t dos) {
    TLocalDateTime t;
    t.Second = static_cast<int>(dos & 0x1F) * 2;
    t.Minute = static_cast<int>((dos >> 5) & 0x3F);
    t.Hour = static_cast<int>((dos >> 11) & 0x1F);
    t.Day = static_cast<int>((dos >> 16) & 0x1F);
    t.Month = static_cast<int>((dos >> 21) & 0x0F);
    t.Year = static_cast<int>((dos >> 25) & 0x7F) + 1980;
    return t;
}

std::uint32_t PackDosDateTime(const TLocalDateTime& t) {
    const auto part = [](int value, int low, int high) {
        return static_cast<std::uint32_t>(std::clamp(value, low, high));
    };
    return part(t.Second / 2, 0, 29) | (part(t.Minute, 0, 63) << 5) | (part(t.Hour, 0, 31) << 11) |
           (part(t.Day, 0, 31) << 16) | (part(t.Month, 0, 15) << 21) |
           (part(t.Year - 1980, 0, 127) << 25);
}

std::uint32_t FixDosDateTime(std::uint32_t dos) {
    TLocalDateTime t = UnpackDosDateTime(dos);
    const TLocalDateTime original = t;
    t.Hour = std::min(t.Hour, 23);
    t.Minute = std::min(t.Minute, 59);
    t.Second = std::min(t.Second, 59);
    t.Year = std::clamp(t.Year, 1980, 2099);
    t.Month = std::clamp(t.Month, 1, 12);
    t.Day = std::clamp(t.Day, 1, 31);
    const bool clamped = t.Hour != original.Hour || t.Minute != original.Minute ||
                         t.Second != original.Second || t.Year != original.Year ||
                         t.Month != original.Month || t.Day != original.Day;
    return clamped ? PackDosDateTime(t) : dos;
}

double DateTimeValue(const TLocalDateTime& t) {
    if (t.Month < 1 || t.Month > 12 || t.Day < 1 || t.Day > DaysInMonth(t.Year, t.Month) ||
        t.Hour > 23 || t.Minute > 59 || t.Second > 59) {
        return 0.0;
    }
    const double days = static_cast<double>(DaysFromCivil(t.Year, t.Month, t.Day) - kDateOrigin);
    const double seconds =
        t.Hour * 3600.0 + t.Minute * 60.0 + t.Second + t.Nanosecond / 1'000'000'000.0;
    return days + seconds / 86400.0;
}

double DosDateTimeToDate(std::uint32_t dos) {
    return DateTimeValue(UnpackDosDateTime(dos));
}

} // namespace zorvi
