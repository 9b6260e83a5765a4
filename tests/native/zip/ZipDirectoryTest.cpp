#include "zip/UnZip.h"
#include "zip/ZipErrors.h"

#include "TestArchive.h"

#include <gtest/gtest.h>

#include <random>

namespace zorvi {
namespace {

using test::BuildArchive;
using test::TTempDir;
using test::TTestEntry;

std::string Write(const TTempDir& dir, const std::string& name, const std::string& bytes) {
    test::WriteFile(dir.Path() / name, bytes);
    return dir.Text(name);
}

std::vector<std::string> Names(const TUnZip& unzip) {
    std::vector<std::string> names;
    for (int i = 0; i < unzip.EntryCount(); ++i) {
        names.push_back(unzip.SortedEntries()->Entry(i)->PathName());
    }
    return names;
}

const std::vector<TTestEntry> kThree = {
    {.Name = "one.txt", .Data = "first entry"},
    {.Name = "sub/two.txt", .Data = "second entry, a little longer"},
    {.Name = "sub/deeper/three.bin", .Data = std::string(300, 'x')},
};

TEST(ZipDirectory, ReadsEntriesWithTheirFields) {
    TTempDir dir;
    TUnZip unzip;
    unzip.SetZipName(Write(dir, "a.zip", BuildArchive(kThree).Bytes));
    unzip.ReadZipDirectory();
    ASSERT_EQ(unzip.EntryCount(), 3);
    EXPECT_EQ(unzip.ArchiveStream(), nullptr); // closed again
    const TZipHeaderInfo& two = *unzip.Entries()->Entry(1);
    EXPECT_EQ(two.Directory(), "sub\\");
    EXPECT_EQ(two.FileName(), "two.txt");
    EXPECT_EQ(two.FileNameLength, 11);
    EXPECT_EQ(two.UncompressedSize, 29u);
    EXPECT_EQ(two.Crc32, test::Crc32Of("second entry, a little longer"));
    EXPECT_EQ(two.DosDateTime, test::kDos20050202);
    EXPECT_EQ(two.CentralHeaderOffset, BuildArchive(kThree).CentralOffset + 46 + 7);
    EXPECT_EQ(unzip.EntryFileName(2), "three.bin");
    EXPECT_EQ(unzip.ThisVersion(), 222);
    EXPECT_EQ(unzip.MultiMode(), 0);
    EXPECT_EQ(unzip.DiskCount, 1);
}

TEST(ZipDirectory, IndexOutsideTheListIsARussianListError) {
    TTempDir dir;
    TUnZip unzip;
    unzip.SetZipName(Write(dir, "a.zip", BuildArchive(kThree).Bytes));
    unzip.ReadZipDirectory();
    try {
        unzip.EntryFileName(3);
        FAIL();
    } catch (const EListError& error) {
        EXPECT_STREQ(error.what(), "Индекс 3 за пределами разрешенного диапазона");
    }
    EXPECT_THROW(unzip.EntryComment(-1), EListError);
}

TEST(ZipDirectory, EmptyAndTinyFiles) {
    TTempDir dir;
    TUnZip unzip;
    unzip.SetZipName(Write(dir, "empty.zip", ""));
    unzip.ReadZipDirectory();
    EXPECT_EQ(unzip.EntryCount(), 0);
    ASSERT_NE(unzip.Entries(), nullptr); // an archive without entries

    const std::string tiny = Write(dir, "tiny.zip", "0123456789");
    unzip.SetZipName(tiny);
    unzip.ReadZipDirectory(); // incomplete, no handler: quietly empty
    EXPECT_EQ(unzip.EntryCount(), 0);
    EXPECT_EQ(unzip.Entries(), nullptr);

    unzip.IncompleteZipMode = TIncompleteZipMode::izAssumeNotAZip;
    try {
        unzip.ReadZipDirectory();
        FAIL();
    } catch (const ENotAZipFile& error) {
        EXPECT_STREQ(error.what(), "Некорректный zip файл!");
    }
    EXPECT_EQ(unzip.ZipName(), ""); // a failed read resets the component
}

TEST(ZipDirectory, IncompleteHandlerIsAskedAndMayChangeTheMode) {
    TTempDir dir;
    const std::string tiny = Write(dir, "tiny.zip", "0123456789");
    // A handler that changes the mode has the archive tried again with the new one; one
    // that leaves it ends with the mode's error, instead of being asked for ever.
    for (const auto start : {TIncompleteZipMode::izAssumeMulti, TIncompleteZipMode::izAssumeBad}) {
        TUnZip unzip;
        unzip.SetZipName(tiny);
        unzip.IncompleteZipMode = start;
        int asked = 0;
        unzip.OnInCompleteZip = [&](TUnZip&, TIncompleteZipMode& mode) {
            ++asked;
            mode = TIncompleteZipMode::izAssumeMulti;
        };
        try {
            unzip.ReadZipDirectory();
            FAIL();
        } catch (const EIncompleteZip& error) {
            EXPECT_STREQ(error.what(), "Неполный Zip файл");
        }
        EXPECT_EQ(asked, start == TIncompleteZipMode::izAssumeMulti ? 1 : 2);
        EXPECT_EQ(unzip.ZipName(), tiny); // an incomplete archive keeps its name
    }
    TUnZip unzip;
    unzip.SetZipName(tiny);
    int asked = 0;
    unzip.OnInCompleteZip = [&](TUnZip&, TIncompleteZipMode& mode) {
        ++asked;
        mode = TIncompleteZipMode::izAssumeBad;
    };
    EXPECT_THROW(unzip.ReadZipDirectory(), EBadZipFile); // nothing to rebuild from
    EXPECT_EQ(asked, 1);
}

TEST(ZipDirectory, MissingArchiveIsTheFileOpenError) {
    TTempDir dir;
    TUnZip unzip;
    unzip.SetZipName(dir.Text("missing.zip"));
    EXPECT_THROW(unzip.ReadZipDirectory(), EFOpenError);
    EXPECT_EQ(unzip.ZipName(), "");
}

TEST(ZipDirectory, EndRecordSearchTakesTheLastSignature) {
    // A comment that itself holds an end-record signature: the later one wins.
    std::string comment = "note ";
    comment += std::string("PK\x05\x06", 4) + std::string(18, '\0');
    const auto built = BuildArchive(kThree, comment);
    TUnZip unzip;
    TMemoryStream stream(std::vector<std::uint8_t>(built.Bytes.begin(), built.Bytes.end()));
    ASSERT_TRUE(unzip.FindEndCentral(stream));
    EXPECT_EQ(unzip.EndRecord.CommentOffset, built.EndOffset + 22 + 5 + 22);
    EXPECT_EQ(unzip.EndRecord.TotalEntries, 0);

    // The longest comment puts the record at the very start of the window.
    const auto longest = BuildArchive(kThree, std::string(65535, 'c'));
    TMemoryStream whole(std::vector<std::uint8_t>(longest.Bytes.begin(), longest.Bytes.end()));
    ASSERT_TRUE(unzip.FindEndCentral(whole));
    EXPECT_EQ(unzip.EndRecord.TotalEntries, 3);
    EXPECT_EQ(unzip.EndRecord.CommentLength, 65535);
    EXPECT_EQ(unzip.EndRecord.CommentOffset, longest.EndOffset + 22);

    // One byte more of comment and the record falls out of the window.
    std::string beyond = longest.Bytes + "!";
    TMemoryStream past(std::vector<std::uint8_t>(beyond.begin(), beyond.end()));
    EXPECT_FALSE(unzip.FindEndCentral(past));
}

TEST(ZipDirectory, CommentsAreLoadedWhenAsked) {
    TTempDir dir;
    auto entries = kThree;
    entries[1].Comment = "entry comment";
    TUnZip unzip;
    unzip.SetZipName(Write(dir, "c.zip", BuildArchive(entries, "archive comment").Bytes));
    unzip.ReadZipDirectory();
    EXPECT_FALSE(unzip.Entries()->Entry(1)->FileComment.has_value());
    EXPECT_EQ(unzip.EntryComment(1), "entry comment");
    EXPECT_EQ(unzip.EntryComment(0), "");
    EXPECT_EQ(unzip.ArchiveComment(), "archive comment");
    EXPECT_FALSE(unzip.EndRecord.CommentModified);
    unzip.SetEntryComment(1, "entry comment");
    EXPECT_FALSE(unzip.EndRecord.CommentModified); // the same text changes nothing
    unzip.SetArchiveComment("new");
    EXPECT_TRUE(unzip.EndRecord.CommentModified);
    EXPECT_EQ(unzip.ArchiveComment(), "new");
}

TEST(ZipDirectory, NamesAreSplitAndDecodedByHost) {
    TTempDir dir;
    const std::string cyrillic866 = "\x8F\xE0\xA8\xA1\xAE\xE0"; // "Прибор" in 866
    const std::vector<TTestEntry> entries = {
        {.Name = "a/b/c.txt"},
        {.Name = "a\\b\\d.txt"},
        {.Name = "dir/"},
        {.Name = "dos/" + cyrillic866, .VersionMadeBy = 0x0014},        // MS-DOS host
        {.Name = "unix/" + cyrillic866, .VersionMadeBy = 0x0314},       // taken as 1251
        {.Name = "utf8/Прибор", .Flags = 0x0800},                       // flagged UTF-8
        {.Name = "bad/\xD0", .Flags = 0x0800, .VersionMadeBy = 0x0014}, // broken promise
    };
    TUnZip unzip;
    unzip.SetZipName(Write(dir, "n.zip", BuildArchive(entries).Bytes));
    unzip.ReadZipDirectory();
    ASSERT_EQ(unzip.EntryCount(), 7);
    const auto entry = [&](int i) { return unzip.Entries()->Entry(i); };
    EXPECT_EQ(entry(0)->Directory(), "a\\b\\");
    EXPECT_EQ(entry(0)->FileName(), "c.txt");
    EXPECT_EQ(entry(1)->Directory(), "a\\b\\");
    EXPECT_EQ(entry(2)->Directory(), "dir\\");
    EXPECT_EQ(entry(2)->FileName(), "");
    EXPECT_EQ(entry(3)->FileName(), "Прибор");
    EXPECT_EQ(entry(4)->FileName(), "ЏаЁЎ®а"); // the same bytes read as 1251
    EXPECT_EQ(entry(5)->FileName(), "Прибор");
    EXPECT_EQ(entry(6)->FileName(), "╨"); // 0xD0 in 866
}

TEST(ZipDirectory, CentralDatesAreClamped) {
    TTempDir dir;
    const std::uint32_t month13 = (20u << 25) | (13u << 21) | (5u << 16) | (10u << 11) | 30u;
    TUnZip unzip;
    unzip.SetZipName(
        Write(dir, "d.zip", BuildArchive({{.Name = "x", .DosDateTime = month13}}).Bytes));
    unzip.ReadZipDirectory();
    EXPECT_EQ(unzip.Entries()->Entry(0)->DosDateTime,
              (20u << 25) | (12u << 21) | (5u << 16) | (10u << 11) | 29u);
}

TEST(ZipDirectory, ZipNameInOtherLetterCaseKeepsTheDirectory) {
    TTempDir dir;
    TUnZip unzip;
    const std::string path = Write(dir, "Archive.zip", BuildArchive(kThree).Bytes);
    unzip.SetZipName(path);
    unzip.ReadZipDirectory();
    unzip.SetZipName(dir.Text("ARCHIVE.ZIP"));
    EXPECT_EQ(unzip.EntryCount(), 3);
    EXPECT_EQ(unzip.ZipName(), path);
    unzip.SetZipName(dir.Text("other.zip"));
    EXPECT_EQ(unzip.EntryCount(), 0);
}

TEST(ZipDirectory, DirectoryIsReadAgainWhenTheArchiveChanges) {
    TTempDir dir;
    TUnZip unzip;
    const std::string path = Write(dir, "a.zip", BuildArchive(kThree).Bytes);
    unzip.SetZipName(path);
    unzip.ReadZipDirectory();
    Write(dir, "a.zip", BuildArchive({kThree[0]}).Bytes);
    std::filesystem::last_write_time(dir.Path() / "a.zip",
                                     std::filesystem::last_write_time(dir.Path() / "a.zip") +
                                         std::chrono::seconds(10));
    unzip.ReadZipDirectory();
    EXPECT_EQ(unzip.EntryCount(), 1);
}

TEST(ZipRecovery, DestroyedEndRecordIsRebuiltFromLocalHeaders) {
    TTempDir dir;
    auto entries = kThree;
    entries[1].Comment = "kept from the central header";
    auto built = BuildArchive(entries);
    built.Bytes.replace(built.EndOffset, 22, std::string(22, '\0'));
    TUnZip unzip;
    unzip.SetZipName(Write(dir, "broken.zip", built.Bytes));
    unzip.IncompleteZipMode = TIncompleteZipMode::izAssumeBad;
    unzip.ReadZipDirectory();
    EXPECT_TRUE(unzip.Rebuilt);
    ASSERT_EQ(Names(unzip),
              (std::vector<std::string>{"one.txt", "sub\\two.txt", "sub\\deeper\\three.bin"}));
    // The central headers behind the data enriched the scanned entries.
    EXPECT_EQ(unzip.Entries()->Entry(1)->FileCommentLength, 28);
    EXPECT_EQ(unzip.Entries()->Entry(1)->ExternalAttributes, 0x20u);
    EXPECT_EQ(unzip.EntryComment(1), "kept from the central header");
}

TEST(ZipRecovery, DuplicateLocalHeaderOffsetsRebuildTheList) {
    TTempDir dir;
    auto entries = kThree;
    entries[2].LocalOffset = 0; // points at the first entry's local header too
    TUnZip unzip;
    unzip.SetZipName(Write(dir, "dup.zip", BuildArchive(entries).Bytes));
    unzip.ReadZipDirectory();
    EXPECT_TRUE(unzip.Rebuilt);
    EXPECT_EQ(unzip.EntryCount(), 3);
    EXPECT_EQ(unzip.Entries()->Entry(2)->LocalHeaderOffset, BuildArchive(kThree).LocalOffsets[2]);
}

TEST(ZipRecovery, SelfExtractingArchivesAreScannedFrom14000) {
    TTempDir dir;
    // A plausible local header inside the extractor program, before offset 14000.
    std::string prefix(14000, '\0');
    prefix.replace(100, 6, std::string("PK\x03\x04\x14\x00", 6));
    auto built = BuildArchive(kThree);
    built.Bytes.replace(built.EndOffset, 4, "XXXX");
    const std::string bytes = prefix + built.Bytes;
    for (const char* name : {"setup.exe", "setup.zip"}) {
        TUnZip unzip;
        unzip.SetZipName(Write(dir, name, bytes));
        unzip.IncompleteZipMode = TIncompleteZipMode::izAssumeBad;
        unzip.ReadZipDirectory();
        const bool exe = std::string(name) == "setup.exe";
        ASSERT_GT(unzip.EntryCount(), 0);
        EXPECT_EQ(unzip.Entries()->Entry(0)->LocalHeaderOffset, exe ? 14000u : 100u) << name;
    }
}

TEST(ZipRecovery, ImpossibleCountsAndOffsetsEndInTheScanOrAnError) {
    TTempDir dir;
    auto built = BuildArchive(kThree);
    std::string manyEntries = built.Bytes;
    test::PutU16(manyEntries, built.EndOffset + 10, 0xFFFF); // 65535 entries claimed
    std::string farOffset = built.Bytes;
    test::PutU32(farOffset, built.EndOffset + 16, 0xFFFFFFF0); // directory past the end
    std::string noHeaders = std::string(5000, 'z') + built.Bytes.substr(built.EndOffset);
    test::PutU32(noHeaders, 5000 + 16, 0x7FFFFFFF);

    for (const auto& bytes : {manyEntries, farOffset}) {
        TUnZip unzip;
        unzip.SetZipName(Write(dir, "hostile.zip", bytes));
        unzip.ReadZipDirectory();
        EXPECT_TRUE(unzip.Rebuilt);
        EXPECT_EQ(unzip.EntryCount(), 3);
    }
    TUnZip unzip;
    unzip.SetZipName(Write(dir, "nothing.zip", noHeaders));
    EXPECT_THROW(unzip.ReadZipDirectory(), EBadZipFile);
}

TEST(ZipRecovery, ScanLetsWindowMessagesThroughOnlyWhenAsked) {
    TTempDir dir;
    auto built = BuildArchive(kThree);
    built.Bytes.replace(built.EndOffset, 4, "XXXX");
    const std::string path = Write(dir, "scan.zip", std::string(50000, 'j') + built.Bytes);
    for (const bool pump : {true, false}) {
        TUnZip unzip;
        int pumped = 0;
        unzip.ProcessMessages = [&] { ++pumped; };
        unzip.DoProcessMessages = pump;
        unzip.IncompleteZipMode = TIncompleteZipMode::izAssumeBad;
        unzip.SetZipName(path);
        unzip.ReadZipDirectory();
        EXPECT_EQ(unzip.EntryCount(), 3);
        EXPECT_EQ(pumped, pump ? 50000 / 10240 : 0); // once per 10,240 bytes examined
    }
}

TEST(ZipRecovery, StreamedEntriesTakeTheirSizesFromTheDataDescriptor) {
    TTempDir dir;
    const std::string data(5000, 'd');
    // No central directory at all: only the local headers and the descriptors remain.
    const auto built =
        BuildArchive({{.Name = "first.bin", .Data = data, .Method = 8, .Streamed = true},
                      {.Name = "second.txt", .Data = "second", .Streamed = true}});
    TUnZip unzip;
    unzip.SetZipName(Write(dir, "s.zip", built.Bytes.substr(0, built.CentralOffset)));
    unzip.IncompleteZipMode = TIncompleteZipMode::izAssumeBad;
    unzip.SetDestDir(dir.Text("out"));
    unzip.DoAll = true;
    EXPECT_EQ(unzip.ExtractFiles(), 2);
    EXPECT_EQ(test::ReadFile(dir.Path() / "out" / "first.bin"), data);
    EXPECT_EQ(test::ReadFile(dir.Path() / "out" / "second.txt"), "second");
}

TEST(ZipRecovery, StreamedEntryWithoutAFindableDescriptorIsNotAnEmptySuccess) {
    TTempDir dir;
    const auto built = BuildArchive({{.Name = "lost.txt",
                                      .Data = "lost data",
                                      .Streamed = true,
                                      .DescriptorSignature = false}});
    TUnZip unzip;
    unzip.SetZipName(Write(dir, "s.zip", built.Bytes.substr(0, built.CentralOffset)));
    unzip.IncompleteZipMode = TIncompleteZipMode::izAssumeBad;
    unzip.SetDestDir(dir.Text("out"));
    unzip.DoAll = true;
    EXPECT_EQ(unzip.ExtractFiles(), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "out" / "lost.txt"));
}

TEST(ZipSort, ModesOrderTheSortedView) {
    TTempDir dir;
    const std::uint32_t older = test::kDos20050202 - (1u << 16);
    const std::vector<TTestEntry> entries = {
        {.Name = "b/Zeta.txt", .Data = std::string(50, 'a'), .Method = 8},
        {.Name = "A/alpha.txt", .Data = std::string(10, 'q'), .DosDateTime = older},
        {.Name = "c/beta.txt", .Data = std::string(30, 'r')},
        {.Name = "c/gamma.txt", .Data = std::string(30, 's'), .DosDateTime = older},
    };
    TUnZip unzip;
    unzip.SetZipName(Write(dir, "s.zip", BuildArchive(entries).Bytes));
    unzip.ReadZipDirectory();
    const auto order = [&](TZipSortMode mode) {
        unzip.ApplySortMode(mode);
        return Names(unzip);
    };
    using V = std::vector<std::string>;
    EXPECT_EQ(order(TZipSortMode::ByName),
              (V{"A\\alpha.txt", "b\\Zeta.txt", "c\\beta.txt", "c\\gamma.txt"}));
    EXPECT_EQ(order(TZipSortMode::ByFileName),
              (V{"A\\alpha.txt", "c\\beta.txt", "c\\gamma.txt", "b\\Zeta.txt"}));
    // Newest first; equal dates keep archive order.
    EXPECT_EQ(order(TZipSortMode::ByDate),
              (V{"b\\Zeta.txt", "c\\beta.txt", "A\\alpha.txt", "c\\gamma.txt"}));
    EXPECT_EQ(order(TZipSortMode::ByUnCompressedSize),
              (V{"b\\Zeta.txt", "c\\beta.txt", "c\\gamma.txt", "A\\alpha.txt"}));
    EXPECT_EQ(order(TZipSortMode::ByCompressedSize),
              (V{"c\\beta.txt", "c\\gamma.txt", "A\\alpha.txt", "b\\Zeta.txt"}));
    EXPECT_EQ(order(TZipSortMode::ByRate).back(), "b\\Zeta.txt"); // deflated: the lowest ratio
    EXPECT_EQ(order(TZipSortMode::ByNone),
              (V{"b\\Zeta.txt", "A\\alpha.txt", "c\\beta.txt", "c\\gamma.txt"}));
    EXPECT_EQ(unzip.SortedEntries(), unzip.Entries());
}

// The sorted view is built by one sort, not an insertion per entry (which moves O(n) items
// each time); it must give the order insertion gives, ties included, in every mode.
TEST(ZipSort, OneSortGivesTheOrderOfInsertingOneByOne) {
    std::mt19937 random(7);
    std::vector<std::unique_ptr<TZipHeaderInfo>> owned;
    std::vector<TPersistentObject*> items;
    for (int i = 0; i < 400; ++i) {
        auto e = std::make_unique<TZipHeaderInfo>();
        e->SetPathName(std::string(1, "abAB"[random() % 4]) + "\\" + "xyXY"[random() % 4]);
        e->DosDateTime = test::kDos20050202 + (random() % 3 << 16);
        e->UncompressedSize = random() % 4 * 1000;
        e->CompressedSize = random() % 4 * 500;
        e->LocalHeaderOffset = static_cast<std::uint64_t>(i) * 100;
        items.push_back(e.get());
        owned.push_back(std::move(e));
    }
    for (const TZipSortMode mode :
         {TZipSortMode::ByName, TZipSortMode::ByFileName, TZipSortMode::ByDirectoryName,
          TZipSortMode::ByDate, TZipSortMode::ByCompressedSize, TZipSortMode::ByUnCompressedSize,
          TZipSortMode::ByRate}) {
        TSortedZip inserted(mode, TDuplicates::Accept, false);
        for (TPersistentObject* item : items) {
            inserted.Add(item);
        }
        TSortedZip sorted(mode, TDuplicates::Accept, false);
        sorted.AddAll(items);
        ASSERT_EQ(sorted.Count(), inserted.Count());
        for (int i = 0; i < sorted.Count(); ++i) {
            ASSERT_EQ(sorted.Get(i), inserted.Get(i)) << static_cast<int>(mode) << " at " << i;
        }
    }
}

TEST(ZipStorage, EntryListsRoundTrip) {
    TTempDir dir;
    TUnZip unzip;
    auto entries = kThree;
    entries[0].Comment = "c";
    unzip.SetZipName(Write(dir, "a.zip", BuildArchive(entries).Bytes));
    unzip.ReadZipDirectory();
    unzip.EntryComment(0);
    TClassRegistry classes;
    RegisterZipClasses(classes);
    TMemoryStream stream;
    unzip.Entries()->WriteToStream(stream, classes);
    stream.Seek(0, kFromBeginning);
    TSortedZip copy(TZipSortMode::ByNone, TDuplicates::Accept, true);
    copy.ReadFromStream(stream, classes);
    ASSERT_EQ(copy.Count(), 3);
    EXPECT_EQ(copy.Duplicates, TDuplicates::Reject);
    EXPECT_EQ(copy.Entry(2)->PathName(), "sub\\deeper\\three.bin");
    EXPECT_EQ(copy.Entry(0)->FileComment, "c");
    EXPECT_EQ(copy.Entry(1)->Crc32, unzip.Entries()->Entry(1)->Crc32);
}

} // namespace
} // namespace zorvi
