// The cryptography of Crypto.h from Windows' CNG (bcrypt.dll, Windows 7 and later): the AES
// and HMAC-SHA1 algorithm providers are opened once per TCryptoProvider, AES set to ECB (the
// counter blocks are made by AesCtr.cpp), SHA-1 opened as HMAC, which BCryptDeriveKeyPBKDF2
// takes as its pseudo-random function too. Keys and hashes are made from them per key, with
// CNG allocating their objects (allowed from Windows 7 on). Every status is checked.
#include "zip/crypt/Crypto.h"

#include <windows.h>

#include <bcrypt.h>

#include <cstdio>

namespace zorvi::crypt {
namespace {

/// Raises ECryptoFailure for `call` unless `status` is a success (BCRYPT_SUCCESS: not
/// negative).
void Check(NTSTATUS status, const char* call) {
    if (status >= 0) {
        return;
    }
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(status));
    throw ECryptoFailure(std::string("CNG: ") + call + " failed with status " + text);
}

/// CNG's buffers are PUCHAR even where it only reads them; a pointer it may read zero
/// bytes from is never null.
PUCHAR Bytes(std::span<const std::uint8_t> bytes) {
    static UCHAR nothing = 0;
    return bytes.empty() ? &nothing : const_cast<PUCHAR>(bytes.data());
}

/// Closes an algorithm provider that is open.
void CloseAlgorithm(BCRYPT_ALG_HANDLE& handle) {
    if (handle != nullptr) {
        BCryptCloseAlgorithmProvider(handle, 0);
        handle = nullptr;
    }
}

} // namespace

struct TCryptoProvider::TAlgorithms {
    BCRYPT_ALG_HANDLE Aes = nullptr;  // ECB chaining
    BCRYPT_ALG_HANDLE Hmac = nullptr; // SHA-1 with BCRYPT_ALG_HANDLE_HMAC_FLAG
    ~TAlgorithms() {
        CloseAlgorithm(Aes);
        CloseAlgorithm(Hmac);
    }
};

TCryptoProvider::TCryptoProvider() : algorithms_(std::make_unique<TAlgorithms>()) {
    Check(BCryptOpenAlgorithmProvider(&algorithms_->Aes, BCRYPT_AES_ALGORITHM, nullptr, 0),
          "BCryptOpenAlgorithmProvider(AES)");
    Check(BCryptSetProperty(algorithms_->Aes, BCRYPT_CHAINING_MODE,
                            reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(BCRYPT_CHAIN_MODE_ECB)),
                            sizeof(BCRYPT_CHAIN_MODE_ECB), 0),
          "BCryptSetProperty(ChainingModeECB)");
    Check(BCryptOpenAlgorithmProvider(&algorithms_->Hmac, BCRYPT_SHA1_ALGORITHM, nullptr,
                                      BCRYPT_ALG_HANDLE_HMAC_FLAG),
          "BCryptOpenAlgorithmProvider(SHA1, HMAC)");
}

TCryptoProvider::~TCryptoProvider() = default;

void TCryptoProvider::DerivePbkdf2HmacSha1(std::span<const std::uint8_t> password,
                                           std::span<const std::uint8_t> salt,
                                           std::uint32_t iterations,
                                           std::span<std::uint8_t> out) const {
    Check(BCryptDeriveKeyPBKDF2(algorithms_->Hmac, Bytes(password),
                                static_cast<ULONG>(password.size()), Bytes(salt),
                                static_cast<ULONG>(salt.size()), iterations, out.data(),
                                static_cast<ULONG>(out.size()), 0),
          "BCryptDeriveKeyPBKDF2");
}

struct TAesEncryptor::TKey {
    BCRYPT_KEY_HANDLE Handle = nullptr;
    ~TKey() {
        if (Handle != nullptr) {
            BCryptDestroyKey(Handle);
        }
    }
};

TAesEncryptor::TAesEncryptor(const TCryptoProvider& provider, std::span<const std::uint8_t> key)
    : key_(std::make_unique<TKey>()) {
    if (key.size() != 16 && key.size() != 24 && key.size() != 32) {
        throw ECryptoFailure("AES: a key of " + std::to_string(key.size()) + " bytes");
    }
    Check(BCryptGenerateSymmetricKey(provider.Algorithms().Aes, &key_->Handle, nullptr, 0,
                                     Bytes(key), static_cast<ULONG>(key.size()), 0),
          "BCryptGenerateSymmetricKey");
}

TAesEncryptor::~TAesEncryptor() = default;

void TAesEncryptor::EncryptBlocks(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) {
    // ULONG counts: at most this many blocks per call (64 MiB), far more than a caller asks.
    constexpr std::size_t kMaxBlocksPerCall = std::size_t{1} << 22;
    while (blocks > 0) {
        const std::size_t n = blocks < kMaxBlocksPerCall ? blocks : kMaxBlocksPerCall;
        const ULONG bytes = static_cast<ULONG>(n * kAesBlockSize);
        ULONG written = 0;
        // No IV and no padding flag: ECB over whole blocks.
        Check(BCryptEncrypt(key_->Handle, const_cast<PUCHAR>(in), bytes, nullptr, nullptr, 0, out,
                            bytes, &written, 0),
              "BCryptEncrypt");
        if (written != bytes) {
            throw ECryptoFailure("CNG: BCryptEncrypt wrote " + std::to_string(written) +
                                 " bytes of " + std::to_string(bytes));
        }
        in += bytes;
        out += bytes;
        blocks -= n;
    }
}

struct THmacSha1::TState {
    BCRYPT_HASH_HANDLE Handle = nullptr;
    ~TState() {
        if (Handle != nullptr) {
            BCryptDestroyHash(Handle);
        }
    }
};

THmacSha1::THmacSha1(const TCryptoProvider& provider, std::span<const std::uint8_t> key)
    : state_(std::make_unique<TState>()) {
    Check(BCryptCreateHash(provider.Algorithms().Hmac, &state_->Handle, nullptr, 0, Bytes(key),
                           static_cast<ULONG>(key.size()), 0),
          "BCryptCreateHash");
}

THmacSha1::~THmacSha1() = default;

void THmacSha1::Update(const std::uint8_t* data, std::size_t count) {
    // ULONG counts: a larger piece goes in parts.
    constexpr std::size_t kMaxPerCall = std::size_t{1} << 30;
    while (count > 0) {
        const std::size_t n = count < kMaxPerCall ? count : kMaxPerCall;
        Check(BCryptHashData(state_->Handle, const_cast<PUCHAR>(data), static_cast<ULONG>(n), 0),
              "BCryptHashData");
        data += n;
        count -= n;
    }
}

std::array<std::uint8_t, kSha1Size> THmacSha1::Final() {
    std::array<std::uint8_t, kSha1Size> code{};
    Check(BCryptFinishHash(state_->Handle, code.data(), static_cast<ULONG>(code.size()), 0),
          "BCryptFinishHash");
    return code;
}

} // namespace zorvi::crypt
