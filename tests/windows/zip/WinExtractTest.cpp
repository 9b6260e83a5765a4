// Extraction on Windows semantics: file attributes, local last-write times, exact UTC times
// from the extra fields, read-only files, drive-rooted entry folders, names (raw UTF-8,
// Unicode Path fields, outside the ANSI code page) as the system lists them and the
// Deflate64 archive 7-Zip made, checked with the Windows API itself.
#include "zip/UnZip.h"
#include "zip/ZipErrors.h"

#include "tests/native/zip/TestArchive.h"

#include <gtest/gtest.h>

#include <set>

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

/// The names the system lists in a folder.
std::set<std::wstring> NamesIn(const fs::path& folder) {
    std::set<std::wstring> names;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(Wide(folder / L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") {
            names.insert(name);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

/// The last-write time in 100 ns ticks since 1601 (UTC), as the system keeps it.
ULONGLONG LastWriteTicks(const fs::path& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) {
        return 0;
    }
    return (static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32) |
           data.ftLastWriteTime.dwLowDateTime;
}

TEST(WinExtract, Utf8NamesComeOutAsTheSystemListsThem) {
    const std::string pribor866 = "\x8F\xE0\xA8\xA1\xAE\xE0"; // "Прибор" in 866
    const std::string legacy = "dos/" + pribor866 + ".txt";
    TWinFixture f(std::vector<TTestEntry>{
        {.Name = "ru/Привет.txt", .Data = "a"}, // raw UTF-8 from Unix, flag bit 11 clear
        {.Name = legacy,
         .Data = "b",
         .VersionMadeBy = 0x0014,
         .CentralExtra = test::UnicodeField(0x7075, legacy, "dos/Прибор 日本 \U0001F600.txt")},
        {.Name = "dos/" + pribor866, .Data = "c", .VersionMadeBy = 0x0014},
        {.Name = "stale/" + pribor866,
         .Data = "d",
         .VersionMadeBy = 0x0014,
         .CentralExtra = test::UnicodeField(0x7075, "stale/old", "stale/Старое")},
    });
    EXPECT_EQ(f.UnZip.ExtractFiles(), 4);
    const fs::path out = f.Dir.Path() / "out";
    EXPECT_EQ(NamesIn(out / L"ru"), std::set<std::wstring>{L"Привет.txt"});
    EXPECT_EQ(NamesIn(out / L"dos"),
              (std::set<std::wstring>{L"Прибор 日本 \U0001F600.txt", L"Прибор"}));
    EXPECT_EQ(NamesIn(out / L"stale"), std::set<std::wstring>{L"Прибор"});
    EXPECT_EQ(test::ReadFile(out / L"dos" / L"Прибор 日本 \U0001F600.txt"), "b");
}

TEST(WinExtract, ExactTimesAndUnixModesGoThroughTheSystemsCalls) {
    // Wine takes its zone from the process's TZ, which the test sets far from UTC.
    TIME_ZONE_INFORMATION zone{};
    GetTimeZoneInformation(&zone);
    EXPECT_EQ(zone.Bias, -7 * 60) << "the test runs in Asia/Novosibirsk";
    const std::int32_t t = 1'600'000'001;
    TWinFixture f(std::vector<TTestEntry>{
        {.Name = "ut.txt", .Data = "a", .CentralExtra = test::TimestampField(0x03, {t})},
        {.Name = "ntfs.txt",
         .Data = "b",
         .VersionMadeBy = 0x0A14,
         .CentralExtra =
             test::NtfsField({{0x0001, test::NtfsTimes(test::NtfsTicks(t, 1'234'567), 0, 0)}})},
        {.Name = "unix-ro.txt", .Data = "c", .ExternalAttributes = 0100444u << 16},
        {.Name = "unix-rwx.sh", .Data = "d", .ExternalAttributes = 0100755u << 16},
        {.Name = "link", .Data = "ut.txt", .ExternalAttributes = 0120777u << 16},
    });
    EXPECT_EQ(f.UnZip.ExtractFiles(), 5);
    EXPECT_EQ(LastWriteTicks(f.Out("ut.txt")), test::NtfsTicks(t));
    EXPECT_EQ(LastWriteTicks(f.Out("ntfs.txt")), test::NtfsTicks(t, 1'234'567));
    EXPECT_NE(AttributesOf(f.Out("unix-ro.txt")) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_EQ(AttributesOf(f.Out("unix-rwx.sh")) & FILE_ATTRIBUTE_READONLY, 0u);
    // A link is a file holding its target's text, not a reparse point.
    EXPECT_EQ(AttributesOf(f.Out("link")) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
    EXPECT_EQ(test::ReadFile(f.Out("link")), "ut.txt");
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

/// The whole file as the system reads it back; empty when it cannot be opened or read.
std::string ReadWithWindows(const fs::path& path) {
    const HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return {};
    }
    std::string bytes;
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) {
        bytes.append(chunk, got);
    }
    CloseHandle(file);
    return bytes;
}

TEST(WinExtract, Deflate64EntriesComeOutWithTheirSizesAndCrcs) {
    // tests/data/deflate64/README.md: sizes and CRC-32 values as 7-Zip lists them.
    const std::pair<const char*, std::pair<std::size_t, std::uint32_t>> expected[] = {
        {"distances.bin", {62192, 0xa533f3f6u}}, {"runs.txt", {178207, 0xc85fb4a4u}}};
    test::TTempDir dir;
    TUnZip unzip;
    unzip.SetZipName(test::TestDataPath("deflate64/7z-deflate64.zip").string());
    unzip.SetDestDir(dir.Text("out"));
    unzip.DoAll = true;
    unzip.OverwriteMode = TUZOverwriteMode::Always;
    std::vector<TSkipReason> skips;
    unzip.OnSkippingFile = [&](TUnZip&, TSkipReason reason, const std::string&, int, bool&) {
        skips.push_back(reason);
    };
    EXPECT_EQ(unzip.ExtractFiles(), 2);
    EXPECT_TRUE(skips.empty());
    for (const auto& [name, sizeAndCrc] : expected) {
        const fs::path file = dir.Path() / "out" / name;
        WIN32_FILE_ATTRIBUTE_DATA data{};
        ASSERT_TRUE(GetFileAttributesExW(Wide(file).c_str(), GetFileExInfoStandard, &data)) << name;
        EXPECT_EQ(data.nFileSizeHigh, 0u) << name;
        EXPECT_EQ(data.nFileSizeLow, sizeAndCrc.first) << name;
        const std::string bytes = ReadWithWindows(file);
        EXPECT_EQ(bytes.size(), sizeAndCrc.first) << name;
        EXPECT_EQ(test::Crc32Of(bytes), sizeAndCrc.second) << name;
    }
}

} // namespace
} // namespace zorvi
