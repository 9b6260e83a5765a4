// The AES scheme over archives made by 7-Zip (tests/data/aes/README.md): each entry's data is
// decrypted by TAesScheme and decoded by the decoders through the method dispatch
// (test::DecodeEntry), and must give the plain file back; damaged copies must fail where the
// scheme says they do. Compiled natively and for Windows (the CNG half, under Wine).
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>

#include "AesTestSupport.h"
#include "DecoderTestSupport.h"
#include "tests/TestData.h"
#include "zip/ExtraFields.h"
#include "zip/crypt/AesScheme.h"

namespace zorvi::crypt {
namespace {

using test::TBytes;
using test::TOpenedAesEntry;

struct TAesArchive {
    std::string File;
    std::string Password;
    TAesStrength Strength;
    int NotesMethod; // the real method of notes.txt; the other entries are stored
    std::size_t Entries;
};

const TAesArchive kArchives[] = {
    {"aes128-stored.zip", "zorvi-128 key", TAesStrength::Aes128, 0, 3},
    {"aes128-deflate.zip", "zorvi-128 key", TAesStrength::Aes128, 8, 3},
    {"aes192-stored.zip", "zorvi-192 key", TAesStrength::Aes192, 0, 3},
    {"aes192-deflate.zip", "zorvi-192 key", TAesStrength::Aes192, 8, 3},
    {"aes256-stored.zip", "zorvi-256 key", TAesStrength::Aes256, 0, 3},
    {"aes256-deflate.zip", "zorvi-256 key", TAesStrength::Aes256, 8, 3},
    {"aes256-deflate64.zip", "zorvi-256 key", TAesStrength::Aes256, 9, 2},
};

TBytes Text(const std::string& text) {
    return TBytes(text.begin(), text.end());
}

TBytes PlainFile(const std::string& name) {
    std::ifstream in(test::TestDataPath("aes/plain/" + name), std::ios::binary);
    return TBytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<test::TRawEntry> ArchiveEntries(const TAesArchive& archive) {
    const auto entries = test::ReadRawEntries(test::TestDataPath("aes/" + archive.File).string());
    if (!entries || entries->size() != archive.Entries) {
        throw std::runtime_error(archive.File + ": not the entries its README lists");
    }
    return *entries;
}

/// The entry's 0x9901 field, read from its central extra block.
std::optional<TAesField> FieldOf(const test::TRawEntry& entry) {
    const auto field = FindExtraField(entry.Extra.data(), entry.Extra.size(), kExtraAes);
    return field ? ParseAesField({field->Data, field->Size}) : std::nullopt;
}

TOpenedAesEntry Open(const TCryptoProvider& provider, const TAesField& field,
                     const TBytes& password, const TBytes& raw) {
    return test::OpenAesEntry(provider, field, password, raw);
}

TEST(AesScheme, SevenZipArchivesDecryptAndDecodeToTheirFiles) {
    const TCryptoProvider provider;
    for (const TAesArchive& archive : kArchives) {
        for (const test::TRawEntry& entry : ArchiveEntries(archive)) {
            SCOPED_TRACE(archive.File + ": " + entry.Name);
            ASSERT_EQ(entry.Method, kMethodAes);
            ASSERT_EQ(entry.BitFlags & 1, 1);
            const auto field = FieldOf(entry);
            ASSERT_TRUE(field);
            EXPECT_EQ(field->Strength, archive.Strength);
            // 7-Zip writes AE-2: no CRC-32 stored, the code is the only check.
            EXPECT_EQ(field->VendorVersion, 2);
            EXPECT_FALSE(field->ChecksCrc());
            EXPECT_EQ(entry.Crc, 0u);
            EXPECT_EQ(field->Method, entry.Name == "notes.txt" ? archive.NotesMethod : 0);

            const TOpenedAesEntry opened =
                Open(provider, *field, Text(archive.Password), entry.Data);
            ASSERT_TRUE(opened.PasswordAccepted);
            EXPECT_TRUE(opened.Authentic);
            test::TEncodedEntry encoded;
            encoded.Method = field->Method;
            encoded.Data = opened.Data;
            encoded.UncompressedSize = entry.UncompressedSize;
            const test::TDecoded decoded = test::DecodeEntry(encoded);
            EXPECT_FALSE(decoded.Error) << *decoded.Error;
            EXPECT_TRUE(decoded.Finished);
            EXPECT_EQ(decoded.Data, PlainFile(entry.Name));
        }
    }
}

/// Where a damaged copy is changed, and what the scheme must say of it.
struct TDamage {
    std::string What;
    std::size_t (*Offset)(const TAesField& field, std::size_t size);
    bool PasswordAccepted;
};

const TDamage kDamages[] = {
    {"first salt byte", [](const TAesField&, std::size_t) { return std::size_t{0}; }, false},
    {"last salt byte", [](const TAesField& f, std::size_t) { return f.SaltSize() - 1; }, false},
    {"first verifier byte", [](const TAesField& f, std::size_t) { return f.SaltSize(); }, false},
    {"second verifier byte", [](const TAesField& f, std::size_t) { return f.SaltSize() + 1; },
     false},
    {"first data byte", [](const TAesField& f, std::size_t) { return f.SaltSize() + 2; }, true},
    {"middle data byte",
     [](const TAesField& f, std::size_t size) { return (f.SaltSize() + 2 + size - 10) / 2; }, true},
    {"last data byte", [](const TAesField&, std::size_t size) { return size - 11; }, true},
    {"first code byte", [](const TAesField&, std::size_t size) { return size - 10; }, true},
    {"last code byte", [](const TAesField&, std::size_t size) { return size - 1; }, true},
};

TEST(AesScheme, FlippedSaltOrVerifierIsWrongPasswordFlippedDataOrCodeIsNotAuthentic) {
    const TCryptoProvider provider;
    int checked = 0;
    for (const TAesArchive& archive : kArchives) {
        for (const test::TRawEntry& entry : ArchiveEntries(archive)) {
            const auto field = FieldOf(entry);
            ASSERT_TRUE(field);
            for (const TDamage& damage : kDamages) {
                const std::size_t at = damage.Offset(*field, entry.Data.size());
                if (at >= entry.Data.size() || (entry.UncompressedSize == 0 &&
                                                damage.What.find("data") != std::string::npos)) {
                    continue; // the empty file has no data byte
                }
                for (std::uint8_t flip : {0x01, 0x80}) {
                    SCOPED_TRACE(archive.File + ": " + entry.Name + ", " + damage.What);
                    TBytes damaged = entry.Data;
                    damaged[at] ^= flip;
                    const TOpenedAesEntry opened =
                        Open(provider, *field, Text(archive.Password), damaged);
                    EXPECT_EQ(opened.PasswordAccepted, damage.PasswordAccepted);
                    EXPECT_FALSE(opened.Authentic);
                    ++checked;
                }
            }
        }
    }
    EXPECT_GT(checked, 100);
}

TEST(AesScheme, WrongPasswordsAndShortEntriesAreRefused) {
    const TCryptoProvider provider;
    const TAesArchive& archive = kArchives[5];
    const test::TRawEntry entry = ArchiveEntries(archive)[1];
    const auto field = FieldOf(entry);
    ASSERT_TRUE(field);
    for (const std::string& wrong :
         {std::string(""), std::string("zorvi-256 ke"), std::string("zorvi-256 key "),
          std::string("Zorvi-256 key"), std::string("zorvi-128 key")}) {
        EXPECT_FALSE(Open(provider, *field, Text(wrong), entry.Data).PasswordAccepted) << wrong;
    }
    // Too short for salt, verifier and code: no data size, nothing to open.
    TAesScheme scheme(provider, *field);
    const std::size_t overhead = scheme.HeaderSize() + TAesScheme::kAuthCodeSize;
    EXPECT_EQ(scheme.DataSize(overhead), std::optional<std::uint64_t>(0));
    EXPECT_FALSE(scheme.DataSize(overhead - 1));
    EXPECT_FALSE(scheme.DataSize(0));
    const TBytes truncated(entry.Data.begin(), entry.Data.begin() + 27);
    EXPECT_FALSE(Open(provider, *field, Text(archive.Password), truncated).PasswordAccepted);
    // A header of another length than the strength's is a wrong password, not a read past it.
    const auto header = std::span(entry.Data).first(scheme.HeaderSize());
    EXPECT_TRUE(scheme.Begin(Text(archive.Password), header));
    EXPECT_FALSE(scheme.Begin(Text(archive.Password), header.first(header.size() - 1)));
    EXPECT_FALSE(scheme.Begin(Text(archive.Password), std::span(entry.Data).first(19)));
    // A code of another length is not authentic.
    EXPECT_TRUE(scheme.Begin(Text(archive.Password), header));
    EXPECT_FALSE(scheme.Finish(std::span(entry.Data).first(9)));
}

TEST(AesScheme, ExtraFieldIsReadOnlyWhenWhole) {
    struct TCase {
        TBytes Data;
        bool Valid;
    };
    const TCase cases[] = {
        {{0x01, 0x00, 'A', 'E', 0x01, 0x08, 0x00}, true},
        {{0x02, 0x00, 'A', 'E', 0x03, 0x09, 0x00}, true},
        {{0x02, 0x00, 'A', 'E', 0x02, 0x0C, 0x00}, true},
        {{0x02, 0x00, 'A', 'E', 0x03, 0x08}, false},             // 6 bytes
        {{0x02, 0x00, 'A', 'E', 0x03, 0x08, 0x00, 0x00}, false}, // 8 bytes
        {{0x00, 0x00, 'A', 'E', 0x03, 0x08, 0x00}, false},       // vendor version 0
        {{0x03, 0x00, 'A', 'E', 0x03, 0x08, 0x00}, false},       // vendor version 3
        {{0x02, 0x01, 'A', 'E', 0x03, 0x08, 0x00}, false},       // vendor version 258
        {{0x02, 0x00, 'a', 'e', 0x03, 0x08, 0x00}, false},       // vendor id
        {{0x02, 0x00, 'E', 'A', 0x03, 0x08, 0x00}, false},
        {{0x02, 0x00, 'A', 'E', 0x00, 0x08, 0x00}, false}, // strength 0
        {{0x02, 0x00, 'A', 'E', 0x04, 0x08, 0x00}, false}, // strength 4
    };
    for (const TCase& c : cases) {
        const auto field = ParseAesField(c.Data);
        ASSERT_EQ(field.has_value(), c.Valid) << testing::PrintToString(c.Data);
        if (field) {
            EXPECT_EQ(field->VendorVersion, c.Data[0]);
            EXPECT_EQ(field->ChecksCrc(), c.Data[0] == 1);
            EXPECT_EQ(static_cast<int>(field->Strength), c.Data[4]);
            EXPECT_EQ(field->Method, c.Data[5] | (c.Data[6] << 8));
        }
    }
}

} // namespace
} // namespace zorvi::crypt
