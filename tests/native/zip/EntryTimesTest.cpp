// Exact modification times from the extra fields: the extended timestamp with some of its
// flags, the NTFS field among attributes of other tags, and which field wins.
#include "zip/EntryTimes.h"

#include "TestArchive.h"

#include <gtest/gtest.h>

namespace zorvi {
namespace {

using test::NtfsField;
using test::NtfsTicks;
using test::NtfsTimes;
using test::TimestampField;

std::optional<TUtcTime> TimeOf(const std::string& extra) {
    return ExtraFieldModificationTime(extra);
}

TEST(EntryTimes, TimestampFieldHasAModificationTimeOnlyWhereItsFlagSaysSo) {
    // A local header's field with all three times, and a central header's copy: flags of
    // the local header, the modification time alone.
    EXPECT_EQ(TimeOf(TimestampField(0x07, {1'600'000'001, 5, 6})), (TUtcTime{1'600'000'001, 0}));
    EXPECT_EQ(TimeOf(TimestampField(0x03, {1'600'000'001})), (TUtcTime{1'600'000'001, 0}));
    // Access or creation time only: the first time is no modification time.
    EXPECT_EQ(TimeOf(TimestampField(0x02, {1'600'000'001})), std::nullopt);
    EXPECT_EQ(TimeOf(TimestampField(0x06, {1'600'000'001, 7})), std::nullopt);
    // Flagged, but cut before the time.
    EXPECT_EQ(TimeOf(TimestampField(0x01, {})), std::nullopt);
    // Signed seconds: a file of 1969.
    EXPECT_EQ(TimeOf(TimestampField(0x01, {-86'400})), (TUtcTime{-86'400, 0}));
    EXPECT_EQ(TimeOf(""), std::nullopt);
}

TEST(EntryTimes, NtfsFieldFindsItsTimesAmongOtherTags) {
    const std::string times = NtfsTimes(NtfsTicks(1'600'000'001, 1'234'567), 1, 2);
    EXPECT_EQ(TimeOf(NtfsField({{0x0001, times}})), (TUtcTime{1'600'000'001, 123'456'700}));
    EXPECT_EQ(TimeOf(NtfsField({{0x0002, "abcdef"}, {0x7FFF, ""}, {0x0001, times}})),
              (TUtcTime{1'600'000'001, 123'456'700}));
    // Tag 1 too short for its three times, or running past the field; no tag 1 at all.
    EXPECT_EQ(TimeOf(NtfsField({{0x0001, times.substr(0, 16)}})), std::nullopt);
    std::string cut = NtfsField({{0x0001, times}});
    cut[2] = static_cast<char>(cut[2] - 1); // the field's size one short of its attribute
    EXPECT_EQ(TimeOf(cut.substr(0, cut.size() - 1)), std::nullopt);
    EXPECT_EQ(TimeOf(NtfsField({{0x0002, times}})), std::nullopt);
    // 1601 itself, and an unset (zero) time.
    EXPECT_EQ(TimeOf(NtfsField({{0x0001, NtfsTimes(1, 0, 0)}})),
              (TUtcTime{-11'644'473'600LL, 100}));
    EXPECT_EQ(TimeOf(NtfsField({{0x0001, NtfsTimes(0, 1, 2)}})), std::nullopt);
}

TEST(EntryTimes, NtfsTimeWinsAndAnUnusableOneLeavesTheTimestamp) {
    const std::string ntfs = NtfsField({{0x0001, NtfsTimes(NtfsTicks(1'000'000'000, 5), 0, 0)}});
    const std::string timestamp = TimestampField(0x01, {1'500'000'000});
    EXPECT_EQ(TimeOf(timestamp + ntfs), (TUtcTime{1'000'000'000, 500}));
    EXPECT_EQ(TimeOf(ntfs + timestamp), (TUtcTime{1'000'000'000, 500}));
    EXPECT_EQ(TimeOf(NtfsField({{0x0002, "x"}}) + timestamp), (TUtcTime{1'500'000'000, 0}));
}

} // namespace
} // namespace zorvi
