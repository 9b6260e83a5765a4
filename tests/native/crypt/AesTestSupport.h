// What the AES tests share: the steps the engine takes with an entry's data through the
// scheme, and a reference of the scheme made with libcrypto directly (AesReference.cpp).
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "zip/crypt/AesScheme.h"

namespace zorvi::test {

using TAesBytes = std::vector<std::uint8_t>;

/// What the scheme made of an entry's data.
struct TOpenedAesEntry {
    bool PasswordAccepted = false;
    bool Authentic = false;
    TAesBytes Data; // the decrypted data
};

/// An entry's stored data (salt, verifier, data, code) through the scheme as the engine
/// takes it: DataSize, Begin with the header, Decrypt in pieces of `piece` bytes, Finish.
inline TOpenedAesEntry OpenAesEntry(const crypt::TCryptoProvider& provider,
                                    const crypt::TAesField& field, const TAesBytes& password,
                                    const TAesBytes& raw, std::size_t piece = 333) {
    crypt::TAesScheme scheme(provider, field);
    TOpenedAesEntry opened;
    const auto dataSize = scheme.DataSize(raw.size());
    if (!dataSize) {
        return opened;
    }
    const auto header = std::span(raw).first(scheme.HeaderSize());
    opened.PasswordAccepted = scheme.Begin(password, header);
    if (!opened.PasswordAccepted) {
        return opened;
    }
    opened.Data.assign(raw.begin() + static_cast<std::ptrdiff_t>(header.size()),
                       raw.begin() + static_cast<std::ptrdiff_t>(header.size() + *dataSize));
    for (std::size_t at = 0; at < opened.Data.size(); at += piece) {
        scheme.Decrypt(opened.Data.data() + at, std::min(piece, opened.Data.size() - at));
    }
    opened.Authentic = scheme.Finish(std::span(raw).last(crypt::TAesScheme::kAuthCodeSize));
    return opened;
}

// The scheme written out from the format's description with libcrypto's own calls
// (PKCS5_PBKDF2_HMAC_SHA1, the AES-ECB cipher, HMAC) rather than the code under test:
// AesReference.cpp, natively only. The fuzz target of the scheme uses it too.

/// The keys PBKDF2 gives for `password` and `salt` (the strength's salt size).
struct TAesReferenceKeys {
    TAesBytes AesKey;
    TAesBytes HmacKey;
    TAesBytes Verifier; // 2 bytes
};
TAesReferenceKeys AesReferenceKeys(const TAesBytes& password, crypt::TAesStrength strength,
                                   const TAesBytes& salt);
/// `data` XORed with the key stream from its start: encrypted, or decrypted.
TAesBytes AesReferenceXor(const TAesReferenceKeys& keys, const TAesBytes& data);
/// The 10-byte authentication code of the encrypted data.
TAesBytes AesReferenceCode(const TAesReferenceKeys& keys, const TAesBytes& encrypted);

/// The stored data of an entry encrypted with the AES scheme: `salt`, verifier, `data`
/// encrypted, code.
TAesBytes EncryptAesEntry(const TAesBytes& password, crypt::TAesStrength strength,
                          const TAesBytes& salt, const TAesBytes& data);

} // namespace zorvi::test
