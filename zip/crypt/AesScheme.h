// ZIP's AES scheme for one entry: the password check, the decryption of the data and the
// check of its authentication code. The entry's data in the archive is
//
//   salt (8, 12 or 16 bytes: SaltSize of the 0x9901 field, AesField.h)
//   password verifier (2 bytes)
//   the encrypted data (the entry's compressed size less all the rest)
//   authentication code (10 bytes)
//
// PBKDF2-HMAC-SHA1 of the password and the salt, 1,000 rounds, gives 2 × key size + 2 bytes:
// the AES key, the HMAC key and the verifier, in that order. The data is AES in the scheme's
// counter mode (AesCtr.h) under the AES key; the code is the first 10 bytes of HMAC-SHA1,
// under the HMAC key, of the encrypted data.
//
// Who does what: the engine reads HeaderSize() bytes where the entry's data starts and calls
// Begin with a candidate password's bytes (false: a wrong password, try the next); it lowers
// the compressed size to DataSize() and lets the decoding layer read that many bytes through
// Decrypt, in stream order, in pieces of any size; then it reads the 10 bytes that follow and
// calls Finish. The code covers all DataSize() bytes: when a decoder stops before the end of
// its input, the rest must still go through Decrypt before Finish (into a scratch buffer).
// Only a Finish that returns true makes the entry authentic: a wrong password that passed
// the 2-byte verifier (1 in 65,536 do) and any change to the encrypted data fail there.
// Whatever the salt, verifier and data hold, the scheme answers false, never raises for
// them; only the platform's cryptography failing raises (ECryptoFailure).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "zip/crypt/AesCtr.h"
#include "zip/crypt/AesField.h"
#include "zip/crypt/Crypto.h"

namespace zorvi::crypt {

class TAesScheme {
public:
    static constexpr std::size_t kVerifierSize = 2;
    static constexpr std::size_t kAuthCodeSize = 10;
    static constexpr std::uint32_t kKeyIterations = 1000;

    /// The scheme of an entry with `field`. The provider (opened once per run or worker) must
    /// outlive the scheme.
    TAesScheme(const TCryptoProvider& provider, const TAesField& field);

    const TAesField& Field() const { return field_; }
    /// Bytes in front of the encrypted data: salt and verifier.
    std::size_t HeaderSize() const { return field_.SaltSize() + kVerifierSize; }
    /// Bytes after the encrypted data: the authentication code.
    static constexpr std::size_t TrailerSize() { return kAuthCodeSize; }
    /// The encrypted data's size in an entry of `compressedSize` bytes; none when the entry
    /// is too short to hold the header and the code.
    std::optional<std::uint64_t> DataSize(std::uint64_t compressedSize) const;

    /// Derives the keys from `password` (the bytes tried) and the salt of `header`
    /// (HeaderSize() bytes) and compares the verifier. True: the password is very likely
    /// right, and Decrypt may follow. False: it is wrong (or the header is not HeaderSize()
    /// bytes long); nothing may follow but another Begin.
    bool Begin(std::span<const std::uint8_t> password, std::span<const std::uint8_t> header);

    /// Decrypts the next `count` bytes of the encrypted data in place, and adds the encrypted
    /// bytes to the authentication code. After a successful Begin only.
    void Decrypt(std::uint8_t* data, std::size_t count);

    /// Compares `authCode` (the 10 bytes after the data) with the code of the data given to
    /// Decrypt, in time independent of where they differ. True: the data is authentic. Ends
    /// the entry: another Begin must come before Decrypt.
    bool Finish(std::span<const std::uint8_t> authCode);

private:
    const TCryptoProvider& provider_;
    TAesField field_;
    std::optional<TAesCtr> ctr_;
    std::optional<THmacSha1> hmac_;
};

} // namespace zorvi::crypt
