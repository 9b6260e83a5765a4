// The AES scheme over entries the test encrypts itself with libcrypto (AesReference.cpp):
// what 7-Zip cannot make. 7-Zip refuses a non-ASCII password for a ZIP archive and writes
// AE-2 only; here a Cyrillic password, AE-1 with its CRC-32, entries across the decoding
// layer's 32 KB input blocks and every size around AES blocks and key-stream batches.
#include <gtest/gtest.h>

#include <string>

#include "AesTestSupport.h"
#include "DecoderTestSupport.h"
#include "common/CodePage.h"

namespace zorvi::crypt {
namespace {

using test::TBytes;

TBytes Bytes(const std::string& text) {
    return TBytes(text.begin(), text.end());
}

/// A fixed salt of the strength's size: the tests stay the same from run to run.
TBytes Salt(TAesStrength strength, std::uint8_t seed) {
    TAesField field;
    field.Strength = strength;
    TBytes salt(field.SaltSize());
    for (std::size_t i = 0; i < salt.size(); ++i) {
        salt[i] = static_cast<std::uint8_t>(seed * 37 + i * 101);
    }
    return salt;
}

constexpr TAesStrength kStrengths[] = {TAesStrength::Aes128, TAesStrength::Aes192,
                                       TAesStrength::Aes256};

TEST(AesOwnEntries, CyrillicPasswordOpensItsBytesOnly) {
    const TCryptoProvider provider;
    const std::string password = "Зорви пароль 41К6";
    const TBytes utf8 = Bytes(password);
    const TBytes ansi = Bytes(FromUtf8(password, TCodePage::Windows1251));
    ASSERT_NE(utf8, ansi);
    // Deflated by zlib to more than two of the decoding layer's 32 KB input blocks.
    const TBytes plain = test::MixedData(500000, 25);
    const TBytes deflated = test::ZlibDeflate(plain, 1);
    ASSERT_GT(deflated.size(), 2 * 32768u);
    for (TAesStrength strength : kStrengths) {
        // AE-1: the CRC-32 is stored, so the decoder's must be the plain data's.
        TAesField field;
        field.VendorVersion = 1;
        field.Strength = strength;
        field.Method = 8;
        for (const TBytes& written : {utf8, ansi}) {
            SCOPED_TRACE(std::to_string(field.KeySize() * 8) + "-bit key, password as " +
                         (written == utf8 ? "UTF-8" : "1251"));
            const TBytes raw =
                test::EncryptAesEntry(written, strength, Salt(strength, written[0]), deflated);
            // The decoding layer reads in blocks of 32,768 bytes.
            const auto opened = test::OpenAesEntry(provider, field, written, raw, 32768);
            ASSERT_TRUE(opened.PasswordAccepted);
            EXPECT_TRUE(opened.Authentic);
            test::TEncodedEntry encoded;
            encoded.Method = field.Method;
            encoded.Data = opened.Data;
            encoded.UncompressedSize = static_cast<std::int64_t>(plain.size());
            const test::TDecoded decoded = test::DecodeEntry(encoded);
            EXPECT_TRUE(decoded.Finished);
            EXPECT_EQ(decoded.Crc, test::Crc32Of(plain));
            EXPECT_EQ(decoded.Data, plain);
            // The password's other bytes are another password: the verifier says so (or,
            // one time in 65,536, the code).
            const TBytes& other = written == utf8 ? ansi : utf8;
            const auto refused = test::OpenAesEntry(provider, field, other, raw);
            EXPECT_FALSE(refused.PasswordAccepted && refused.Authentic);
        }
    }
}

TEST(AesOwnEntries, EverySizeRoundTripsInAnyPieces) {
    const TCryptoProvider provider;
    const TBytes password = Bytes("p");
    // Around an AES block, around a 4 KiB key-stream batch, past a 32 KB input block.
    const std::size_t sizes[] = {0, 1, 15, 16, 17, 4095, 4096, 4097, 70001};
    const std::size_t pieces[] = {1, 16, 4097, 32768};
    int checked = 0;
    for (TAesStrength strength : kStrengths) {
        TAesField field;
        field.Strength = strength;
        for (std::size_t size : sizes) {
            const TBytes plain = test::MixedData(size, static_cast<std::uint32_t>(size));
            const TBytes raw = test::EncryptAesEntry(
                password, strength, Salt(strength, static_cast<std::uint8_t>(size)), plain);
            for (std::size_t piece : pieces) {
                if (piece == 1 && size > 5000) {
                    continue; // a byte at a time is shown on the small ones
                }
                const auto opened = test::OpenAesEntry(provider, field, password, raw, piece);
                EXPECT_TRUE(opened.PasswordAccepted && opened.Authentic)
                    << field.KeySize() * 8 << "-bit key, " << size << " bytes in pieces of "
                    << piece;
                EXPECT_EQ(opened.Data, plain) << field.KeySize() * 8 << "-bit key, " << size
                                              << " bytes in pieces of " << piece;
                ++checked;
            }
        }
    }
    EXPECT_EQ(checked, 3 * (9 * 4 - 1));
}

} // namespace
} // namespace zorvi::crypt
