// Fuzz target: the traditional cipher (TZipCipher) and an encrypted stored entry through the
// decoder contract, against the reference cipher of FuzzSupport.
//
// Input: byte 0, bits 0-5: the password's length (0 to 63); byte 1: the data is repeated
// 1 + byte % 24 times, so that an entry crosses the decoder's 32 KB input blocks; then the
// password, the 12-byte encryption header and the data.
//
// Invariants:
//  - cipher.header: DecryptHeader returns the last plain byte of the header and leaves the
//    keys the reference has after the password and the header;
//  - cipher.decrypt: the data, taken as an encrypted entry, decrypts to what the reference
//    makes of it, block boundaries or not;
//  - cipher.round-trip: the header and data, taken as plain text and encrypted by the
//    reference, come back: the check byte is the header's last byte, the entry is the data.
#include <string>

#include "fuzz/DecoderHarness.h"
#include "zip/decoders/EntryDecoder.h"
#include "zip/decoders/ZipCipher.h"

namespace zorvi::fuzz {
namespace {

constexpr unsigned kMaxRepeats = 24;

std::string Keys(std::uint32_t k0, std::uint32_t k1, std::uint32_t k2) {
    return std::to_string(k0) + "/" + std::to_string(k1) + "/" + std::to_string(k2);
}

/// Decrypts `header` with `cipher` and checks it against the reference `plain` header.
void CheckHeader(TZipCipher& cipher, std::string_view password,
                 const std::uint8_t (&header)[kEncryptionHeaderSize],
                 const TReferenceCipher& reference, std::uint8_t expectedCheck) {
    const std::uint8_t check = cipher.DecryptHeader(password, header);
    Check(check == expectedCheck && cipher.Key0() == reference.Keys[0] &&
              cipher.Key1() == reference.Keys[1] && cipher.Key2() == reference.Keys[2],
          "cipher.header", [&] {
              return "password of " + std::to_string(password.size()) + " bytes: check byte " +
                     std::to_string(check) + " for " + std::to_string(expectedCheck) + ", keys " +
                     Keys(cipher.Key0(), cipher.Key1(), cipher.Key2()) + " for " +
                     Keys(reference.Keys[0], reference.Keys[1], reference.Keys[2]);
          });
}

/// The entry `data` decrypted by `cipher` through the decoder as a stored entry.
TBytes DecryptEntry(TZipCipher& cipher, const TBytes& data) {
    TDecoderCase entry;
    entry.Method = 0;
    entry.UncompressedSize = static_cast<std::int64_t>(data.size());
    entry.Cipher = &cipher;
    static TEntryDecoder decoder; // its buffers are too large to make for every input
    return Decode(entry, data, decoder).Output;
}

} // namespace
} // namespace zorvi::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zorvi;
    using namespace zorvi::fuzz;
    return RunInput([&] {
        TInputReader in(data, size);
        const std::size_t passwordLength = in.Byte() & 63;
        const unsigned repeats = 1 + in.Byte() % kMaxRepeats;
        const auto passwordBytes = in.Take(passwordLength);
        const std::string password(passwordBytes.begin(), passwordBytes.end());
        std::uint8_t header[kEncryptionHeaderSize] = {};
        const auto headerBytes = in.Take(kEncryptionHeaderSize);
        std::copy(headerBytes.begin(), headerBytes.end(), header);
        const auto rest = in.Rest();
        TBytes entry;
        for (unsigned i = 0; i < repeats; ++i) {
            entry.insert(entry.end(), rest.begin(), rest.end());
        }

        // The fuzz bytes as an encrypted header and entry.
        TReferenceCipher reference(password);
        std::uint8_t plainCheck = 0;
        for (std::uint8_t b : header) {
            plainCheck = reference.Decrypt(b);
        }
        TZipCipher cipher;
        CheckHeader(cipher, password, header, reference, plainCheck);
        TBytes expected;
        for (std::uint8_t b : entry) {
            expected.push_back(reference.Decrypt(b));
        }
        const TBytes decrypted = DecryptEntry(cipher, entry);
        Check(decrypted == expected, "cipher.decrypt", [&] {
            return std::to_string(entry.size()) + " bytes, " + std::to_string(decrypted.size()) +
                   " decrypted";
        });

        // The fuzz bytes as the plain header and entry.
        TReferenceCipher encryptor(password);
        std::uint8_t encryptedHeader[kEncryptionHeaderSize];
        for (std::size_t i = 0; i < kEncryptionHeaderSize; ++i) {
            encryptedHeader[i] = encryptor.Encrypt(header[i]);
        }
        TBytes encrypted;
        for (std::uint8_t b : entry) {
            encrypted.push_back(encryptor.Encrypt(b));
        }
        TReferenceCipher afterHeader(password);
        for (std::uint8_t b : encryptedHeader) {
            afterHeader.Decrypt(b);
        }
        TZipCipher roundTrip;
        CheckHeader(roundTrip, password, encryptedHeader, afterHeader,
                    header[kEncryptionHeaderSize - 1]);
        Check(DecryptEntry(roundTrip, encrypted) == entry, "cipher.round-trip",
              [&] { return std::to_string(entry.size()) + " bytes do not come back"; });
    });
}
