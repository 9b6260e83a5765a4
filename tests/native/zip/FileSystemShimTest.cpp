// The POSIX file-system shim: local file dates in time zones with daylight saving, exact UTC
// times, and attributes and permissions set on real files.
#include "zip/FileSystemShim.h"
#include "zip/DosDateTime.h"

#include "TestArchive.h"
#include "TimeZone.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <sys/stat.h>

namespace zorvi {
namespace {

using test::TTimeZone;

std::uint32_t Dos(int year, int month, int day, int hour, int minute, int second) {
    return PackDosDateTime({year, month, day, hour, minute, second, 0});
}

/// What mktime makes of the local time, letting the zone's rules choose daylight saving.
std::time_t MkTime(std::uint32_t dos, int isDst = -1) {
    const TLocalDateTime t = UnpackDosDateTime(dos);
    std::tm local{};
    local.tm_year = t.Year - 1900;
    local.tm_mon = t.Month - 1;
    local.tm_mday = t.Day;
    local.tm_hour = t.Hour;
    local.tm_min = t.Minute;
    local.tm_sec = t.Second;
    local.tm_isdst = isDst;
    return std::mktime(&local);
}

std::time_t ModificationTime(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0);
    return st.st_mtim.tv_sec;
}

TEST(FileSystemShim, FileDatesAreLocalTimeOnBothSidesOfDaylightSavingChanges) {
    test::TTempDir dir;
    const std::string path = dir.Text("dated.txt");
    test::WriteFile(path, "x");
    TFileSystemShim& shim = SystemFileSystem();
    // Berlin moves by an hour at 02:00/03:00 local time, Lord Howe Island by half an hour.
    for (const char* zone : {"Europe/Berlin", "Australia/Lord_Howe", "UTC"}) {
        const TTimeZone inZone(zone);
        SCOPED_TRACE(zone);
        for (const std::uint32_t dos :
             {Dos(2026, 1, 15, 10, 30, 0), Dos(2026, 7, 15, 10, 30, 0), Dos(1980, 1, 1, 0, 0, 0),
              Dos(2099, 12, 31, 23, 59, 58), Dos(2026, 3, 29, 1, 59, 58), Dos(2026, 3, 29, 3, 0, 0),
              Dos(2026, 10, 25, 1, 59, 58), Dos(2026, 10, 25, 3, 0, 0), Dos(2026, 4, 5, 1, 45, 0),
              Dos(2026, 4, 5, 2, 30, 0), Dos(2026, 10, 4, 1, 59, 58), Dos(2026, 10, 4, 2, 30, 0)}) {
            ASSERT_TRUE(shim.SetFileDosTime(path, dos));
            const std::time_t got = ModificationTime(path);
            // An hour that comes twice (the change back) may be either of the two.
            const bool asMkTime = got == MkTime(dos);
            const bool eitherRepeat = got == MkTime(dos, 0) || got == MkTime(dos, 1);
            EXPECT_TRUE(asMkTime || (eitherRepeat && MkTime(dos, 0) != MkTime(dos, 1)))
                << std::hex << dos << std::dec << ": " << got << " for " << MkTime(dos);
            // Read back in the same zone, the file shows the date it was given.
            const auto back = shim.FileTime(path);
            ASSERT_TRUE(back.has_value());
            EXPECT_EQ(PackDosDateTime(*back), dos) << std::hex << dos;
        }
    }
}

TEST(FileSystemShim, ReadOnlyAttributeActsOnTheWriteBitsOnly) {
    test::TTempDir dir;
    const std::string path = dir.Text("a.bin");
    test::WriteFile(path, "x");
    TFileSystemShim& shim = SystemFileSystem();
    chmod(path.c_str(), 0640);
    EXPECT_TRUE(shim.SetAttributes(path, kAttrArchive)); // already writable: nothing changes
    EXPECT_EQ(shim.Attributes(path), kAttrArchive);
    EXPECT_TRUE(shim.SetAttributes(path, kAttrArchive | kAttrReadOnly));
    EXPECT_EQ(shim.Attributes(path), kAttrArchive | kAttrReadOnly);
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0440u);
    EXPECT_TRUE(shim.SetAttributes(path, kAttrReadOnly)); // already read-only
    EXPECT_TRUE(shim.SetAttributes(path, 0));
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_FALSE(shim.SetAttributes(dir.Text("missing"), 0));
    EXPECT_FALSE(shim.SetFileDosTime(dir.Text("missing"), Dos(2026, 1, 1, 0, 0, 0)));
}

TEST(FileSystemShim, UtcTimesToTheNanosecondAndPermissionBitsOnly) {
    test::TTempDir dir;
    const std::string path = dir.Text("exact.bin");
    test::WriteFile(path, "x");
    TFileSystemShim& shim = SystemFileSystem();
    const TTimeZone inZone("Asia/Novosibirsk");
    for (const TUtcTime time : {TUtcTime{1'700'000'001, 123'456'700}, TUtcTime{-86'400, 0}}) {
        ASSERT_TRUE(shim.SetFileUtcTime(path, time));
        struct stat st {};
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mtim.tv_sec, time.Seconds);
        EXPECT_EQ(st.st_mtim.tv_nsec, static_cast<long>(time.Nanoseconds));
    }
    for (const auto& [mode, expected] :
         {std::pair{0100755u, 0755u}, {0104755u, 0755u}, {0107777u, 0777u}, {0100444u, 0444u}}) {
        ASSERT_TRUE(shim.SetUnixPermissions(path, mode));
        struct stat st {};
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, expected) << std::oct << mode;
    }
    EXPECT_FALSE(shim.SetFileUtcTime(dir.Text("missing"), TUtcTime{0, 0}));
    EXPECT_FALSE(shim.SetUnixPermissions(dir.Text("missing"), 0644));
}

TEST(FileSystemShim, NewFilesGetTheBitsTheUmaskLeaves) {
    test::TTempDir dir;
    const mode_t saved = umask(027);
    const auto bits = SystemFileSystem().NewFilePermissions();
    test::WriteFile(dir.Path() / "new", "x");
    umask(saved);
    ASSERT_TRUE(bits) << "the umask is readable on Linux";
    EXPECT_EQ(*bits, 0640u);
    struct stat st {};
    ASSERT_EQ(stat(dir.Text("new").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, *bits);
}

} // namespace
} // namespace zorvi
