// The byte reader and writer of an entry, seen through the stored method and through
// inflate: block sizes, the size check, write failures, the percent events, the message
// pump and decryption of every block read.
#include <gtest/gtest.h>

#include "DecoderTestSupport.h"
#include "zip/decoders/DecodeErrors.h"
#include "zip/decoders/ZipCipher.h"

namespace zorvi::test {
namespace {

constexpr const char* kTooBig = "Размер архивированного файла больше чем размер до архивации!";

TEncodedEntry Stored(const TBytes& data, std::int64_t size) {
    TEncodedEntry encoded;
    encoded.Method = 0;
    encoded.Data = data;
    encoded.UncompressedSize = size;
    return encoded;
}

TEST(Unstore, WritesBlocksOf32768) {
    for (std::size_t size : {32768u, 32769u, 100000u}) {
        const TBytes data = MixedData(size, 2);
        const TDecoded out = DecodeEntry(Stored(data, static_cast<std::int64_t>(size)));
        EXPECT_EQ(out.Data, data);
        EXPECT_EQ(out.Crc, Crc32Of(data));
        std::vector<std::size_t> expected(size / 32768, 32768);
        if (size % 32768 != 0) {
            expected.push_back(size % 32768);
        }
        EXPECT_EQ(out.Writes, expected) << size;
        EXPECT_EQ(out.Reads, expected) << size;
    }
}

TEST(Unstore, EmptyEntriesWriteNothing) {
    int events = 0;
    TDecodeHooks hooks;
    hooks.OnFilePercentDone = [&](int) { ++events; };
    TEntryDecoder decoder(hooks);
    const TDecoded stored = DecodeEntry(Stored({}, 0), &decoder);
    TEncodedEntry deflated;
    deflated.Data = {0x03, 0x00}; // a fixed block holding only the end of block
    const TDecoded inflated = DecodeEntry(deflated, &decoder);
    for (const TDecoded* out : {&stored, &inflated}) {
        EXPECT_TRUE(out->Writes.empty());
        EXPECT_EQ(out->Crc, 0u);
        EXPECT_FALSE(out->Error);
    }
    EXPECT_EQ(events, 0);
}

TEST(Unstore, OneByteOverTheSizeRaisesBeforeThatBlockIsWritten) {
    const TBytes data = MixedData(32769, 4);
    TDecoded out = DecodeEntry(Stored(data, 32768));
    ASSERT_TRUE(out.Error);
    EXPECT_EQ(*out.Error, kTooBig);
    EXPECT_EQ(out.Data.size(), 32768u); // the first block fitted

    out = DecodeEntry(Stored(data, 32767));
    ASSERT_TRUE(out.Error);
    EXPECT_TRUE(out.Data.empty());
}

TEST(Unstore, ShortWriteRaises) {
    TEntryDecoder decoder;
    TMemoryInput input(MixedData(1000, 1));
    TMemoryOutput output;
    output.AcceptLimit = 999;
    TEntryDecodeParams params;
    params.Input = &input;
    params.Output = &output;
    params.CompressedSize = 1000;
    params.UncompressedSize = 1000;
    decoder.StartEntry(params);
    try {
        decoder.UnstoreEntry();
        FAIL() << "no exception";
    } catch (const EZipError& e) {
        EXPECT_STREQ(e.what(), "Не могу записать разархивированный файл");
    }
}

TEST(Unstore, TruncatedArchiveRaisesPrematureEnd) {
    TEncodedEntry encoded = Stored(MixedData(40000, 1), 50000);
    encoded.CompressedSize = 50000;
    const TDecoded out = DecodeEntry(encoded);
    ASSERT_TRUE(out.Error);
    EXPECT_EQ(*out.Error, "Premature end of file reached");
    EXPECT_EQ(out.Data.size(), 32768u);
}

TEST(PercentEvents, RoundHalfToEvenPerWrittenBlock) {
    // 262144 bytes: each 32768-byte block adds 12.5 %.
    std::vector<int> file, total;
    TDecodeHooks hooks;
    hooks.OnFilePercentDone = [&](int p) { file.push_back(p); };
    hooks.OnTotalPercentDone = [&](int p) { total.push_back(p); };
    TEntryDecoder decoder(hooks);
    decoder.TotalBytes = 4 * 262144; // this entry is a quarter of the run
    DecodeEntry(Stored(MixedData(262144, 6), 262144), &decoder);
    EXPECT_EQ(file, (std::vector<int>{12, 25, 38, 50, 62, 75, 88, 100}));
    // 3.125 % per block: 3, 6, 9, 12 (12.5), 16, 19, 22, 25.
    EXPECT_EQ(total, (std::vector<int>{3, 6, 9, 12, 16, 19, 22, 25}));
    EXPECT_EQ(decoder.BytesDone, 262144);
}

TEST(PercentEvents, TotalBytesAdvanceOnlyWithAHandlerAndPercentStopsAt100) {
    TEntryDecoder silent;
    DecodeEntry(Stored(MixedData(5000, 6), 5000), &silent);
    EXPECT_EQ(silent.BytesDone, 0);

    std::vector<int> total;
    TDecodeHooks hooks;
    hooks.OnTotalPercentDone = [&](int p) { total.push_back(p); };
    TEntryDecoder decoder(hooks);
    decoder.TotalBytes = 1000; // a run whose total was lowered below what is written
    DecodeEntry(Stored(MixedData(5000, 6), 5000), &decoder);
    EXPECT_EQ(total, std::vector<int>{100});

    TEntryDecoder noTotal(hooks); // TotalBytes 0: percent 0
    total.clear();
    DecodeEntry(Stored(MixedData(10, 6), 10), &noTotal);
    EXPECT_EQ(total, std::vector<int>{0});
}

TEST(MessagePump, RunsAtEveryRefillAndStoredBlockOnly) {
    int pumps = 0;
    TDecodeHooks hooks;
    hooks.ProcessMessages = [&] { ++pumps; };
    TEntryDecoder decoder(hooks);
    DecodeEntry(Stored(MixedData(70000, 6), 70000), &decoder);
    EXPECT_EQ(pumps, 3);

    pumps = 0;
    const TBytes data = MixedData(1000000, 3);
    TEncodedEntry encoded;
    encoded.Data = ZlibDeflate(data, 1);
    encoded.UncompressedSize = static_cast<std::int64_t>(data.size());
    const TDecoded out = DecodeEntry(encoded, &decoder);
    EXPECT_EQ(out.Data, data);
    EXPECT_EQ(pumps, static_cast<int>(out.Reads.size()));
}

TEST(ReadInputByte, DeliversTheDataThenNothing) {
    TEntryDecoder decoder;
    TMemoryInput input({7, 8, 9});
    TMemoryOutput output;
    TEntryDecodeParams params;
    params.Input = &input;
    params.Output = &output;
    params.CompressedSize = 3;
    decoder.StartEntry(params);
    std::uint8_t b = 0;
    std::vector<int> got;
    while (decoder.ReadInputByte(b)) {
        got.push_back(b);
    }
    EXPECT_EQ(got, (std::vector<int>{7, 8, 9}));
    EXPECT_FALSE(decoder.ReadInputByte(b));
    EXPECT_EQ(b, 9); // unchanged
    EXPECT_EQ(input.Reads, std::vector<std::size_t>{3});
}

TEST(TakeInput, HandsOutRunsOfTheBufferAndSharesThePositionWithReadInputByte) {
    const TBytes data = MixedData(70000, 5);
    TEntryDecoder decoder;
    TMemoryInput input(data);
    TMemoryOutput output;
    TEntryDecodeParams params;
    params.Input = &input;
    params.Output = &output;
    params.CompressedSize = static_cast<std::int64_t>(data.size());
    decoder.StartEntry(params);
    TBytes got;
    std::uint8_t b = 0;
    ASSERT_TRUE(decoder.ReadInputByte(b));
    got.push_back(b);
    std::vector<std::size_t> runs;
    for (std::size_t max : {10u, 100000u, 100000u, 100000u, 100000u}) {
        const auto run = decoder.TakeInput(max);
        runs.push_back(run.size());
        got.insert(got.end(), run.begin(), run.end());
    }
    // A run never crosses a refill: the rest of the first block, then the next blocks.
    EXPECT_EQ(runs, (std::vector<std::size_t>{10, 32757, 32768, 70000 - 65536, 0}));
    EXPECT_EQ(got, data);
    EXPECT_FALSE(decoder.ReadInputByte(b));
}

/// Encrypts `data` after a 12-byte header as the format's encrypting side does.
TBytes Encrypt(const std::string& password, std::uint8_t checkByte, const TBytes& data) {
    TZipCipher keys;
    keys.InitKeys(password);
    TBytes out = {3, 1, 4, 1, 5, 9, 2, 6, 5, 3, 5, checkByte};
    out.insert(out.end(), data.begin(), data.end());
    for (auto& b : out) {
        const std::uint8_t plain = b;
        b = plain ^ keys.DecryptByte();
        keys.UpdateKeys(plain);
    }
    return out;
}

TEST(Decryption, EveryBlockReadIsDecryptedInStreamOrder) {
    const TBytes data = MixedData(300000, 12);
    for (int method : {0, 8}) {
        const TBytes plainStream = method == 0 ? data : ZlibDeflate(data);
        const TBytes encrypted = Encrypt("key", 0x5A, plainStream);
        std::uint8_t header[kEncryptionHeaderSize];
        std::copy_n(encrypted.begin(), kEncryptionHeaderSize, header);
        TZipCipher cipher;
        ASSERT_EQ(cipher.DecryptHeader("key", header), 0x5A);

        TEncodedEntry encoded;
        encoded.Method = method;
        encoded.Data.assign(encrypted.begin() + kEncryptionHeaderSize, encrypted.end());
        encoded.UncompressedSize = static_cast<std::int64_t>(data.size());
        encoded.Cipher = &cipher;
        const TDecoded out = DecodeEntry(encoded);
        EXPECT_EQ(out.Data, data) << method;
        EXPECT_FALSE(out.Error);
    }
}

} // namespace
} // namespace zorvi::test
