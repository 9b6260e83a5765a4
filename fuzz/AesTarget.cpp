// Fuzz target: the AES scheme (zip/crypt) over the header and data of an entry, against the
// scheme written out with libcrypto's own calls (tests/native/crypt/AesReference.cpp).
//
// Input: byte 0, bits 0-5: the password's length (0 to 63); byte 1: the data is handed to
// Decrypt in pieces of 1 + byte × 67 bytes (1 to 17,086), so that pieces split AES blocks
// and the 4 KiB key-stream batches, or take the data whole; byte 2: where a byte of the
// round trip's data is flipped (bit 0 set: no flip); bytes 3-9: the 0x9901 field's data;
// then the password, the salt and verifier (the field's size), and the rest: the entry's
// data and its 10-byte code as stored.
//
// Invariants:
//  - aes.field: the field is taken exactly when it is 7 bytes of vendor version 1 or 2,
//    "AE" and strength 1 to 3, and gives back its version, strength and method;
//  - aes.verifier: Begin accepts the fuzz header exactly when the reference's verifier for
//    the password and salt is the header's;
//  - aes.decrypt: an accepted entry decrypts, in pieces, to the reference's decryption, and
//    Finish says whether the stored code is the reference's code of the data;
//  - aes.round-trip: the rest, taken as plain data and encrypted by the reference, comes back
//    through Begin, Decrypt in pieces and Finish, authentic;
//  - aes.flipped: the same with one byte of the encrypted data or code flipped is not
//    authentic (and the salt, verifier, data and code are never read out of bounds, which
//    the sanitizers check).
#include <algorithm>
#include <string>

#include "AesTestSupport.h"
#include "fuzz/FuzzSupport.h"
#include "zip/crypt/AesScheme.h"

namespace zorvi::fuzz {
namespace {

using test::TAesBytes;

/// What the format allows in the field, written out apart from ParseAesField.
bool FieldAllowed(std::span<const std::uint8_t> data) {
    return data.size() == 7 && (data[0] == 1 || data[0] == 2) && data[1] == 0 && data[2] == 'A' &&
           data[3] == 'E' && data[4] >= 1 && data[4] <= 3;
}

/// The scheme's answer for a stored entry: Begin, Decrypt in pieces, Finish.
struct TSchemeRun {
    bool Accepted = false;
    bool Authentic = false;
    TAesBytes Data;
};

TSchemeRun RunScheme(const crypt::TCryptoProvider& provider, const crypt::TAesField& field,
                     const TAesBytes& password, std::span<const std::uint8_t> header,
                     const TAesBytes& data, std::span<const std::uint8_t> code, std::size_t piece) {
    crypt::TAesScheme scheme(provider, field);
    TSchemeRun run;
    run.Accepted = scheme.Begin(password, header);
    if (!run.Accepted) {
        return run;
    }
    run.Data = data;
    for (std::size_t at = 0; at < run.Data.size(); at += piece) {
        scheme.Decrypt(run.Data.data() + at, std::min(piece, run.Data.size() - at));
    }
    run.Authentic = scheme.Finish(code);
    return run;
}

} // namespace
} // namespace zorvi::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zorvi;
    using namespace zorvi::fuzz;
    return RunInput([&] {
        TInputReader in(data, size);
        const std::size_t passwordLength = in.Byte() & 63;
        const std::size_t piece = 1 + std::size_t{in.Byte()} * 67;
        const std::uint8_t flip = in.Byte();
        const auto fieldBytes = in.Take(crypt::kAesFieldSize);
        const auto field = crypt::ParseAesField(fieldBytes);
        Check(field.has_value() == FieldAllowed(fieldBytes) &&
                  (!field || (field->VendorVersion == fieldBytes[0] &&
                              static_cast<int>(field->Strength) == fieldBytes[4] &&
                              field->Method == (fieldBytes[5] | (fieldBytes[6] << 8)))),
              "aes.field", [&] { return HexAround(fieldBytes, 0); });
        if (!field) {
            return; // an entry with this field is not decrypted at all
        }
        const auto passwordBytes = in.Take(passwordLength);
        const TAesBytes password(passwordBytes.begin(), passwordBytes.end());
        const auto headerBytes = in.Take(field->SaltSize() + crypt::TAesScheme::kVerifierSize);
        if (headerBytes.size() < field->SaltSize() + crypt::TAesScheme::kVerifierSize) {
            return; // too short for a header: the engine does not call Begin
        }
        const TAesBytes salt(headerBytes.begin(), headerBytes.begin() + field->SaltSize());
        const auto rest = in.Rest();
        const std::size_t codeSize = std::min(rest.size(), crypt::TAesScheme::kAuthCodeSize);
        const TAesBytes stored(rest.begin(), rest.end() - codeSize);
        const auto storedCode = rest.last(codeSize);

        static const crypt::TCryptoProvider provider; // opened once, as the engine does per run
        const test::TAesReferenceKeys keys =
            test::AesReferenceKeys(password, field->Strength, salt);

        // The fuzz bytes as a stored entry.
        const bool verifierMatches =
            std::equal(keys.Verifier.begin(), keys.Verifier.end(), headerBytes.end() - 2);
        const TSchemeRun asStored =
            RunScheme(provider, *field, password, headerBytes, stored, storedCode, piece);
        Check(asStored.Accepted == verifierMatches, "aes.verifier", [&] {
            return std::string("Begin said ") + (asStored.Accepted ? "right" : "wrong") +
                   " for header " + HexAround(headerBytes, headerBytes.size() - 2);
        });
        if (asStored.Accepted) {
            const TAesBytes referenceCode = test::AesReferenceCode(keys, stored);
            const bool codeMatches =
                codeSize == crypt::TAesScheme::kAuthCodeSize &&
                std::equal(referenceCode.begin(), referenceCode.end(), storedCode.begin());
            Check(asStored.Data == test::AesReferenceXor(keys, stored) &&
                      asStored.Authentic == codeMatches,
                  "aes.decrypt", [&] { return std::to_string(stored.size()) + " bytes"; });
        }

        // The rest as plain data, encrypted by the reference.
        const TAesBytes plain(rest.begin(), rest.end());
        const TAesBytes encrypted = test::AesReferenceXor(keys, plain);
        const TAesBytes code = test::AesReferenceCode(keys, encrypted);
        TAesBytes header = salt;
        header.insert(header.end(), keys.Verifier.begin(), keys.Verifier.end());
        const TSchemeRun roundTrip =
            RunScheme(provider, *field, password, header, encrypted, code, piece);
        Check(roundTrip.Accepted && roundTrip.Authentic && roundTrip.Data == plain,
              "aes.round-trip", [&] {
                  return std::to_string(plain.size()) + " bytes in pieces of " +
                         std::to_string(piece) + (roundTrip.Accepted ? "" : ": refused");
              });
        if ((flip & 1) == 0) {
            // One byte of the data or of the code, from where byte 2 says.
            TAesBytes flipped = encrypted;
            flipped.insert(flipped.end(), code.begin(), code.end());
            const std::size_t at = (std::size_t{flip} * 257) % flipped.size();
            flipped[at] ^= 0x40;
            const TAesBytes flippedData(flipped.begin(), flipped.end() - 10);
            const TSchemeRun damaged = RunScheme(provider, *field, password, header, flippedData,
                                                 std::span(flipped).last(10), piece);
            Check(damaged.Accepted && !damaged.Authentic, "aes.flipped",
                  [&] { return "byte " + std::to_string(at) + " flipped, still authentic"; });
        }
    });
}
