#include "zip/BufferedStream.h"
#include "zip/ZipErrors.h"

#include "TestArchive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

namespace zorvi {
namespace {

// A memory stream that records how its buffered user reaches it.
class TCountingStream : public TMemoryStream {
public:
    using TMemoryStream::TMemoryStream;
    std::size_t Read(void* buffer, std::size_t count) override {
        ++Reads;
        BytesRead += count;
        return TMemoryStream::Read(buffer, count);
    }
    std::size_t Write(const void* buffer, std::size_t count) override {
        ++Writes;
        BytesWritten += count;
        if (RefuseWrites) {
            return 0;
        }
        return TMemoryStream::Write(buffer, count);
    }
    int Reads = 0;
    int Writes = 0;
    std::size_t BytesRead = 0;
    std::size_t BytesWritten = 0;
    bool RefuseWrites = false;
};

std::vector<std::uint8_t> Counting(std::size_t n) {
    std::vector<std::uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    }
    return bytes;
}

TEST(BufferedStream, SmallReadsShareOneBlock) {
    TCountingStream target(Counting(10000));
    TBufferedStream stream(target, 8192);
    std::uint8_t record[46];
    ASSERT_EQ(stream.Read(record, 46), 46u);
    ASSERT_EQ(stream.Read(record, 46), 46u);
    EXPECT_EQ(target.Reads, 1);
    EXPECT_EQ(target.BytesRead, 8192u);
    EXPECT_EQ(record[0], Counting(10000)[46]);
    EXPECT_EQ(stream.Position(), 92);
}

TEST(BufferedStream, ReadsAcrossTheBufferEndAndStopsAtTheTargetEnd) {
    const auto data = Counting(10000);
    TCountingStream target(data);
    TBufferedStream stream(target, 8192);
    std::vector<std::uint8_t> out(20000);
    ASSERT_EQ(stream.Read(out.data(), 8000), 8000u);
    ASSERT_EQ(stream.Read(out.data() + 8000, 20000 - 8000), 2000u);
    out.resize(10000);
    EXPECT_EQ(out, data);
}

TEST(BufferedStream, ALargeReadTakesTheBufferThenTheRestInOnePiece) {
    const auto data = Counting(100000);
    TCountingStream target(data);
    TBufferedStream stream(target, 8192);
    std::vector<std::uint8_t> out(32768);
    ASSERT_EQ(stream.Read(out.data(), 30), 30u);
    ASSERT_EQ(stream.Read(out.data(), 32768), 32768u);
    EXPECT_EQ(target.Reads, 2);
    EXPECT_EQ(target.BytesRead, 8192u + 32768 - (8192 - 30));
    EXPECT_TRUE(std::equal(out.begin(), out.end(), data.begin() + 30));
    ASSERT_EQ(stream.Read(out.data(), 32768), 32768u); // buffer empty: one read
    EXPECT_EQ(target.Reads, 3);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), data.begin() + 30 + 32768));
    EXPECT_EQ(stream.Position(), 30 + 2 * 32768);
    stream.Read(out.data(), 1); // small reads are buffered again
    EXPECT_EQ(target.Reads, 4);
    EXPECT_EQ(out[0], data[30 + 2 * 32768]);
}

TEST(BufferedStream, SeekToThePresentPositionKeepsTheBuffer) {
    TCountingStream target(Counting(10000));
    TBufferedStream stream(target, 8192);
    std::uint8_t b[10];
    stream.Read(b, 10);
    EXPECT_EQ(stream.Seek(10, kFromBeginning), 10);
    stream.Read(b, 10);
    EXPECT_EQ(target.Reads, 1);
    stream.Seek(21, kFromBeginning); // one byte further: the buffer is given up
    stream.Read(b, 1);
    EXPECT_EQ(target.Reads, 2);
    EXPECT_EQ(b[0], Counting(10000)[21]);
}

TEST(BufferedStream, SkipPassesOverBufferedBytesAndSeeksBeyondThem) {
    const auto data = Counting(20000);
    TCountingStream target(data);
    TBufferedStream stream(target, 8192);
    std::uint8_t b[30];
    stream.Read(b, 30);
    // Inside the block read: the buffer stays, the bytes after the skip come from it.
    EXPECT_EQ(stream.Skip(100), 130);
    stream.Read(b, 1);
    EXPECT_EQ(b[0], data[130]);
    EXPECT_EQ(stream.Skip(8192 - 131), 8192); // up to the block's very end
    EXPECT_EQ(target.Reads, 1);
    stream.Read(b, 1);
    EXPECT_EQ(b[0], data[8192]);
    EXPECT_EQ(target.Reads, 2);
    // Past the block: a seek, and the next read refills from there.
    EXPECT_EQ(stream.Skip(9000), 17193);
    stream.Read(b, 1);
    EXPECT_EQ(b[0], data[17193]);
    EXPECT_EQ(target.Reads, 3);
    EXPECT_EQ(target.BytesRead, 3u * 8192);
    // With nothing read yet, and while writing, a skip is the seek it stands for.
    TCountingStream other(data);
    TBufferedStream fresh(other, 64);
    EXPECT_EQ(fresh.Skip(10), 10);
    fresh.Read(b, 1);
    EXPECT_EQ(b[0], data[10]);
    const std::uint8_t ones[3] = {1, 1, 1};
    fresh.Write(ones, 3);
    EXPECT_EQ(fresh.Skip(5), 19);
    EXPECT_EQ(other.Bytes()[13], 1);
    fresh.Read(b, 1);
    EXPECT_EQ(b[0], data[19]);
}

TEST(BufferedFileStream, PositionsFollowReadsWritesAndSeeks) {
    // The file stream answers Seek(0, kFromCurrent) from its own count of the handle's moves.
    test::TTempDir dir;
    const std::string path = dir.Text("p.bin");
    const auto data = Counting(20000);
    TFileStream file(path, TFileMode::Create);
    EXPECT_EQ(file.Position(), 0);
    EXPECT_EQ(file.Write(data.data(), 12345), 12345u);
    EXPECT_EQ(file.Position(), 12345);
    EXPECT_EQ(file.Seek(-345, kFromCurrent), 12000);
    std::uint8_t b[1000];
    EXPECT_EQ(file.Read(b, sizeof b), 345u); // short at the end of the file
    EXPECT_EQ(file.Position(), 12345);
    EXPECT_EQ(file.Seek(-5, kFromEnd), 12340);
    EXPECT_EQ(file.Read(b, 2), 2u);
    EXPECT_EQ(file.Position(), 12342);
    EXPECT_EQ(b[0], data[12340]);
    EXPECT_EQ(file.Seek(-1, kFromBeginning), -1); // refused by the system
    EXPECT_EQ(file.Seek(7, kFromBeginning), 7);
    EXPECT_EQ(file.Position(), 7);
}

TEST(BufferedStream, SeekFromTheEndUsesTheAbsoluteOffset) {
    TCountingStream target(Counting(1000));
    TBufferedStream stream(target, 8192);
    EXPECT_EQ(stream.Seek(-100, kFromEnd), 900);
    EXPECT_EQ(stream.Seek(100, kFromEnd), 900);
    EXPECT_EQ(stream.Size(), 1000);
}

TEST(BufferedStream, SeekFromTheEndCountsPendingWrites) {
    TCountingStream target;
    TBufferedStream stream(target, 8192);
    const auto data = Counting(100);
    stream.Write(data.data(), 100);
    EXPECT_EQ(target.Writes, 0);
    EXPECT_EQ(stream.Seek(0, kFromEnd), 100);
}

TEST(BufferedStream, WritesWholeBuffersAtOnceAndTheRestOnDestruction) {
    TCountingStream target;
    const auto data = Counting(10000);
    {
        TBufferedStream stream(target, 8192);
        EXPECT_EQ(stream.Write(data.data(), data.size()), 10000u);
        EXPECT_EQ(target.Bytes().size(), 8192u);
    }
    EXPECT_EQ(target.Bytes(), data);
}

TEST(BufferedStream, ReadingAfterWritingFlushesFirst) {
    TCountingStream target(Counting(300));
    TBufferedStream stream(target, 64);
    const std::uint8_t ones[10] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    stream.Write(ones, 10);
    std::uint8_t next[5];
    ASSERT_EQ(stream.Read(next, 5), 5u);
    EXPECT_EQ(target.Bytes()[9], 1);
    EXPECT_EQ(next[0], Counting(300)[10]);
    // Writing after reading goes to the logical position, not the target's.
    stream.Write(ones, 1);
    stream.FlushBuffer();
    EXPECT_EQ(target.Bytes()[15], 1);
    EXPECT_EQ(target.Bytes()[16], Counting(300)[16]);
}

TEST(BufferedStream, WritingAfterReadingToTheEndAndAfterAFullBuffer) {
    // Both once confused the buffer's state: a write after a read that hit the end,
    // and a read after exactly one buffer of writes.
    TCountingStream target(Counting(10));
    TBufferedStream stream(target, 16);
    std::uint8_t sink[32];
    EXPECT_EQ(stream.Read(sink, 32), 10u);
    const auto more = Counting(16);
    EXPECT_EQ(stream.Write(more.data(), 10), 10u);
    EXPECT_EQ(stream.Write(more.data() + 10, 6), 6u); // fills the buffer: flushed
    EXPECT_EQ(stream.Read(sink, 4), 0u);
    EXPECT_EQ(target.Bytes().size(), 26u);
}

TEST(BufferedStream, FailedWritesAreShortAndSeekReportsThem) {
    TCountingStream target;
    TBufferedStream stream(target, 16);
    target.RefuseWrites = true;
    const auto data = Counting(40);
    EXPECT_LT(stream.Write(data.data(), 40), 40u);
    stream.Write(data.data(), 3);
    EXPECT_THROW(stream.Seek(0, kFromBeginning), EStreamError);
    target.RefuseWrites = false;
}

TEST(BufferedStream, BadOriginAndPutBack) {
    TCountingStream target(Counting(100));
    TBufferedStream stream(target, 16);
    try {
        stream.Seek(0, 3);
        FAIL();
    } catch (const EStreamError& error) {
        EXPECT_STREQ(error.what(), "Invalid seek origin (3)");
    }
    EXPECT_THROW(stream.PutBack(1), EStreamError); // nothing read yet
    std::uint8_t b[2];
    stream.Read(b, 2);
    stream.PutBack(0xEE);
    stream.Read(b, 1);
    EXPECT_EQ(b[0], 0xEE);
}

TEST(BufferedFileStream, CreatesReadsAndRefusesReadOnlyFiles) {
    test::TTempDir dir;
    const std::string path = dir.Text("f.bin");
    const auto data = Counting(20000);
    {
        TBufferedFileStream out(path, TFileMode::Create, true, 8192);
        EXPECT_EQ(out.Write(data.data(), data.size()), data.size());
    }
    TBufferedFileStream in(path, TFileMode::OpenRead, false, 8192);
    std::vector<std::uint8_t> back(data.size());
    EXPECT_EQ(in.Read(back.data(), back.size()), back.size());
    EXPECT_EQ(back, data);
    EXPECT_THROW(TBufferedFileStream(dir.Text("missing"), TFileMode::OpenRead, false, 64),
                 EFOpenError);
    std::filesystem::permissions(dir.Path() / "f.bin", std::filesystem::perms::owner_read |
                                                           std::filesystem::perms::group_read);
    EXPECT_THROW(TBufferedFileStream(path, TFileMode::Create, false, 64), EFCreateError);
}

} // namespace
} // namespace zorvi
