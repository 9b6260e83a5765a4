// Every stored, shrunk, reduced, imploded and deflated entry of the corpus, decoded
// from its raw data (decrypted with its password where it has one), against the size and
// CRC-32 of MANIFEST.tsv. Archives without a central directory are the engine's business.
#include <gtest/gtest.h>

#include <map>

#include "DecoderTestSupport.h"
#include "common/CodePage.h"
#include "tests/TestData.h"
#include "zip/decoders/ZipCipher.h"

namespace zorvi::test {
namespace {

bool Supported(int method) {
    return method <= 6 || method == 8;
}

TEST(Corpus, EveryEntryDecodesToItsManifestCrc) {
    std::map<std::string, std::vector<TCorpusRow>> byArchive;
    for (const TCorpusRow& r : ReadCorpusManifest()) {
        if (!r.IsEmptyArchive() && !r.IsFolder()) {
            byArchive[r.Archive].push_back(r);
        }
    }
    TEntryDecoder decoder; // one run: buffers reused from entry to entry, as the engine does
    int decoded = 0;
    for (const auto& [archive, expected] : byArchive) {
        const auto entries = ReadRawEntries(CorpusFile(archive));
        if (!entries) {
            continue; // no central directory: recovered by the engine, not here
        }
        for (const auto& row : expected) {
            if (!Supported(row.Method)) {
                continue;
            }
            const TRawEntry* raw = nullptr;
            for (const auto& e : *entries) {
                if (e.Name == row.Entry || ToUtf8(e.Name, TCodePage::Dos866) == row.Entry) {
                    raw = &e;
                }
            }
            ASSERT_NE(raw, nullptr) << archive << ": " << row.Entry;
            SCOPED_TRACE(archive + ": " + row.Entry);
            ASSERT_EQ(raw->Method, row.Method);

            TEncodedEntry encoded;
            encoded.Method = raw->Method;
            encoded.BitFlags = raw->BitFlags;
            encoded.UncompressedSize = raw->UncompressedSize;
            encoded.Data = raw->Data;
            TZipCipher cipher;
            if (raw->BitFlags & 1) {
                ASSERT_GE(raw->Data.size(), kEncryptionHeaderSize);
                std::uint8_t header[kEncryptionHeaderSize];
                std::copy_n(raw->Data.begin(), kEncryptionHeaderSize, header);
                EXPECT_EQ(cipher.DecryptHeader(row.Password, header),
                          ExpectedCheckByte(raw->BitFlags, raw->DosDateTime, raw->Crc));
                encoded.Data.erase(encoded.Data.begin(),
                                   encoded.Data.begin() + kEncryptionHeaderSize);
                encoded.Cipher = &cipher;
            }
            const TDecoded out = DecodeEntry(encoded, &decoder);
            ++decoded;
            if (row.Outcome == "ok") {
                EXPECT_FALSE(out.Error) << *out.Error;
                EXPECT_EQ(out.Data.size(), static_cast<std::size_t>(row.Size));
                EXPECT_EQ(out.Crc, row.Crc);
                EXPECT_TRUE(out.Finished); // what the engine asks besides the CRC-32
            } else {
                EXPECT_TRUE(out.Error || out.Crc != row.Crc || !out.Finished) << row.Outcome;
            }
        }
    }
    EXPECT_GE(decoded, 240);
}

} // namespace
} // namespace zorvi::test
