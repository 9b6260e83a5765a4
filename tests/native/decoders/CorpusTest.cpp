// Every stored, shrunk, reduced, imploded and deflated entry of the shared corpus, decoded
// from its raw data (decrypted with its password where it has one), against the size and
// CRC-32 of MANIFEST.tsv. Archives without a central directory are the engine's business.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "DecoderTestSupport.h"
#include "common/CodePage.h"
#include "zip/decoders/ZipCipher.h"

namespace zorvi::test {
namespace {

struct TManifestRow {
    std::string Archive, Password, Entry, Outcome, Note;
    int Method = -1;
    std::int64_t Size = 0;
    std::uint32_t Crc = 0;
};

std::vector<TManifestRow> ReadManifest() {
    std::ifstream file(CorpusDir() + "/MANIFEST.tsv");
    std::vector<TManifestRow> rows;
    std::string line;
    std::getline(file, line); // header
    while (std::getline(file, line)) {
        std::vector<std::string> f;
        std::stringstream s(line);
        std::string field;
        while (std::getline(s, field, '\t')) {
            f.push_back(field);
        }
        f.resize(8);
        if (f[3] == "-" || f[2].empty() || f[2].back() == '/') {
            continue; // empty archive, folder entries
        }
        TManifestRow r{f[0], f[1], f[2], f[6], f[7]};
        r.Method = std::stoi(f[3]);
        r.Size = std::stoll(f[4]);
        r.Crc = static_cast<std::uint32_t>(std::stoul(f[5], nullptr, 16));
        rows.push_back(r);
    }
    return rows;
}

bool Supported(int method) {
    return method <= 6 || method == 8;
}

TEST(Corpus, EveryEntryDecodesToItsManifestCrc) {
    const auto rows = ReadManifest();
    if (rows.empty()) {
        GTEST_SKIP() << "no corpus at " << CorpusDir();
    }
    std::map<std::string, std::vector<TManifestRow>> byArchive;
    for (const auto& r : rows) {
        byArchive[r.Archive].push_back(r);
    }
    TEntryDecoder decoder; // one run: buffers reused from entry to entry, as the engine does
    int decoded = 0;
    for (const auto& [archive, expected] : byArchive) {
        const auto entries = ReadRawEntries(CorpusDir() + "/" + archive);
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
            } else {
                EXPECT_TRUE(out.Error || out.Crc != row.Crc) << row.Outcome;
            }
        }
    }
    EXPECT_GE(decoded, 240);
}

} // namespace
} // namespace zorvi::test
