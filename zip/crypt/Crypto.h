// The cryptography the ZIP component needs, taken from the platform: never written here.
// Windows provides it in CNG (bcrypt.dll, Crypto_win.cpp), a Linux build in OpenSSL's
// libcrypto (Crypto_openssl.cpp); CMake compiles one of the two.
//
// Three primitives, all that the AES scheme of ZIP (AesScheme.h) is made of:
//  - PBKDF2 with HMAC-SHA1 (RFC 8018, section 5.2), which turns a password and a salt into
//    key bytes;
//  - AES encryption of independent 16-byte blocks (FIPS-197) under a 128-, 192- or 256-bit
//    key. The scheme's counter mode (AesCtr.h) encrypts counter blocks with it; neither
//    platform's own counter mode fits, since both count big-endian and the scheme counts
//    little-endian. Many blocks go in one call: a call into CNG per 16 bytes would cost more
//    than the AES itself;
//  - HMAC-SHA1 (RFC 2104) fed in pieces.
//
// The platform's algorithm objects are opened once by a TCryptoProvider (the costly part on
// both platforms: a provider lookup and, natively, a fetch from the provider list), and the
// keyed objects are made from it per key. A provider is used from one thread at a time; a run
// with workers gives each its own. A failing platform call is no fault of the archive: it
// raises ECryptoFailure naming the call and its status, never a wrong answer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "zip/decoders/DecodeErrors.h"

namespace zorvi::crypt {

inline constexpr std::size_t kAesBlockSize = 16;
inline constexpr std::size_t kSha1Size = 20;

/// A call into the platform's cryptography failed (the message names the call and its
/// status). Out of memory, a missing algorithm, a system without CNG's PBKDF2.
class ECryptoFailure : public EZipError {
public:
    explicit ECryptoFailure(const std::string& message) : EZipError(message) {}
};

/// The platform's algorithms: AES, HMAC-SHA1 and PBKDF2, opened once for many keys.
class TCryptoProvider {
public:
    TCryptoProvider();
    ~TCryptoProvider();
    TCryptoProvider(const TCryptoProvider&) = delete;
    TCryptoProvider& operator=(const TCryptoProvider&) = delete;

    /// PBKDF2-HMAC-SHA1 of `password` and `salt` with `iterations` rounds (at least 1),
    /// filling all of `out`. Any length of password and salt, empty ones included.
    void DerivePbkdf2HmacSha1(std::span<const std::uint8_t> password,
                              std::span<const std::uint8_t> salt, std::uint32_t iterations,
                              std::span<std::uint8_t> out) const;

    /// The platform's objects; each half defines it.
    struct TAlgorithms;
    const TAlgorithms& Algorithms() const { return *algorithms_; }

private:
    std::unique_ptr<TAlgorithms> algorithms_;
};

/// AES encryption of independent blocks (ECB) under one key.
class TAesEncryptor {
public:
    /// `key` is 16, 24 or 32 bytes (AES-128, -192, -256); another length raises
    /// ECryptoFailure. The provider must outlive the encryptor.
    TAesEncryptor(const TCryptoProvider& provider, std::span<const std::uint8_t> key);
    ~TAesEncryptor();
    TAesEncryptor(const TAesEncryptor&) = delete;
    TAesEncryptor& operator=(const TAesEncryptor&) = delete;

    /// Encrypts `blocks` blocks of 16 bytes from `in` to `out` (the same buffer or apart).
    void EncryptBlocks(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks);

    struct TKey;

private:
    std::unique_ptr<TKey> key_;
};

/// HMAC-SHA1 under one key, over data given in pieces: Update any number of times, then
/// Final once.
class THmacSha1 {
public:
    /// The provider must outlive the object. Any key length (a key longer than SHA-1's
    /// 64-byte block is hashed first, as HMAC says).
    THmacSha1(const TCryptoProvider& provider, std::span<const std::uint8_t> key);
    ~THmacSha1();
    THmacSha1(const THmacSha1&) = delete;
    THmacSha1& operator=(const THmacSha1&) = delete;

    void Update(const std::uint8_t* data, std::size_t count);
    /// The 20-byte code of everything given to Update. Nothing may follow it.
    std::array<std::uint8_t, kSha1Size> Final();

    struct TState;

private:
    std::unique_ptr<TState> state_;
};

} // namespace zorvi::crypt
