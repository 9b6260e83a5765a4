// CRC-32 against zlib's, and the traditional cipher against an encryptor written from the
// format's description and against an archive made by another tool.
#include <gtest/gtest.h>

#include <random>

#include "DecoderTestSupport.h"
#include "zip/decoders/Crc32.h"
#include "zip/decoders/ZipCipher.h"

namespace zorvi::test {
namespace {

TEST(Crc32, MatchesTheCheckValueAndZlibAtEveryLengthAndAlignment) {
    const TBytes check = BytesOf("123456789");
    EXPECT_EQ(~UpdateCrc32(0xFFFFFFFFu, check.data(), check.size()), 0xCBF43926u);

    const TBytes data = MixedData(33000, 21);
    for (std::size_t offset = 0; offset < 16; ++offset) {
        for (std::size_t length :
             {0,   1,   7,   15,  16,  17,  31,  33,  63,  64,   65,   100,
              127, 128, 129, 255, 256, 257, 511, 512, 513, 1000, 4000, 32768}) {
            const std::uint8_t* p = data.data() + offset;
            const std::uint32_t expected = Crc32Of(TBytes(p, p + length));
            EXPECT_EQ(~UpdateCrc32(0xFFFFFFFFu, p, length), expected) << offset << "+" << length;
            // Every method this processor has, whichever UpdateCrc32 takes.
            for (const TCrcMethod method : {TCrcMethod::Sliced, TCrcMethod::Clmul,
                                            TCrcMethod::WideClmul, TCrcMethod::Clmul512}) {
                if (CrcMethodAvailable(method)) {
                    EXPECT_EQ(~UpdateCrc32With(method, 0xFFFFFFFFu, p, length), expected)
                        << static_cast<int>(method) << ": " << offset << "+" << length;
                }
            }
        }
    }
}

TEST(Crc32, BlockUpdateEqualsByteSteps) {
    const TBytes data = MixedData(777, 3);
    std::uint32_t reg = 0x12345678u;
    for (auto b : data) {
        reg = CrcStep(reg, b);
    }
    EXPECT_EQ(UpdateCrc32(0x12345678u, data.data(), data.size()), reg);
}

/// The encrypting side, as the format describes it: c = p xor key byte, then update by p.
void Encrypt(TZipCipher& keys, TBytes& data) {
    for (auto& b : data) {
        const std::uint8_t plain = b;
        b = plain ^ keys.DecryptByte();
        keys.UpdateKeys(plain);
    }
}

TEST(ZipCipher, EmptyPasswordLeavesTheInitialKeys) {
    TZipCipher c;
    c.InitKeys("");
    EXPECT_EQ(c.Key0(), 0x12345678u);
    EXPECT_EQ(c.Key1(), 0x23456789u);
    EXPECT_EQ(c.Key2(), 0x34567890u);
}

TEST(ZipCipher, HeaderAndDataRoundTrip) {
    const std::string password = "Pa55 word!";
    TBytes header = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0xC7}; // last byte: the check byte
    TBytes data = MixedData(50000, 8);
    const TBytes plain = data;
    TZipCipher enc;
    enc.InitKeys(password);
    Encrypt(enc, header);
    Encrypt(enc, data);

    std::uint8_t h[kEncryptionHeaderSize];
    std::copy(header.begin(), header.end(), h);
    TZipCipher dec;
    EXPECT_NE(dec.DecryptHeader("pa55 word", h), 0xC7); // a wrong password
    EXPECT_EQ(dec.DecryptHeader(password, h), 0xC7);
    dec.DecryptBuffer(data.data(), 20000); // in pieces, the key state carries over
    dec.DecryptBuffer(data.data() + 20000, data.size() - 20000);
    EXPECT_EQ(data, plain);
}

TEST(ZipCipher, CheckByteIsTheTimeWithADataDescriptorElseTheCrc) {
    EXPECT_EQ(ExpectedCheckByte(0x0001, 0x5A6B7C8Du, 0xA1B2C3D4u), 0xA1);
    EXPECT_EQ(ExpectedCheckByte(0x0009, 0x5A6B7C8Du, 0xA1B2C3D4u), 0x7C);
}

TEST(ZipCipher, DecryptsAnEntryOfAnotherTool) {
    // Stored with password "secret" by another tool, data descriptor flag set: the check byte
    // is the high byte of the time; the plain data's CRC is in the central directory.
    const auto entries = ReadRawEntries(CorpusFile("iz-encrypted-stored.zip"));
    ASSERT_TRUE(entries);
    int checked = 0;
    for (const auto& e : *entries) {
        if ((e.BitFlags & 1) == 0 || e.Data.size() < kEncryptionHeaderSize) {
            continue;
        }
        ASSERT_TRUE(e.BitFlags & 0x0008);
        std::uint8_t h[kEncryptionHeaderSize];
        std::copy_n(e.Data.begin(), kEncryptionHeaderSize, h);
        TZipCipher c;
        ASSERT_EQ(c.DecryptHeader("secret", h),
                  ExpectedCheckByte(e.BitFlags, e.DosDateTime, e.Crc));
        TBytes data(e.Data.begin() + kEncryptionHeaderSize, e.Data.end());
        c.DecryptBuffer(data.data(), data.size());
        EXPECT_EQ(Crc32Of(data), e.Crc) << e.Name;
        ++checked;
    }
    EXPECT_GT(checked, 0);
}

} // namespace
} // namespace zorvi::test
