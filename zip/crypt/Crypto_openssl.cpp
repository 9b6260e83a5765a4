// The cryptography of Crypto.h from OpenSSL's libcrypto, version 3: the algorithms are
// fetched from the default provider once (EVP_CIPHER_fetch, EVP_MAC_fetch, EVP_KDF_fetch),
// the keyed contexts are made from them per key. Every call's result is checked.
#include "zip/crypt/Crypto.h"

#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/kdf.h>
#include <openssl/params.h>

#include <climits>

namespace zorvi::crypt {
namespace {

/// Raises ECryptoFailure for `call`, with the first error OpenSSL queued for it.
[[noreturn]] void Fail(const char* call) {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    char text[256] = "no error queued";
    if (code != 0) {
        ERR_error_string_n(code, text, sizeof text);
    }
    throw ECryptoFailure(std::string("libcrypto: ") + call + " failed: " + text);
}

/// A pointer OpenSSL may read zero bytes from: some of its calls refuse a null one even then.
const unsigned char* NonNull(std::span<const std::uint8_t> bytes) {
    static const unsigned char kNothing = 0;
    return bytes.empty() ? &kNothing : bytes.data();
}

struct TCipherFree {
    void operator()(EVP_CIPHER* p) const { EVP_CIPHER_free(p); }
};
struct TMacFree {
    void operator()(EVP_MAC* p) const { EVP_MAC_free(p); }
};
struct TKdfFree {
    void operator()(EVP_KDF* p) const { EVP_KDF_free(p); }
};
struct TKdfCtxFree {
    void operator()(EVP_KDF_CTX* p) const { EVP_KDF_CTX_free(p); }
};

} // namespace

struct TCryptoProvider::TAlgorithms {
    /// AES-128, -192 and -256 in ECB mode, by key length / 8 - 2.
    std::unique_ptr<EVP_CIPHER, TCipherFree> Aes[3];
    std::unique_ptr<EVP_MAC, TMacFree> Hmac;
    std::unique_ptr<EVP_KDF, TKdfFree> Pbkdf2;
};

TCryptoProvider::TCryptoProvider() : algorithms_(std::make_unique<TAlgorithms>()) {
    static const char* const kAesNames[3] = {"AES-128-ECB", "AES-192-ECB", "AES-256-ECB"};
    for (int i = 0; i < 3; ++i) {
        algorithms_->Aes[i].reset(EVP_CIPHER_fetch(nullptr, kAesNames[i], nullptr));
        if (!algorithms_->Aes[i]) {
            Fail("EVP_CIPHER_fetch");
        }
    }
    algorithms_->Hmac.reset(EVP_MAC_fetch(nullptr, OSSL_MAC_NAME_HMAC, nullptr));
    if (!algorithms_->Hmac) {
        Fail("EVP_MAC_fetch");
    }
    algorithms_->Pbkdf2.reset(EVP_KDF_fetch(nullptr, OSSL_KDF_NAME_PBKDF2, nullptr));
    if (!algorithms_->Pbkdf2) {
        Fail("EVP_KDF_fetch");
    }
}

TCryptoProvider::~TCryptoProvider() = default;

void TCryptoProvider::DerivePbkdf2HmacSha1(std::span<const std::uint8_t> password,
                                           std::span<const std::uint8_t> salt,
                                           std::uint32_t iterations,
                                           std::span<std::uint8_t> out) const {
    std::unique_ptr<EVP_KDF_CTX, TKdfCtxFree> ctx(EVP_KDF_CTX_new(algorithms_->Pbkdf2.get()));
    if (!ctx) {
        Fail("EVP_KDF_CTX_new");
    }
    unsigned int rounds = iterations;
    // "pkcs5" = 1: PBKDF2 as RFC 8018 has it. Without it a provider may hold the call to
    // the lower bounds of NIST SP 800-132 (16-byte salt, 1,000 rounds), which the ZIP scheme's
    // 8-byte salt of AES-128 and the RFC's test vectors do not meet.
    int pkcs5 = 1;
    char digest[] = "SHA1";
    const OSSL_PARAM params[] = {
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_PASSWORD,
                                          const_cast<unsigned char*>(NonNull(password)),
                                          password.size()),
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SALT,
                                          const_cast<unsigned char*>(NonNull(salt)), salt.size()),
        OSSL_PARAM_construct_uint(OSSL_KDF_PARAM_ITER, &rounds),
        OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, digest, 0),
        OSSL_PARAM_construct_int(OSSL_KDF_PARAM_PKCS5, &pkcs5),
        OSSL_PARAM_construct_end(),
    };
    if (EVP_KDF_derive(ctx.get(), out.data(), out.size(), params) != 1) {
        Fail("EVP_KDF_derive");
    }
}

struct TAesEncryptor::TKey {
    EVP_CIPHER_CTX* Ctx = nullptr;
    ~TKey() { EVP_CIPHER_CTX_free(Ctx); }
};

TAesEncryptor::TAesEncryptor(const TCryptoProvider& provider, std::span<const std::uint8_t> key)
    : key_(std::make_unique<TKey>()) {
    if (key.size() != 16 && key.size() != 24 && key.size() != 32) {
        throw ECryptoFailure("AES: a key of " + std::to_string(key.size()) + " bytes");
    }
    key_->Ctx = EVP_CIPHER_CTX_new();
    if (key_->Ctx == nullptr) {
        Fail("EVP_CIPHER_CTX_new");
    }
    const EVP_CIPHER* cipher = provider.Algorithms().Aes[key.size() / 8 - 2].get();
    if (EVP_EncryptInit_ex2(key_->Ctx, cipher, key.data(), nullptr, nullptr) != 1) {
        Fail("EVP_EncryptInit_ex2");
    }
    // Whole blocks only, and nothing held back for a final block.
    if (EVP_CIPHER_CTX_set_padding(key_->Ctx, 0) != 1) {
        Fail("EVP_CIPHER_CTX_set_padding");
    }
}

TAesEncryptor::~TAesEncryptor() = default;

void TAesEncryptor::EncryptBlocks(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) {
    // EVP_EncryptUpdate counts in int: at most this many blocks per call.
    constexpr std::size_t kMaxBlocksPerCall = (INT_MAX / kAesBlockSize) / 2;
    while (blocks > 0) {
        const std::size_t n = blocks < kMaxBlocksPerCall ? blocks : kMaxBlocksPerCall;
        const int bytes = static_cast<int>(n * kAesBlockSize);
        int written = 0;
        if (EVP_EncryptUpdate(key_->Ctx, out, &written, in, bytes) != 1 || written != bytes) {
            Fail("EVP_EncryptUpdate");
        }
        in += bytes;
        out += bytes;
        blocks -= n;
    }
}

struct THmacSha1::TState {
    EVP_MAC_CTX* Ctx = nullptr;
    ~TState() { EVP_MAC_CTX_free(Ctx); }
};

THmacSha1::THmacSha1(const TCryptoProvider& provider, std::span<const std::uint8_t> key)
    : state_(std::make_unique<TState>()) {
    state_->Ctx = EVP_MAC_CTX_new(provider.Algorithms().Hmac.get());
    if (state_->Ctx == nullptr) {
        Fail("EVP_MAC_CTX_new");
    }
    char digest[] = "SHA1";
    const OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
        OSSL_PARAM_construct_end(),
    };
    if (EVP_MAC_init(state_->Ctx, NonNull(key), key.size(), params) != 1) {
        Fail("EVP_MAC_init");
    }
}

THmacSha1::~THmacSha1() = default;

void THmacSha1::Update(const std::uint8_t* data, std::size_t count) {
    if (count > 0 && EVP_MAC_update(state_->Ctx, data, count) != 1) {
        Fail("EVP_MAC_update");
    }
}

std::array<std::uint8_t, kSha1Size> THmacSha1::Final() {
    std::array<std::uint8_t, kSha1Size> code{};
    std::size_t length = 0;
    if (EVP_MAC_final(state_->Ctx, code.data(), &length, code.size()) != 1 ||
        length != code.size()) {
        Fail("EVP_MAC_final");
    }
    return code;
}

} // namespace zorvi::crypt
