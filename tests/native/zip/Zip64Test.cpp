// ZIP64 records in hand-built archives: the extra field holding values for the full fields
// only, in their order; the end record's locator, and what happens when it points nowhere;
// counts the classic end record cannot hold.
#include "zip/Zip64.h"
#include "zip/UnZip.h"
#include "zip/ZipErrors.h"

#include "TestArchive.h"

#include <gtest/gtest.h>

namespace zorvi {
namespace {

using test::TTestEntry;

std::vector<std::uint8_t> Field(const std::vector<std::uint64_t>& values, std::size_t lastWidth) {
    std::vector<std::uint8_t> block = {0x01, 0x00, 0, 0};
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::size_t width = i + 1 == values.size() ? lastWidth : 8;
        for (std::size_t k = 0; k < width; ++k) {
            block.push_back(static_cast<std::uint8_t>(values[i] >> (8 * k)));
        }
    }
    block[2] = static_cast<std::uint8_t>(block.size() - 4);
    return block;
}

TEST(Zip64Fields, OnlyTheFullFieldsAreInTheExtraFieldInTheirOrder) {
    // Compressed size and volume full: the field holds those two, in that order.
    TZipHeaderInfo e;
    e.UncompressedSize = 100;
    e.CompressedSize = 0xFFFFFFFF;
    e.LocalHeaderOffset = 7;
    e.DiskNumberStart = 0xFFFF;
    auto block = Field({0x123456789AULL, 3}, 4);
    ASSERT_TRUE(ApplyZip64ExtraField(block.data(), block.size(), true, e));
    EXPECT_EQ(e.UncompressedSize, 100u);
    EXPECT_EQ(e.CompressedSize, 0x123456789AULL);
    EXPECT_EQ(e.LocalHeaderOffset, 7u);
    EXPECT_EQ(e.DiskNumberStart, 3u);

    // A local header has no offset or volume: a full offset field there stays as it is.
    TZipHeaderInfo local;
    local.UncompressedSize = local.CompressedSize = local.LocalHeaderOffset = 0xFFFFFFFF;
    block = Field({5000000000ULL, 4000000000ULL, 99}, 8);
    ASSERT_TRUE(ApplyZip64ExtraField(block.data(), block.size(), false, local));
    EXPECT_EQ(local.UncompressedSize, 5000000000ULL);
    EXPECT_EQ(local.CompressedSize, 4000000000ULL);
    EXPECT_EQ(local.LocalHeaderOffset, 0xFFFFFFFFu);

    // A field cut short gives what it holds; a value past a file offset is taken as the
    // largest one, which lies past the end of any archive.
    TZipHeaderInfo cut;
    cut.UncompressedSize = cut.CompressedSize = 0xFFFFFFFF;
    block = Field({~0ULL}, 8);
    ASSERT_TRUE(ApplyZip64ExtraField(block.data(), block.size(), true, cut));
    EXPECT_EQ(cut.UncompressedSize, kLargestZip64Value);
    EXPECT_EQ(cut.CompressedSize, 0xFFFFFFFFu);
    EXPECT_FALSE(ApplyZip64ExtraField(block.data() + 4, block.size() - 4, true, cut));
}

struct TFixture {
    test::TTempDir Dir;
    TUnZip UnZip;
    std::uint64_t Missing = 0;

    explicit TFixture(const std::string& bytes) {
        test::WriteFile(Dir.Path() / "a.zip", bytes);
        UnZip.SetZipName(Dir.Text("a.zip"));
        UnZip.SetDestDir(Dir.Text("out"));
        UnZip.DoAll = true;
        UnZip.RecreateDirs = true;
        UnZip.OnEntriesMissing = [this](TUnZip&, std::uint64_t missing) { Missing += missing; };
    }
    std::string Out(const std::string& name) const {
        return test::ReadFile(Dir.Path() / "out" / name);
    }
};

const std::vector<TTestEntry> kEntries = {
    {.Name = "one.txt", .Data = "first", .Zip64Slots = test::kSlotSize},
    {.Name = "sub/two.bin",
     .Data = std::string(3000, 't'),
     .Method = 8,
     .Zip64Slots = test::kSlotCompressedSize | test::kSlotOffset},
    {.Name = "three.txt", .Data = "third", .Zip64Slots = test::kSlotOffset},
    {.Name = "four.txt", .Data = "fourth", .Zip64Slots = 15}, // every slot
    {.Name = "five.txt", .Data = "fifth"},
};

TEST(Zip64Fields, EntriesWithSomeFieldsFullAreReadAndExtracted) {
    const auto built = test::BuildArchive(kEntries);
    TFixture f(built.Bytes);
    f.UnZip.ReadZipDirectory();
    ASSERT_EQ(f.UnZip.EntryCount(), 5);
    EXPECT_FALSE(f.UnZip.Rebuilt);
    for (int i = 0; i < 5; ++i) {
        const TZipHeaderInfo& e = *f.UnZip.Entries()->Entry(i);
        EXPECT_EQ(e.LocalHeaderOffset, built.LocalOffsets[static_cast<std::size_t>(i)]) << i;
        EXPECT_EQ(e.UncompressedSize, kEntries[static_cast<std::size_t>(i)].Data.size()) << i;
        EXPECT_EQ(e.DiskNumberStart, 0u) << i;
    }
    EXPECT_LT(f.UnZip.Entries()->Entry(1)->CompressedSize, 3000u); // deflated
    EXPECT_EQ(f.UnZip.ExtractFiles(), 5);
    EXPECT_EQ(f.Out("sub/two.bin"), std::string(3000, 't'));
    EXPECT_EQ(f.Out("four.txt"), "fourth");
}

TEST(Zip64End, CountSizeAndOffsetComeFromTheZip64EndRecord) {
    auto built = test::BuildArchive(kEntries, "", true);
    // A count the classic record gets wrong (a writer counting modulo 65,536) is overruled.
    test::PutU16(built.Bytes, built.EndOffset + 8, 1);
    test::PutU16(built.Bytes, built.EndOffset + 10, 1);
    TFixture f(built.Bytes);
    f.UnZip.ReadZipDirectory();
    EXPECT_EQ(f.UnZip.EntryCount(), 5);
    EXPECT_FALSE(f.UnZip.Rebuilt);
    EXPECT_EQ(f.UnZip.EndRecord.TotalEntries, 5u);
    EXPECT_EQ(f.UnZip.EndRecord.CentralOffset, built.CentralOffset);
    EXPECT_EQ(f.UnZip.ExtractFiles(), 5);
}

TEST(Zip64End, LocatorPointingPastTheFile) {
    const auto built = test::BuildArchive(kEntries, "", true);
    const std::size_t pointer = built.LocatorOffset + zip64locator::kEndOffset;
    // The record lies where writers put it, right in front of the locator: found there.
    std::string bytes = built.Bytes;
    test::PutU64(bytes, pointer, bytes.size() + 1000);
    {
        TFixture f(bytes);
        f.UnZip.ReadZipDirectory();
        EXPECT_EQ(f.UnZip.EntryCount(), 5);
        EXPECT_FALSE(f.UnZip.Rebuilt);
    }
    // No record anywhere (nor can the system seek where the locator points): the end
    // record's full values lead nowhere, the entries are rebuilt from their local headers,
    // and the count it gives cannot be vouched for.
    bytes[built.Zip64EndOffset] = 'X';
    test::PutU64(bytes, pointer, 0xFFFFFFFFFFFFFFF0ULL);
    {
        TFixture f(bytes);
        f.UnZip.ReadZipDirectory();
        EXPECT_TRUE(f.UnZip.Rebuilt);
        EXPECT_EQ(f.UnZip.EntryCount(), 5);
        EXPECT_EQ(f.Missing, 0xFFFFu - 5);
        EXPECT_EQ(f.UnZip.ExtractFiles(), 5);
    }
    // With the end record's own values whole, they are the directory.
    test::PutU16(bytes, built.EndOffset + 8, 5);
    test::PutU16(bytes, built.EndOffset + 10, 5);
    test::PutU32(bytes, built.EndOffset + 12, built.Zip64EndOffset - built.CentralOffset);
    test::PutU32(bytes, built.EndOffset + 16, built.CentralOffset);
    TFixture f(bytes);
    f.UnZip.ReadZipDirectory();
    EXPECT_EQ(f.UnZip.EntryCount(), 5);
    EXPECT_FALSE(f.UnZip.Rebuilt);
    EXPECT_EQ(f.Missing, 0u);
}

TEST(Zip64End, EveryHeaderTheDirectoryHoldsIsReadOrReported) {
    // A writer without ZIP64 records counts modulo 65,536: the headers past the count that
    // still lie in the directory are read.
    auto built = test::BuildArchive(kEntries);
    test::PutU16(built.Bytes, built.EndOffset + 8, 2);
    test::PutU16(built.Bytes, built.EndOffset + 10, 2);
    {
        TFixture f(built.Bytes);
        EXPECT_EQ(f.UnZip.ExtractFiles(), 5);
        EXPECT_FALSE(f.UnZip.Rebuilt);
    }
    // A count beyond the headers there are: rebuilt, and the difference is reported.
    test::PutU16(built.Bytes, built.EndOffset + 10, 8);
    TFixture f(built.Bytes);
    EXPECT_EQ(f.UnZip.ExtractFiles(), 5);
    EXPECT_TRUE(f.UnZip.Rebuilt);
    EXPECT_EQ(f.Missing, 3u);
}

} // namespace
} // namespace zorvi
