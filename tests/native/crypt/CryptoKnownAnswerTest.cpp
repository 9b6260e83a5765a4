// Known answers of the platform's cryptography as zip/crypt calls it: PBKDF2-HMAC-SHA1 with
// the vectors of RFC 6070, HMAC-SHA1 with those of RFC 2202, AES with the examples of
// FIPS-197 appendix C, and the AES scheme's little-endian counter mode with key-stream
// blocks made by the `openssl` command (make-ctr-vectors.py). Compiled natively (libcrypto)
// and for Windows (CNG, run under Wine), so both halves answer the same vectors.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "zip/crypt/AesCtr.h"
#include "zip/crypt/Crypto.h"

namespace zorvi::crypt {
namespace {

using TBytes = std::vector<std::uint8_t>;

TBytes FromHex(const std::string& hex) {
    TBytes bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

TBytes Text(const std::string& text) {
    return TBytes(text.begin(), text.end());
}

/// The bytes 0, 1, ..., count - 1: the keys of FIPS-197's examples.
TBytes Counting(std::size_t count, std::uint8_t from = 0) {
    TBytes bytes(count);
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<std::uint8_t>(from + i);
    }
    return bytes;
}

struct TPbkdf2Vector {
    std::string Password;
    std::string Salt;
    std::uint32_t Iterations;
    std::string Key;
};

// RFC 6070, section 2 (the NUL bytes of the last are part of password and salt).
const TPbkdf2Vector kPbkdf2Vectors[] = {
    {"password", "salt", 1, "0c60c80f961f0e71f3a9b524af6012062fe037a6"},
    {"password", "salt", 2, "ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957"},
    {"password", "salt", 4096, "4b007901b765489abead49d926f721d065a429c1"},
    {"passwordPASSWORDpassword", "saltSALTsaltSALTsaltSALTsaltSALTsalt", 4096,
     "3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038"},
    {std::string("pass\0word", 9), std::string("sa\0lt", 5), 4096,
     "56fa6aa75548099dcc37d7f03425e0c3"},
};

TEST(CryptoKnownAnswers, Pbkdf2HmacSha1OfRfc6070) {
    const TCryptoProvider provider;
    for (const TPbkdf2Vector& v : kPbkdf2Vectors) {
        const TBytes expected = FromHex(v.Key);
        TBytes key(expected.size());
        provider.DerivePbkdf2HmacSha1(Text(v.Password), Text(v.Salt), v.Iterations, key);
        EXPECT_EQ(key, expected) << v.Password.size() << "-byte password, " << v.Iterations
                                 << " rounds";
    }
}

// The fourth vector of RFC 6070: 16,777,216 rounds, a minute or more under the sanitizers.
// Run by hand: --gtest_also_run_disabled_tests --gtest_filter=*Rounds16M*
TEST(CryptoKnownAnswers, DISABLED_Pbkdf2HmacSha1Rounds16M) {
    const TCryptoProvider provider;
    TBytes key(20);
    provider.DerivePbkdf2HmacSha1(Text("password"), Text("salt"), 16777216, key);
    EXPECT_EQ(key, FromHex("eefe3d61cd4da4e4e9945b3d6ba2158c2634e984"));
}

struct THmacVector {
    TBytes Key;
    TBytes Data;
    std::string Code;
};

// RFC 2202, section 3: every case, the keys longer than SHA-1's 64-byte block included.
const std::vector<THmacVector>& HmacVectors() {
    static const std::vector<THmacVector> kVectors = {
        {TBytes(20, 0x0b), Text("Hi There"), "b617318655057264e28bc0b6fb378c8ef146be00"},
        {Text("Jefe"), Text("what do ya want for nothing?"),
         "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"},
        {TBytes(20, 0xaa), TBytes(50, 0xdd), "125d7342b9ac11cd91a39af48aa17b4f63f175d3"},
        {Counting(25, 1), TBytes(50, 0xcd), "4c9007f4026250c6bc8414f9bf50c86c2d7235da"},
        {TBytes(20, 0x0c), Text("Test With Truncation"),
         "4c1a03424b55e07fe7f27be1d58bb9324a9a5a04"},
        {TBytes(80, 0xaa), Text("Test Using Larger Than Block-Size Key - Hash Key First"),
         "aa4ae5e15272d00e95705637ce8a3b55ed402112"},
        {TBytes(80, 0xaa),
         Text("Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data"),
         "e8e99d0f45237d786d6bbaa7965c7808bbff1a91"},
    };
    return kVectors;
}

TEST(CryptoKnownAnswers, HmacSha1OfRfc2202WholeAndInPieces) {
    const TCryptoProvider provider;
    int index = 1;
    for (const THmacVector& v : HmacVectors()) {
        const TBytes expected = FromHex(v.Code);
        THmacSha1 whole(provider, v.Key);
        whole.Update(v.Data.data(), v.Data.size());
        const auto wholeCode = whole.Final();
        EXPECT_EQ(TBytes(wholeCode.begin(), wholeCode.end()), expected) << "case " << index;
        // The same data a byte at a time, with empty pieces between.
        THmacSha1 pieces(provider, v.Key);
        for (std::uint8_t b : v.Data) {
            pieces.Update(&b, 1);
            pieces.Update(nullptr, 0);
        }
        const auto piecesCode = pieces.Final();
        EXPECT_EQ(TBytes(piecesCode.begin(), piecesCode.end()), expected) << "case " << index;
        ++index;
    }
}

TEST(CryptoKnownAnswers, AesBlocksOfFips197AppendixC) {
    const TCryptoProvider provider;
    const TBytes plain = FromHex("00112233445566778899aabbccddeeff");
    const std::pair<std::size_t, std::string> cases[] = {
        {16, "69c4e0d86a7b0430d8cdb78070b4c55a"},
        {24, "dda97ca4864cdfe06eaf70a0ec0d7191"},
        {32, "8ea2b7ca516745bfeafc49904b496089"},
    };
    for (const auto& [keySize, cipher] : cases) {
        TAesEncryptor aes(provider, Counting(keySize));
        // Three copies in one call: every block is encrypted on its own (ECB).
        TBytes blocks;
        for (int i = 0; i < 3; ++i) {
            blocks.insert(blocks.end(), plain.begin(), plain.end());
        }
        TBytes out(blocks.size());
        aes.EncryptBlocks(blocks.data(), out.data(), 3);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(TBytes(out.begin() + 16 * i, out.begin() + 16 * (i + 1)), FromHex(cipher))
                << keySize * 8 << "-bit key, block " << i;
        }
        // In place.
        aes.EncryptBlocks(blocks.data(), blocks.data(), 3);
        EXPECT_EQ(blocks, out);
    }
}

TEST(CryptoKnownAnswers, AesKeyOfAnotherLengthIsRefused) {
    const TCryptoProvider provider;
    for (std::size_t size : {0, 15, 17, 20, 33}) {
        EXPECT_THROW(TAesEncryptor(provider, Counting(size)), ECryptoFailure) << size;
    }
}

struct TCtrVector {
    int Bits;
    std::size_t Block; // index of the key-stream block, from 0 (its counter is Block + 1)
    std::string Stream;
};

// make-ctr-vectors.py: AES-ECB of the little-endian counter blocks by `openssl enc`.
const TCtrVector kCtrVectors[] = {
    {128, 0, "e37cd363dd7c87a09aff0e3e60e09c82"},   {128, 1, "fb8ae31ba5db9cad97364d8722d47326"},
    {128, 254, "e703905ae4398796f01495329e43dac7"}, {128, 255, "9eb1b63c7efe31c9a46bb987baaf3908"},
    {128, 256, "6d820fbb3ae162cdae0387ea5a1a7bfd"}, {192, 0, "094a723ceaf7f7b732e05b90d35b8cf1"},
    {192, 1, "a8fd516dfc09cbb9b38b8527ff25bbe4"},   {192, 254, "3402c5d3f7b1616ee760b4b701856dec"},
    {192, 255, "f0f0781f2a95218d7344770ad95a91ed"}, {192, 256, "3c5ddd0df674bf052609ad322b95628d"},
    {256, 0, "c7b519846a11411cd6ac07cb03f801a8"},   {256, 1, "4ef4b88bebd54953c37ffaf66efaca7b"},
    {256, 254, "d9a37331c9c2da94961737f7f7322bd6"}, {256, 255, "05d9592cefc7834bf69776614868a151"},
    {256, 256, "7ab7df3fef9b90c7503292e0204741a7"},
};

/// The first `size` bytes of the key stream under the key 0, 1, ... of `bits` bits, applied
/// to zeros in pieces of the sizes in `pieces`, round and round.
TBytes KeyStream(const TCryptoProvider& provider, int bits, std::size_t size,
                 const std::vector<std::size_t>& pieces) {
    TAesCtr ctr(provider, Counting(static_cast<std::size_t>(bits / 8)));
    TBytes stream(size);
    std::size_t at = 0;
    for (std::size_t k = 0; at < size; ++k) {
        const std::size_t n = std::min(pieces[k % pieces.size()], size - at);
        ctr.Apply(stream.data() + at, n);
        at += n;
    }
    return stream;
}

TEST(CryptoKnownAnswers, LittleEndianCounterModeInAnyPieces) {
    const TCryptoProvider provider;
    constexpr std::size_t kSize = 257 * 16; // past one batch of 256 blocks
    // One call; pieces that split blocks and batches; pieces of a byte and of nothing.
    const std::vector<std::vector<std::size_t>> piecings = {
        {kSize}, {1, 15, 17, 4095, 4097}, {7, 0, 1, 33}, {4096, 16}};
    for (int bits : {128, 192, 256}) {
        for (const auto& pieces : piecings) {
            const TBytes stream = KeyStream(provider, bits, kSize, pieces);
            for (const TCtrVector& v : kCtrVectors) {
                if (v.Bits != bits) {
                    continue;
                }
                const auto at = stream.begin() + static_cast<std::ptrdiff_t>(16 * v.Block);
                EXPECT_EQ(TBytes(at, at + 16), FromHex(v.Stream))
                    << bits << "-bit key, block " << v.Block << ", " << pieces.size()
                    << " piece sizes starting " << pieces[0];
            }
        }
    }
}

} // namespace
} // namespace zorvi::crypt
