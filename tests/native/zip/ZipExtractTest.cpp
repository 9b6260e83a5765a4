#include "common/CodePage.h"
#include "zip/UnZip.h"
#include "zip/ZipErrors.h"
#include "zip/decoders/ZipCipher.h"

#include "TestArchive.h"
#include "TimeZone.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>
#include <ctime>

namespace zorvi {
namespace {

using test::BuildArchive;
using test::ReadFile;
using test::TTempDir;
using test::TTestEntry;
namespace fs = std::filesystem;

// The message boxes of a test: answers from a script, texts recorded.
class TScriptedBoxes : public TMessageBoxes {
public:
    int ShowMessageBox(const std::string& text, const std::string& caption,
                       unsigned style) override {
        Shown.push_back(caption + "|" + text + "|" + std::to_string(style));
        return Answer;
    }
    std::vector<std::string> Shown;
    int Answer = kIdOk;
};

struct TFixture {
    TTempDir Dir;
    TUnZip UnZip;
    std::vector<std::string> Events;

    explicit TFixture(const std::vector<TTestEntry>& entries, const std::string& comment = "") {
        test::WriteFile(Dir.Path() / "a.zip", BuildArchive(entries, comment).Bytes);
        UnZip.SetZipName(Dir.Text("a.zip"));
        UnZip.SetDestDir(Dir.Text("out"));
        UnZip.DoAll = true;
        UnZip.RecreateDirs = true;
        UnZip.OverwriteMode = TUZOverwriteMode::Always;
        UnZip.OnStartUnZipInfo = [this](TUnZip&, int n, std::int64_t bytes, bool&) {
            Events.push_back("info " + std::to_string(n) + " " + std::to_string(bytes));
        };
        UnZip.OnStartUnZip = [this](TUnZip&, int i, std::string&, bool&) {
            Events.push_back("start " + std::to_string(i));
        };
        UnZip.OnEndUnZip = [this](TUnZip&, int i, const std::string&) {
            Events.push_back("end " + std::to_string(i));
        };
        UnZip.OnSkippingFile = [this](TUnZip&, TSkipReason r, const std::string& name, int i,
                                      bool&) {
            Events.push_back("skip " + std::to_string(static_cast<int>(r)) + " " +
                             std::to_string(i) + " " + name);
        };
        UnZip.OnBadCRC = [this](TUnZip&, std::uint32_t calc, std::uint32_t stored, int i) {
            char text[64];
            std::snprintf(text, sizeof text, "badcrc %d %08x %08x", i, calc, stored);
            Events.push_back(text);
        };
        UnZip.OnUnZipComplete = [this](TUnZip&, int count) {
            Events.push_back("complete " + std::to_string(count));
        };
        UnZip.OnEntryFailed = [this](TUnZip&, TEntryFailure failure, const std::string&, int i) {
            Events.push_back("failed " + std::to_string(static_cast<int>(failure)) + " " +
                             std::to_string(i));
        };
        UnZip.OnDirectoryRebuilt = [this](TUnZip&) { Events.push_back("rebuilt"); };
        UnZip.OnEntryDropped = [this](TUnZip&, const std::string& name) {
            Events.push_back("dropped " + name);
        };
    }
    fs::path Out(const std::string& relative = "") const { return Dir.Path() / "out" / relative; }
};

const int kSkipCreate = static_cast<int>(TSkipReason::srCreateError);
const int kSkipNoOverwrite = static_cast<int>(TSkipReason::srNoOverwrite);
const int kSkipPassword = static_cast<int>(TSkipReason::srBadPassword);
const std::string kFailedEnd =
    "failed " + std::to_string(static_cast<int>(TEntryFailure::efPrematureEnd));
const std::string kFailedData =
    "failed " + std::to_string(static_cast<int>(TEntryFailure::efIncomplete));
const std::string kFailedSize =
    "failed " + std::to_string(static_cast<int>(TEntryFailure::efSizeMismatch));

bool Has(const std::vector<std::string>& events, const std::string& event) {
    return std::find(events.begin(), events.end(), event) != events.end();
}

TEST(ZipExtract, WritesFilesFoldersDatesAndAttributes) {
    TFixture f(
        std::vector<TTestEntry>{{.Name = "top.txt", .Data = "top"},
                                {.Name = "sub/", .Data = ""},
                                {.Name = "sub/f.txt", .Data = std::string(5000, 'f'), .Method = 8},
                                {.Name = "ro.txt", .Data = "read only", .ExternalAttributes = 0x21},
                                {.Name = "empty/", .Data = ""}});
    EXPECT_EQ(f.UnZip.ExtractFiles(), 5);
    EXPECT_EQ(ReadFile(f.Out("top.txt")), "top");
    EXPECT_EQ(ReadFile(f.Out("sub/f.txt")), std::string(5000, 'f'));
    EXPECT_TRUE(fs::is_directory(f.Out("empty")));
    struct stat st {};
    ASSERT_EQ(stat(f.Out("top.txt").c_str(), &st), 0);
    std::tm local{};
    localtime_r(&st.st_mtime, &local);
    EXPECT_EQ(local.tm_year + 1900, 2005);
    EXPECT_EQ(local.tm_mon + 1, 2);
    EXPECT_EQ(local.tm_mday, 2);
    EXPECT_EQ(local.tm_hour, 10);
    EXPECT_EQ(local.tm_min, 0);
    EXPECT_NE(st.st_mode & S_IWUSR, 0u);
    ASSERT_EQ(stat(f.Out("ro.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & S_IWUSR, 0u) << "0x21 makes the file read-only";
    EXPECT_EQ(f.Events.front(), "info 3 5012");
    EXPECT_EQ(f.Events.back(), "complete 5");
    EXPECT_TRUE(f.UnZip.FilesList.empty());
}

TEST(ZipExtract, ExactTimesHoldInAnyZoneAndUnixModesGiveOnlyPermissionBits) {
    const test::TTimeZone zone("Asia/Novosibirsk");
    ASSERT_EQ(test::TTimeZone::OffsetAt(1'600'000'000), 7 * 3600) << "time zone data missing";
    const std::int32_t t = 1'600'000'001; // odd: an MS-DOS time cannot hold it
    using test::TimestampField;
    TFixture f(std::vector<TTestEntry>{
        {.Name = "ut-central.txt", .Data = "a", .CentralExtra = TimestampField(0x03, {t})},
        {.Name = "ut-local.txt", .Data = "b", .LocalExtra = TimestampField(0x03, {t + 2, 0})},
        {.Name = "ntfs.txt",
         .Data = "c",
         .LocalExtra = TimestampField(0x01, {t + 4}),
         .CentralExtra =
             test::NtfsField({{0x0001, test::NtfsTimes(test::NtfsTicks(t, 9'876'543), 0, 0)}})},
        {.Name = "dos.txt", .Data = "d"},
        {.Name = "script.sh", .Data = "#!/bin/sh\n", .ExternalAttributes = 0100755u << 16},
        {.Name = "setuid", .Data = "e", .ExternalAttributes = 0104755u << 16},
        {.Name = "sticky", .Data = "f", .ExternalAttributes = 0101777u << 16},
        {.Name = "readonly", .Data = "g", .ExternalAttributes = (0100444u << 16) | 0x01},
        {.Name = "link", .Data = "../../outside", .ExternalAttributes = 0120777u << 16},
    });
    EXPECT_EQ(f.UnZip.ExtractFiles(), 9);
    const auto status = [&](const std::string& name) {
        struct stat st {};
        EXPECT_EQ(lstat(f.Out(name).c_str(), &st), 0) << name;
        return st;
    };
    EXPECT_EQ(status("ut-central.txt").st_mtim.tv_sec, t);
    EXPECT_EQ(status("ut-local.txt").st_mtim.tv_sec, t + 2);
    EXPECT_EQ(status("ntfs.txt").st_mtim.tv_sec, t);
    EXPECT_EQ(status("ntfs.txt").st_mtim.tv_nsec, 987'654'300);
    // Without an exact time, the MS-DOS time is local time in this zone.
    std::tm local{.tm_min = 0, .tm_hour = 10, .tm_mday = 2, .tm_mon = 1, .tm_year = 105};
    local.tm_isdst = -1;
    EXPECT_EQ(status("dos.txt").st_mtim.tv_sec, std::mktime(&local));
    EXPECT_EQ(status("script.sh").st_mode & 07777, 0755u);
    EXPECT_EQ(status("setuid").st_mode & 07777, 0755u);
    EXPECT_EQ(status("sticky").st_mode & 07777, 0777u);
    EXPECT_EQ(status("readonly").st_mode & 07777, 0444u);
    // A link is a small file holding its target's text, executable by nobody.
    const struct stat link = status("link");
    EXPECT_TRUE(S_ISREG(link.st_mode));
    EXPECT_EQ(link.st_mode & 0111, 0u);
    EXPECT_EQ(ReadFile(f.Out("link")), "../../outside");
}

TEST(ZipExtract, EventsComeInTheirOrder) {
    TFixture f(
        std::vector<TTestEntry>{{.Name = "a", .Data = "1"}, {.Name = "b", .Data = "2", .Crc = 7u}});
    EXPECT_EQ(f.UnZip.ExtractFiles(), 1);
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08x", test::Crc32Of("2"));
    const std::vector<std::string> expected = {
        "info 2 2",  "start 0", "end 0", "start 1", std::string("badcrc 1 ") + crc + " 00000007",
        "complete 1"};
    EXPECT_EQ(f.Events, expected);
    EXPECT_FALSE(fs::exists(f.Out("b"))); // a file failing its CRC is deleted
}

TEST(ZipExtract, SelectionByMasksAndFolders) {
    const std::vector<TTestEntry> entries = {{.Name = "a/b.TXT", .Data = "1"},
                                             {.Name = "sub/x.txt", .Data = "2"},
                                             {.Name = "y.bin", .Data = "3"},
                                             {.Name = "dir/", .Data = ""}};
    {
        TFixture f(entries);
        f.UnZip.DoAll = false;
        f.UnZip.FilesList = {"*.txt"};
        EXPECT_EQ(f.UnZip.ExtractFiles(), 2);
        EXPECT_TRUE(fs::exists(f.Out("a/b.TXT")));
        EXPECT_TRUE(fs::exists(f.Out("sub/x.txt")));
        EXPECT_FALSE(fs::exists(f.Out("y.bin")));
    }
    {
        TFixture f(entries);
        f.UnZip.DoAll = false; // and no masks: nothing
        EXPECT_EQ(f.UnZip.ExtractFiles(), 0);
        EXPECT_EQ(f.Events.front(), "info 0 0");
    }
    {
        // DoAll without RecreateDirs still processes (and counts) the folder entry.
        TFixture f(entries);
        f.UnZip.RecreateDirs = false;
        EXPECT_EQ(f.UnZip.ExtractFiles(), 4);
        EXPECT_EQ(f.Events.front(), "info 3 3");
        EXPECT_TRUE(fs::exists(f.Out("b.TXT")));
        EXPECT_FALSE(fs::exists(f.Out("dir")));
    }
    {
        TFixture f(std::vector<TTestEntry>{{.Name = "d1/"}, {.Name = "d2/"}});
        EXPECT_EQ(f.UnZip.ExtractFiles(), 0); // no file entry: nothing at all is done
        EXPECT_FALSE(fs::exists(f.Out("d1")));
    }
}

TEST(ZipExtract, RootDirIsStrippedAndQuestionMarkDestDoesNothing) {
    TFixture f(std::vector<TTestEntry>{{.Name = "data/x/y.bin", .Data = "y"}});
    f.UnZip.SetRootDir("data");
    EXPECT_EQ(f.UnZip.RootDir(), "data\\");
    EXPECT_EQ(f.UnZip.ExtractFiles(), 1);
    EXPECT_EQ(ReadFile(f.Out("x/y.bin")), "y");

    TFixture g(std::vector<TTestEntry>{{.Name = "z", .Data = "z"}});
    g.UnZip.SetDestDir("?");
    g.UnZip.FilesList = {"*"};
    EXPECT_EQ(g.UnZip.ExtractFiles(), 0);
    EXPECT_TRUE(g.Events.empty());
    EXPECT_EQ(g.UnZip.FilesList.size(), 1u); // not even the list is touched
}

TEST(ZipExtract, EmptyDestDirIsTheCurrentFolderNeverTheRoot) {
    TFixture f(std::vector<TTestEntry>{{.Name = "top.txt", .Data = "t"},
                                       {.Name = "/rooted/r.txt", .Data = "r"},
                                       {.Name = "C:\\drive\\d.txt", .Data = "d"}});
    const fs::path previous = fs::current_path();
    fs::create_directories(f.Out());
    fs::current_path(f.Out());
    f.UnZip.SetDestDir("");
    const int count = f.UnZip.ExtractFiles();
    fs::current_path(previous);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(ReadFile(f.Out("top.txt")), "t");
    EXPECT_EQ(ReadFile(f.Out("rooted/r.txt")), "r");
    EXPECT_EQ(ReadFile(f.Out("drive/d.txt")), "d");
    EXPECT_FALSE(fs::exists("/rooted/r.txt"));
}

// The entries' data into a sink instead of files: decoded and checked alike, nothing made on
// disk. And entries left out by ExcludeList are not visited, counted or summed.
TEST(ZipExtract, SinkTakesTheDataAndExcludedEntriesAreLeftOut) {
    struct TCollect : TEntrySink {
        std::size_t TakeDecoded(const std::uint8_t* data, std::size_t count) override {
            Bytes.append(reinterpret_cast<const char*>(data), count);
            return count;
        }
        std::string Bytes;
    } sink;
    TFixture f(
        std::vector<TTestEntry>{{.Name = "sub/", .Data = ""},
                                {.Name = "sub/a.txt", .Data = std::string(70000, 'a'), .Method = 8},
                                {.Name = "bad.txt", .Data = "bad", .Crc = 1u},
                                {.Name = "skip/me.txt", .Data = "never"},
                                {.Name = "../outside.txt", .Data = "o"}});
    f.UnZip.Sink = &sink;
    f.UnZip.ExcludeList = {"skip/*"};
    EXPECT_EQ(f.UnZip.ExtractFiles(), 3); // the folder, a.txt, outside.txt
    EXPECT_EQ(sink.Bytes, std::string(70000, 'a') + "bad" + "o");
    EXPECT_FALSE(fs::exists(f.Out()));
    EXPECT_FALSE(fs::exists(f.Dir.Path() / "outside.txt"));
    EXPECT_EQ(f.Events[0], "info 3 70004");
    EXPECT_TRUE(Has(f.Events, "end 1"));
    EXPECT_FALSE(Has(f.Events, "start 3"));
    EXPECT_TRUE(f.UnZip.ExcludeList.empty());

    // A sink that refuses bytes is a failed write: the run ends.
    struct TFull : TEntrySink {
        std::size_t TakeDecoded(const std::uint8_t*, std::size_t count) override {
            return count / 2;
        }
    } full;
    TFixture g(std::vector<TTestEntry>{{.Name = "a.txt", .Data = "aaaa"}});
    g.UnZip.Sink = &full;
    EXPECT_THROW(g.UnZip.ExtractFiles(), ECantWriteUCF);
}

TEST(ZipExtract, PathsLeavingTheDestinationAreRefused) {
    TFixture f(std::vector<TTestEntry>{{.Name = "../evil.txt", .Data = "e"},
                                       {.Name = "a/../../evil2.txt", .Data = "e"},
                                       {.Name = "a\\..\\..\\evil3.txt", .Data = "e"},
                                       {.Name = "../", .Data = ""},
                                       // Drive-relative names, as a Windows host stores them
                                       {.Name = "C:..\\victim.txt", .Data = "v"},
                                       {.Name = "C:../evil4.txt", .Data = "e"},
                                       {.Name = "x:..\\sub\\evil5.txt", .Data = "e"},
                                       {.Name = "fine/ok.txt", .Data = "ok"}});
    EXPECT_EQ(f.UnZip.ExtractFiles(), 1);
    for (const char* outside :
         {"evil.txt", "evil2.txt", "evil3.txt", "victim.txt", "evil4.txt", "sub/evil5.txt"}) {
        EXPECT_FALSE(fs::exists(f.Dir.Path() / outside)) << outside;
    }
    EXPECT_EQ(std::count_if(f.Events.begin(), f.Events.end(),
                            [](const std::string& e) {
                                return e.rfind("skip " + std::to_string(kSkipCreate), 0) == 0;
                            }),
              7);
    EXPECT_EQ(ReadFile(f.Out("fine/ok.txt")), "ok");
}

TEST(ZipExtract, OverwriteModes) {
    const std::vector<TTestEntry> entries = {{.Name = "f.txt", .Data = "new"}};
    const auto prepare = [](TFixture& f, std::time_t when) {
        fs::create_directories(f.Out());
        test::WriteFile(f.Out("f.txt"), "old");
        const struct timespec times[2] = {{when, 0}, {when, 0}};
        utimensat(AT_FDCWD, f.Out("f.txt").c_str(), times, 0);
    };
    const std::time_t y2000 = 946728000; // 1 January 2000, noon UTC
    const std::time_t y2010 = 1262347200;
    struct TCase {
        TUZOverwriteMode Mode;
        std::time_t FileTime;
        const char* Expected;
    };
    const TCase cases[] = {
        {TUZOverwriteMode::Never, y2000, "old"},   {TUZOverwriteMode::Always, y2010, "new"},
        {TUZOverwriteMode::ifNewer, y2000, "new"}, {TUZOverwriteMode::ifNewer, y2010, "old"},
        {TUZOverwriteMode::ifOlder, y2010, "new"}, {TUZOverwriteMode::ifOlder, y2000, "old"},
    };
    for (const TCase& c : cases) {
        TFixture f(entries);
        prepare(f, c.FileTime);
        f.UnZip.OverwriteMode = c.Mode;
        const int count = f.UnZip.ExtractFiles();
        EXPECT_EQ(ReadFile(f.Out("f.txt")), c.Expected) << static_cast<int>(c.Mode);
        EXPECT_EQ(count, std::string(c.Expected) == "new" ? 1 : 0);
        if (std::string(c.Expected) == "old") {
            EXPECT_EQ(f.Events[2], "skip " + std::to_string(kSkipNoOverwrite) + " 0 " +
                                       (f.Dir.Path() / "out").string() + "\\f.txt");
        }
    }
}

TEST(ZipExtract, PromptAsksTheHandlerOrShowsABox) {
    const std::vector<TTestEntry> entries = {{.Name = "f.txt", .Data = "new"}};
    {
        TFixture f(entries);
        fs::create_directories(f.Out());
        test::WriteFile(f.Out("f.txt"), "old");
        f.UnZip.OverwriteMode = TUZOverwriteMode::Prompt;
        f.UnZip.OnPromptForOverwrite = [&](TUnZip&, bool& overwrite, int index, std::string& name) {
            EXPECT_EQ(index, 0);
            overwrite = true;
            name = f.Dir.Text("elsewhere.txt"); // the handler may redirect the file
        };
        EXPECT_EQ(f.UnZip.ExtractFiles(), 1);
        EXPECT_EQ(ReadFile(f.Out("f.txt")), "old");
        EXPECT_EQ(ReadFile(f.Dir.Path() / "elsewhere.txt"), "new");
    }
    for (const int answer : {kIdYes, kIdNo}) {
        TFixture f(entries);
        fs::create_directories(f.Out());
        test::WriteFile(f.Out("f.txt"), "old");
        TScriptedBoxes boxes;
        boxes.Answer = answer;
        f.UnZip.MessageBoxes = &boxes;
        f.UnZip.OverwriteMode = TUZOverwriteMode::Prompt;
        f.UnZip.ExtractFiles();
        ASSERT_EQ(boxes.Shown.size(), 1u);
        EXPECT_EQ(boxes.Shown[0], "Файл уже существует|Заменить существующий файл f.txt?|4");
        EXPECT_EQ(f.UnZip.ErrorMessage, "Файл уже существует");
        EXPECT_EQ(ReadFile(f.Out("f.txt")), answer == kIdYes ? "new" : "old");
    }
}

TEST(ZipExtract, ReadOnlyFilesAreReplacedOnlyWhenAllowed) {
    for (const bool replace : {true, false}) {
        TFixture f(std::vector<TTestEntry>{{.Name = "f.txt", .Data = "new"}});
        fs::create_directories(f.Out());
        test::WriteFile(f.Out("f.txt"), "old");
        fs::permissions(f.Out("f.txt"), fs::perms::owner_read);
        f.UnZip.ReplaceReadOnly = replace;
        EXPECT_EQ(f.UnZip.ExtractFiles(), replace ? 1 : 0);
        EXPECT_EQ(ReadFile(f.Out("f.txt")), replace ? "new" : "old");
        if (!replace) {
            EXPECT_EQ(f.Events[2].substr(0, 6), "skip " + std::to_string(kSkipCreate));
        }
    }
}

TEST(ZipExtract, BufferBoundarySizesAndSkippedEntries) {
    std::string big(32769, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<char>(i * 131 + i / 97);
    }
    TFixture f(std::vector<TTestEntry>{{.Name = "32768.bin", .Data = big.substr(0, 32768)},
                                       {.Name = "32769.bin", .Data = big},
                                       {.Name = "skipped.bin", .Data = "s"}});
    f.UnZip.OnStartUnZip = [](TUnZip&, int index, std::string&, bool& skip) { skip = index == 2; };
    std::vector<int> totals;
    f.UnZip.OnTotalPercentDone = [&](TUnZip&, int percent) { totals.push_back(percent); };
    EXPECT_EQ(f.UnZip.ExtractFiles(), 2);
    EXPECT_EQ(ReadFile(f.Out("32768.bin")), big.substr(0, 32768));
    EXPECT_EQ(ReadFile(f.Out("32769.bin")), big);
    EXPECT_FALSE(fs::exists(f.Out("skipped.bin")));
    EXPECT_EQ(totals, (std::vector<int>{50, 100, 100}));
}

TEST(ZipExtract, AFolderRemovedDuringTheRunIsMadeAgain) {
    // Entries of one folder in a row; a handler takes the folder away before the third.
    TFixture f(std::vector<TTestEntry>{{.Name = "d/a.txt", .Data = "a"},
                                       {.Name = "d/b.txt", .Data = "b", .Method = 8},
                                       {.Name = "d/c.txt", .Data = "c"},
                                       {.Name = "e/d.txt", .Data = "d"},
                                       {.Name = "d/e.txt", .Data = "e"}});
    f.UnZip.OnStartUnZip = [&](TUnZip&, int index, std::string&, bool&) {
        if (index == 2) {
            fs::remove_all(f.Out("d"));
        }
    };
    EXPECT_EQ(f.UnZip.ExtractFiles(), 5);
    EXPECT_FALSE(fs::exists(f.Out("d/a.txt")));
    EXPECT_FALSE(fs::exists(f.Out("d/b.txt")));
    EXPECT_EQ(ReadFile(f.Out("d/c.txt")), "c");
    EXPECT_EQ(ReadFile(f.Out("e/d.txt")), "d");
    EXPECT_EQ(ReadFile(f.Out("d/e.txt")), "e");
}

TEST(ZipExtract, WriteFailureEndsTheRun) {
    // The destination file is a full device: every write is refused.
    TFixture f(
        {{.Name = "full.bin", .Data = std::string(100, 'f')}, {.Name = "next.txt", .Data = "n"}});
    fs::create_directories(f.Out());
    fs::create_symlink("/dev/full", f.Out("full.bin"));
    try {
        f.UnZip.ExtractFiles();
        FAIL();
    } catch (const ECantWriteUCF& error) {
        EXPECT_STREQ(error.what(), "Не могу записать разархивированный файл");
    }
    EXPECT_FALSE(fs::exists(f.Out("next.txt")));
    EXPECT_EQ(f.Events.back(), "complete 0");
}

TEST(ZipExtract, DataLongerThanItsRecordedSizeFailsTheEntry) {
    TFixture f(std::vector<TTestEntry>{
        {.Name = "long.bin", .Data = std::string(40000, 'l'), .UncompressedSize = 39999u},
        {.Name = "after.txt", .Data = "after"}});
    EXPECT_EQ(f.UnZip.ExtractFiles(), 1);
    EXPECT_FALSE(fs::exists(f.Out("long.bin")));
    EXPECT_EQ(ReadFile(f.Out("after.txt")), "after");
}

TEST(ZipExtract, UnknownMethodShowsItsMessage) {
    TFixture f(std::vector<TTestEntry>{{.Name = "m.bin", .Data = "abc", .Method = 12},
                                       {.Name = "z.bin", .Data = "", .Method = 99}});
    TScriptedBoxes boxes;
    f.UnZip.MessageBoxes = &boxes;
    EXPECT_EQ(f.UnZip.ExtractFiles(), 0);
    ASSERT_EQ(boxes.Shown.size(), 2u);
    EXPECT_EQ(boxes.Shown[0], "Ошибка Zip|Неизвестный метод архивации|0");
    EXPECT_FALSE(fs::exists(f.Out("m.bin")));
    EXPECT_FALSE(fs::exists(f.Out("z.bin")));
}

TEST(ZipExtract, AnEntryCountsOnlyWhenItsSizeCrcAndDecoderEndAgree) {
    std::string data(40000, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<char>(i * 7 + i / 251);
    }
    const std::string cut = data.substr(0, 32768);
    TFixture f(std::vector<TTestEntry>{
        // 100 bytes against a recorded 4 GiB - 2; the CRC-32 is that of the 100.
        {.Name = "short.bin", .Data = std::string(100, 's'), .UncompressedSize = 0xFFFFFFFEu},
        // No decoder for the method; the CRC-32 stored is that of nothing at all.
        {.Name = "unknown.bin", .Data = "", .Method = 99},
        // Deflate data longer than its recorded size, with the CRC-32 of the part that fits.
        {.Name = "long.bin",
         .Data = data,
         .Method = 8,
         .Crc = test::Crc32Of(cut),
         .UncompressedSize = 32768u},
        {.Name = "good.bin", .Data = data, .Method = 8}});
    EXPECT_EQ(f.UnZip.ExtractFiles(), 1);
    for (const char* name : {"short.bin", "unknown.bin", "long.bin"}) {
        EXPECT_FALSE(fs::exists(f.Out(name))) << name;
    }
    EXPECT_EQ(ReadFile(f.Out("good.bin")), data);
    EXPECT_TRUE(Has(f.Events, kFailedSize + " 0"));
    EXPECT_TRUE(Has(f.Events, kFailedData + " 1"));
    EXPECT_TRUE(Has(f.Events, kFailedData + " 2"));
    EXPECT_EQ(f.Events.back(), "complete 1");
}

TEST(ZipBomb, EntriesSharingBytesRefuseTheArchive) {
    const std::string mib(1 << 20, 'z'); // deflates to about a kilobyte
    // Many central headers for one local header; each names another volume, which a
    // single-volume archive does not have, so they are not duplicates to the directory.
    std::vector<TTestEntry> shared;
    for (std::uint16_t i = 0; i < 64; ++i) {
        shared.push_back({.Name = "part" + std::to_string(i),
                          .Data = mib,
                          .Method = 8,
                          .LocalOffset = 0u,
                          .DiskNumber = i,
                          .OmitLocal = i > 0});
    }
    // A local header inside the extra field of the one before: both have the same data.
    const std::string nested = BuildArchive({{.Name = "inner", .Data = mib, .Method = 8}}).Bytes;
    const std::string innerHeader = nested.substr(0, 30 + 5);
    const std::vector<TTestEntry> stacked = {
        {.Name = "outer", .Data = mib, .Method = 8, .LocalExtra = innerHeader},
        {.Name = "inner", .Data = mib, .Method = 8, .LocalOffset = 30u + 5u, .OmitLocal = true}};
    // A local header inside another entry's data.
    const std::vector<TTestEntry> inData = {
        {.Name = "first", .Data = std::string(300, 'f')},
        {.Name = "second", .Data = "s", .LocalOffset = 100u, .OmitLocal = true}};

    for (const auto& entries : {shared, stacked, inData}) {
        TFixture f(entries);
        try {
            f.UnZip.ExtractFiles();
            ADD_FAILURE() << entries[0].Name << ": extracted";
        } catch (const EOverlappedEntries& error) {
            EXPECT_STREQ(error.what(),
                         "Invalid zip file with overlapped components (possible zip bomb)");
        }
        EXPECT_FALSE(fs::exists(f.Out(entries[0].Name))) << entries[0].Name;
        EXPECT_FALSE(f.UnZip.Rebuilt);
    }
}

TEST(ZipExtract, NothingFailsSilently) {
    // An entry without a name is neither file nor folder: skipped, with its event, even
    // when it is the archive's only entry.
    {
        TFixture f(std::vector<TTestEntry>{{.Name = "", .Data = "hidden"},
                                           {.Name = "f.txt", .Data = "f"}});
        EXPECT_EQ(f.UnZip.ExtractFiles(), 1);
        EXPECT_TRUE(
            Has(f.Events,
                "skip " + std::to_string(static_cast<int>(TSkipReason::srEmptyName)) + " 0 "));
        TFixture alone(std::vector<TTestEntry>{{.Name = "", .Data = "hidden"}});
        EXPECT_EQ(alone.UnZip.ExtractFiles(), 0);
        EXPECT_EQ(alone.Events.front(), "info 1 6");
    }
    // Central headers that share one local header: the directory is rebuilt from the local
    // headers, and the entries it cannot hold are named.
    {
        TFixture f(std::vector<TTestEntry>{
            {.Name = "one.txt", .Data = "1"},
            {.Name = "two.txt", .Data = "1", .LocalOffset = 0u, .OmitLocal = true},
            {.Name = "sub/three.txt", .Data = "1", .LocalOffset = 0u, .OmitLocal = true}});
        f.UnZip.ReadZipDirectory();
        EXPECT_TRUE(f.UnZip.Rebuilt);
        EXPECT_EQ(f.UnZip.EntryCount(), 1);
        EXPECT_EQ(f.Events, (std::vector<std::string>{"rebuilt", "dropped two.txt",
                                                      "dropped sub\\three.txt"}));
    }
    // The archive ends inside one entry: that entry fails, the others are extracted.
    {
        auto built = BuildArchive({{.Name = "z.txt", .Data = "last by name"},
                                   {.Name = "first.txt", .Data = "complete"},
                                   {.Name = "cut.bin", .Data = std::string(100000, 'c')}});
        const std::size_t central = built.CentralOffset + 2 * 46 + 5 + 9;
        test::PutU32(built.Bytes, central + 20, 150000); // past the end of the file
        test::PutU32(built.Bytes, central + 24, 150000);
        TFixture f(std::vector<TTestEntry>{});
        test::WriteFile(f.Dir.Path() / "a.zip", built.Bytes);
        f.UnZip.SortMode = TZipSortMode::ByName; // cut.bin comes first
        EXPECT_EQ(f.UnZip.ExtractFiles(), 2);
        EXPECT_EQ(f.Events[1], "start 0");
        EXPECT_EQ(f.Events[2], kFailedEnd + " 0");
        EXPECT_FALSE(fs::exists(f.Out("cut.bin")));
        EXPECT_EQ(ReadFile(f.Out("first.txt")), "complete");
        EXPECT_EQ(ReadFile(f.Out("z.txt")), "last by name");
        EXPECT_EQ(f.Events.back(), "complete 2");
    }
    // The longest archive comment, its record ending the file.
    {
        TFixture f(std::vector<TTestEntry>{{.Name = "c.txt", .Data = "c"}},
                   std::string(65535, '#'));
        EXPECT_EQ(f.UnZip.ExtractFiles(), 1);
        EXPECT_EQ(f.UnZip.ArchiveComment().size(), 65535u);
    }
}

TEST(ZipPassword, RightPasswordDecryptsStoredAndDeflated) {
    const std::string text(3000, 'p');
    TFixture f(std::vector<TTestEntry>{
        {.Name = "s.txt", .Data = text, .Password = "secret"},
        {.Name = "d.txt", .Data = text, .Method = 8, .Password = "secret"},
        {.Name = "t.txt", .Data = "time", .Flags = 0x0008, .Password = "secret"}});
    f.UnZip.Password = "secret";
    EXPECT_EQ(f.UnZip.ExtractFiles(), 3);
    EXPECT_EQ(ReadFile(f.Out("s.txt")), text);
    EXPECT_EQ(ReadFile(f.Out("d.txt")), text);
    EXPECT_EQ(ReadFile(f.Out("t.txt")), "time"); // checked against the time's high byte
}

TEST(ZipPassword, WrongPasswordWithoutHandlerSkipsWithoutAFile) {
    TFixture f(std::vector<TTestEntry>{{.Name = "s.txt", .Data = "x", .Password = "secret"}});
    f.UnZip.Password = "wrong";
    EXPECT_EQ(f.UnZip.ExtractFiles(), 0);
    EXPECT_EQ(f.Events[2], "skip " + std::to_string(kSkipPassword) + " 0 s.txt");
    EXPECT_FALSE(fs::exists(f.Out("s.txt")));
}

TEST(ZipPassword, HandlerRetriesUntilItGivesTheSamePassword) {
    TFixture f(std::vector<TTestEntry>{{.Name = "s.txt", .Data = "x", .Password = "secret"},
                                       {.Name = "u.txt", .Data = "y", .Password = "other"}});
    std::vector<std::string> offered = {"nope", "secret", "secret"};
    int asked = 0;
    f.UnZip.OnBadPassword = [&](TUnZip&, int, std::string& password) {
        password = offered[static_cast<std::size_t>(std::min(asked++, 2))];
    };
    EXPECT_EQ(f.UnZip.ExtractFiles(), 1);
    EXPECT_EQ(ReadFile(f.Out("s.txt")), "x");
    EXPECT_EQ(f.UnZip.Password, "secret");
    EXPECT_EQ(asked, 3); // two for s.txt (nope, then secret), one unchanged answer for u.txt
    EXPECT_FALSE(fs::exists(f.Out("u.txt")));
}

TEST(ZipPassword, WrongPasswordFoundAfterDecodingRetriesTheWholeEntry) {
    const TTestEntry entry{.Name = "s.txt", .Data = std::string(200, 's'), .Password = "secret"};
    const auto built = BuildArchive({entry});
    // A wrong password whose check byte happens to match (1 in 256).
    std::uint8_t header[kEncryptionHeaderSize];
    std::memcpy(header, built.Bytes.data() + 30 + 5, sizeof header);
    const std::uint8_t expected = static_cast<std::uint8_t>(test::Crc32Of(entry.Data) >> 24);
    std::string lucky;
    for (int i = 0; lucky.empty(); ++i) {
        TZipCipher cipher;
        const std::string candidate = "try" + std::to_string(i);
        if (cipher.DecryptHeader(candidate, header) == expected) {
            lucky = candidate;
        }
    }
    TFixture f(std::vector<TTestEntry>{entry});
    f.UnZip.Password = lucky;
    int asked = 0;
    f.UnZip.OnBadPassword = [&](TUnZip&, int, std::string& password) {
        ++asked;
        password = "secret";
    };
    EXPECT_EQ(f.UnZip.ExtractFiles(), 1);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(std::count(f.Events.begin(), f.Events.end(), "start 0"), 2); // retried from the top
    EXPECT_EQ(ReadFile(f.Out("s.txt")), entry.Data);
}

TEST(ZipPassword, ACyrillicPasswordIsTriedAsItsWindowsAndItsUtf8Bytes) {
    const std::string ansi = FromUtf8("пароль", TCodePage::Windows1251);
    TFixture f(std::vector<TTestEntry>{
        {.Name = "dos-1251.txt", .Data = "1", .VersionMadeBy = 0x0014, .Password = ansi},
        {.Name = "dos-utf8.txt", .Data = "2", .VersionMadeBy = 0x0014, .Password = "пароль"},
        {.Name = "unix-utf8.txt", .Data = "3", .Password = "пароль"},
        {.Name = "unix-1251.txt", .Data = "4", .Password = ansi},
        {.Name = "other.txt", .Data = "5", .Password = FromUtf8("секрет", TCodePage::Windows1251)},
    });
    f.UnZip.Password = "пароль";
    std::vector<std::string> offered;
    f.UnZip.OnBadPassword = [&](TUnZip&, int index, std::string& password) {
        offered.push_back(std::to_string(index) + " " + password);
        password = "секрет";
    };
    EXPECT_EQ(f.UnZip.ExtractFiles(), 5);
    EXPECT_EQ(ReadFile(f.Out("unix-1251.txt")), "4");
    // Asked once, for the entry neither byte string opens.
    EXPECT_EQ(offered, std::vector<std::string>{"4 пароль"});
}

/// A password text whose byte string tried first for `entry` passes the check byte of the
/// entry encrypted with its other byte string (one text in 256 or so does), and the entry
/// so encrypted.
std::pair<std::string, TTestEntry> LuckyFirstBytes(TTestEntry entry, bool utf8First) {
    for (int i = 0;; ++i) {
        const std::string text = "пароль" + std::to_string(i);
        const std::string ansi = FromUtf8(text, TCodePage::Windows1251);
        entry.Password = utf8First ? ansi : text;
        const auto built = BuildArchive({entry});
        std::uint8_t header[kEncryptionHeaderSize];
        std::memcpy(header, built.Bytes.data() + 30 + entry.Name.size(), sizeof header);
        TZipCipher cipher;
        if (cipher.DecryptHeader(utf8First ? text : ansi, header) ==
            ExpectedCheckByte(entry.Flags, entry.DosDateTime, test::Crc32Of(entry.Data))) {
            return {text, entry};
        }
    }
}

TEST(ZipPassword, ThePasswordsOtherBytesComeBeforeTheUserIsAsked) {
    // UTF-8 is tried first for an entry flagged UTF-8 or made on Unix, 1251 for the rest.
    for (const bool utf8First : {false, true}) {
        SCOPED_TRACE(utf8First ? "UTF-8 first" : "1251 first");
        const TTestEntry base{.Name = "s.txt",
                              .Data = std::string(300, 's'),
                              .Method = 8,
                              .Flags = static_cast<std::uint16_t>(utf8First ? 0x0800 : 0),
                              .VersionMadeBy = 0x0014};
        const auto [text, entry] = LuckyFirstBytes(base, utf8First);
        TFixture f(std::vector<TTestEntry>{entry});
        f.UnZip.Password = text;
        int asked = 0;
        f.UnZip.OnBadPassword = [&](TUnZip&, int, std::string&) { ++asked; };
        EXPECT_EQ(f.UnZip.ExtractFiles(), 1);
        EXPECT_EQ(asked, 0);
        // The first bytes passed the check, decoded to a wrong CRC-32, and the entry began
        // again with the others.
        EXPECT_EQ(std::count(f.Events.begin(), f.Events.end(), "start 0"), 2);
        EXPECT_EQ(ReadFile(f.Out("s.txt")), entry.Data);
    }
}

TEST(ZipPassword, EncryptedEntryShorterThanItsHeaderFailsCleanly) {
    auto built = BuildArchive({{.Name = "s.txt", .Data = "x", .Password = "secret"}});
    test::PutU32(built.Bytes, built.CentralOffset + 20, 5); // compressed size 5 < 12
    TTempDir dir;
    test::WriteFile(dir.Path() / "s.zip", built.Bytes);
    TUnZip unzip;
    unzip.SetZipName(dir.Text("s.zip"));
    unzip.SetDestDir(dir.Text("out"));
    unzip.DoAll = true;
    unzip.Password = "secret";
    int asked = 0;
    unzip.OnBadPassword = [&](TUnZip&, int, std::string& p) { p = std::to_string(++asked); };
    TSkipReason reason = TSkipReason::srFileOpenError;
    unzip.OnSkippingFile = [&](TUnZip&, TSkipReason r, const std::string&, int, bool&) {
        reason = r;
    };
    EXPECT_EQ(unzip.ExtractFiles(), 0);
    EXPECT_EQ(reason, TSkipReason::srBadPassword);
    EXPECT_EQ(asked, 0);
}

} // namespace
} // namespace zorvi
