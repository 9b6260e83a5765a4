// Extraction on Windows semantics: file attributes, local last-write times, read-only
// files, drive-rooted entry folders and names outside the ANSI code page, checked
// with the Windows API itself.
#include "zip/UnZip.h"
#include "zip/ZipErrors.h"

#include "tests/native/zip/TestArchive.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace zorvi {
namespace {

using test::TTestEntry;
namespace fs = std::filesystem;

std::wstring Wide(const fs::path& path) {
    return path.wstring();
}

DWORD AttributesOf(const fs::path& path) {
    return GetFileAttributesW(Wide(path).c_str());
}

SYSTEMTIME LocalWriteTime(const fs::path& path) {
    SYSTEMTIME st{};
    WIN32_FILE_ATTRIBUTE_DATA data{};
    FILETIME local{};
    if (GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data) &&
        FileTimeToLocalFileTime(&data.ftLastWriteTime, &local)) {
        FileTimeToSystemTime(&local, &st);
    }
    return st;
}

struct TWinFixture {
    test::TTempDir Dir;
    TUnZip UnZip;
    std::vector<TSkipReason> Skips;

    explicit TWinFixture(const std::vector<TTestEntry>& entries, bool zip64End = false) {
        test::WriteFile(Dir.Path() / "a.zip", test::BuildArchive(entries, "", zip64End).Bytes);
        UnZip.SetZipName(Dir.Text("a.zip"));
        UnZip.SetDestDir(Dir.Text("out"));
        UnZip.DoAll = true;
        UnZip.RecreateDirs = true;
        UnZip.OverwriteMode = TUZOverwriteMode::Always;
        UnZip.OnSkippingFile = [this](TUnZip&, TSkipReason reason, const std::string&, int, bool&) {
            Skips.push_back(reason);
        };
    }
    fs::path Out(const std::string& relative) const {
        return Dir.Path() / "out" / fs::path(std::u8string(relative.begin(), relative.end()));
    }
};

TEST(WinExtract, FilesGetTheArchivedLocalTimeAndAttributes) {
    TWinFixture f(
        std::vector<TTestEntry>{{.Name = "plain.txt", .Data = "p"},
                                {.Name = "ro.txt", .Data = "r", .ExternalAttributes = 0x21},
                                {.Name = "hidden.txt", .Data = "h", .ExternalAttributes = 0x22}});
    EXPECT_EQ(f.UnZip.ExtractFiles(), 3);
    const SYSTEMTIME t = LocalWriteTime(f.Out("plain.txt"));
    EXPECT_EQ(t.wYear, 2005);
    EXPECT_EQ(t.wMonth, 2);
    EXPECT_EQ(t.wDay, 2);
    EXPECT_EQ(t.wHour, 10);
    EXPECT_EQ(t.wMinute, 0);
    EXPECT_EQ(t.wSecond, 0);
    EXPECT_EQ(AttributesOf(f.Out("plain.txt")) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_EQ(AttributesOf(f.Out("ro.txt")) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE),
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_NE(AttributesOf(f.Out("hidden.txt")) & FILE_ATTRIBUTE_HIDDEN, 0u);
}

TEST(WinExtract, RetainAttributesOffLeavesTheSystemsAttributes) {
    TWinFixture f(
        std::vector<TTestEntry>{{.Name = "ro.txt", .Data = "r", .ExternalAttributes = 0x21}});
    f.UnZip.RetainAttributes = false;
    EXPECT_EQ(f.UnZip.ExtractFiles(), 1);
    EXPECT_EQ(AttributesOf(f.Out("ro.txt")) & FILE_ATTRIBUTE_READONLY, 0u);
}

TEST(WinExtract, ReadOnlyFileIsReplacedOnlyWithReplaceReadOnly) {
    for (const bool replace : {true, false}) {
        TWinFixture f(std::vector<TTestEntry>{{.Name = "f.txt", .Data = "new"}});
        fs::create_directories(f.Dir.Path() / "out");
        test::WriteFile(f.Out("f.txt"), "old");
        ASSERT_TRUE(SetFileAttributesW(Wide(f.Out("f.txt")).c_str(), FILE_ATTRIBUTE_READONLY));
        f.UnZip.ReplaceReadOnly = replace;
        EXPECT_EQ(f.UnZip.ExtractFiles(), replace ? 1 : 0);
        EXPECT_EQ(test::ReadFile(f.Out("f.txt")), replace ? "new" : "old");
        if (!replace) {
            ASSERT_EQ(f.Skips.size(), 1u);
            EXPECT_EQ(f.Skips[0], TSkipReason::srCreateError);
        }
        SetFileAttributesW(Wide(f.Out("f.txt")).c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

TEST(WinExtract, ReadOnlyFileFailingItsCrcIsStillRemoved) {
    TWinFixture f(std::vector<TTestEntry>{
        {.Name = "bad.txt", .Data = "b", .ExternalAttributes = 0x21, .Crc = 1u}});
    EXPECT_EQ(f.UnZip.ExtractFiles(), 0);
    EXPECT_EQ(AttributesOf(f.Out("bad.txt")), INVALID_FILE_ATTRIBUTES);
}

TEST(WinExtract, NewerAndOlderCompareWithTheFilesTime) {
    for (const bool fileIsOlder : {true, false}) {
        TWinFixture f(std::vector<TTestEntry>{{.Name = "f.txt", .Data = "new"}});
        fs::create_directories(f.Dir.Path() / "out");
        test::WriteFile(f.Out("f.txt"), "old");
        SYSTEMTIME st{};
        st.wYear = fileIsOlder ? 2001 : 2009;
        st.wMonth = 6;
        st.wDay = 1;
        FILETIME local{};
        FILETIME utc{};
        SystemTimeToFileTime(&st, &local);
        LocalFileTimeToFileTime(&local, &utc);
        HANDLE h = CreateFileW(Wide(f.Out("f.txt")).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                               nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        SetFileTime(h, nullptr, nullptr, &utc);
        CloseHandle(h);
        f.UnZip.OverwriteMode = TUZOverwriteMode::ifNewer;
        f.UnZip.ExtractFiles();
        EXPECT_EQ(test::ReadFile(f.Out("f.txt")), fileIsOlder ? "new" : "old");
    }
}

TEST(WinExtract, RootedFoldersLandBelowTheDestination) {
    TWinFixture f(std::vector<TTestEntry>{{.Name = "C:\\tmp\\rooted.txt", .Data = "c"},
                                          {.Name = "/abs/slash.txt", .Data = "s"},
                                          {.Name = "..\\up.txt", .Data = "u"}});
    EXPECT_EQ(f.UnZip.ExtractFiles(), 2);
    EXPECT_EQ(test::ReadFile(f.Out("tmp/rooted.txt")), "c");
    EXPECT_EQ(test::ReadFile(f.Out("abs/slash.txt")), "s");
    EXPECT_FALSE(fs::exists(f.Dir.Path() / "up.txt"));
    EXPECT_EQ(f.Skips, std::vector<TSkipReason>{TSkipReason::srCreateError});
}

TEST(WinExtract, NamesOutsideTheAnsiCodePageSurvive) {
    TWinFixture f(std::vector<TTestEntry>{
        {.Name = "Прошивка/日本語 ёлка.txt", .Data = "u", .Flags = 0x0800}});
    EXPECT_EQ(f.UnZip.ExtractFiles(), 1);
    EXPECT_NE(AttributesOf(f.Out("Прошивка/日本語 ёлка.txt")), INVALID_FILE_ATTRIBUTES);
}

// The 64-bit sizes, offsets and counts of the ZIP64 records, in the 32-bit build too.
TEST(WinExtract, Zip64RecordsAreRead) {
    TWinFixture f(
        std::vector<TTestEntry>{
            {.Name = "a.txt", .Data = "alpha", .Zip64Slots = test::kSlotSize | test::kSlotOffset},
            {.Name = "sub/b.bin", .Data = std::string(70000, 'b'), .Method = 8, .Zip64Slots = 15}},
        true);
    EXPECT_EQ(f.UnZip.ExtractFiles(), 2);
    EXPECT_EQ(f.UnZip.EndRecord.TotalEntries, 2u);
    EXPECT_EQ(test::ReadFile(f.Out("a.txt")), "alpha");
    EXPECT_EQ(test::ReadFile(f.Out("sub/b.bin")), std::string(70000, 'b'));
}

TEST(WinExtract, ArchiveIsSharedForReadingButNotForWriting) {
    TWinFixture f(std::vector<TTestEntry>{{.Name = "f.txt", .Data = "x"}});
    f.UnZip.KeepZipOpen = true;
    f.UnZip.ReadZipDirectory();
    ASSERT_NE(f.UnZip.ArchiveStream(), nullptr);
    const std::wstring path = Wide(f.Dir.Path() / "a.zip");
    HANDLE reader = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(reader, INVALID_HANDLE_VALUE);
    CloseHandle(reader);
    HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    if (writer != INVALID_HANDLE_VALUE) {
        CloseHandle(writer);
    }
    f.UnZip.ResetArchive();
}

} // namespace
} // namespace zorvi
