// The AES scheme written out from the format's description with libcrypto's calls
// (AesTestSupport.h). Natively only: on Windows the scheme is checked against the archives
// 7-Zip made.
#include "AesTestSupport.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <stdexcept>

namespace zorvi::test {

TAesReferenceKeys AesReferenceKeys(const TAesBytes& password, crypt::TAesStrength strength,
                                   const TAesBytes& salt) {
    const std::size_t keySize = 8 + 8 * static_cast<std::size_t>(strength);
    if (salt.size() != keySize / 2) {
        throw std::invalid_argument("AesReferenceKeys: a salt of another size");
    }
    // 1,000 rounds give the AES key, the HMAC key and the verifier, in this order.
    TAesBytes derived(2 * keySize + 2);
    if (PKCS5_PBKDF2_HMAC_SHA1(reinterpret_cast<const char*>(password.data()),
                               static_cast<int>(password.size()), salt.data(),
                               static_cast<int>(salt.size()), 1000,
                               static_cast<int>(derived.size()), derived.data()) != 1) {
        throw std::runtime_error("PKCS5_PBKDF2_HMAC_SHA1 failed");
    }
    const auto at = [&](std::size_t offset) {
        return derived.begin() + static_cast<std::ptrdiff_t>(offset);
    };
    return {TAesBytes(at(0), at(keySize)), TAesBytes(at(keySize), at(2 * keySize)),
            TAesBytes(at(2 * keySize), derived.end())};
}

TAesBytes AesReferenceXor(const TAesReferenceKeys& keys, const TAesBytes& data) {
    // The key stream: AES of the counters 1, 2, ... as 16-byte little-endian numbers.
    const std::size_t blocks = (data.size() + 15) / 16;
    TAesBytes counters(blocks * 16);
    for (std::size_t i = 0; i < blocks; ++i) {
        std::uint64_t n = i + 1;
        for (unsigned b = 0; b < 8; ++b, n >>= 8) {
            counters[16 * i + b] = static_cast<std::uint8_t>(n);
        }
    }
    const std::size_t keySize = keys.AesKey.size();
    const EVP_CIPHER* cipher = keySize == 16   ? EVP_aes_128_ecb()
                               : keySize == 24 ? EVP_aes_192_ecb()
                                               : EVP_aes_256_ecb();
    TAesBytes stream(counters.size() + 16);
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    int written = 0;
    const bool encrypted =
        ctx != nullptr &&
        EVP_EncryptInit_ex(ctx, cipher, nullptr, keys.AesKey.data(), nullptr) == 1 &&
        EVP_CIPHER_CTX_set_padding(ctx, 0) == 1 &&
        EVP_EncryptUpdate(ctx, stream.data(), &written, counters.data(),
                          static_cast<int>(counters.size())) == 1 &&
        written == static_cast<int>(counters.size());
    EVP_CIPHER_CTX_free(ctx);
    if (!encrypted) {
        throw std::runtime_error("AES-ECB of the counters failed");
    }
    TAesBytes out(data.size());
    for (std::size_t i = 0; i < data.size(); ++i) {
        out[i] = data[i] ^ stream[i];
    }
    return out;
}

TAesBytes AesReferenceCode(const TAesReferenceKeys& keys, const TAesBytes& encrypted) {
    unsigned char code[EVP_MAX_MD_SIZE];
    unsigned int codeSize = 0;
    if (HMAC(EVP_sha1(), keys.HmacKey.data(), static_cast<int>(keys.HmacKey.size()),
             encrypted.data(), encrypted.size(), code, &codeSize) == nullptr ||
        codeSize != 20) {
        throw std::runtime_error("HMAC-SHA1 failed");
    }
    return TAesBytes(code, code + 10);
}

TAesBytes EncryptAesEntry(const TAesBytes& password, crypt::TAesStrength strength,
                          const TAesBytes& salt, const TAesBytes& data) {
    const TAesReferenceKeys keys = AesReferenceKeys(password, strength, salt);
    const TAesBytes encrypted = AesReferenceXor(keys, data);
    const TAesBytes code = AesReferenceCode(keys, encrypted);
    TAesBytes out = salt;
    out.insert(out.end(), keys.Verifier.begin(), keys.Verifier.end());
    out.insert(out.end(), encrypted.begin(), encrypted.end());
    out.insert(out.end(), code.begin(), code.end());
    return out;
}

} // namespace zorvi::test
