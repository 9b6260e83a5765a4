#include "zip/crypt/AesScheme.h"

#include <array>
#include <stdexcept>

namespace zorvi::crypt {
namespace {

/// The most PBKDF2 bytes an entry needs: two 32-byte keys of AES-256 and the verifier.
constexpr std::size_t kMaxDerivedSize = 2 * 32 + TAesScheme::kVerifierSize;

/// Overwrites key material before its memory is given back; through a volatile pointer, so
/// that the compiler cannot drop the stores to memory that is about to die.
void Wipe(std::span<std::uint8_t> bytes) {
    volatile std::uint8_t* p = bytes.data();
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        p[i] = 0;
    }
}

/// Whether `a` and `b` hold the same bytes, looking at every byte whatever the first
/// difference: the time taken tells nothing of how much of a forged code was right.
bool SameBytes(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
    if (a.size() != b.size()) {
        return false;
    }
    std::uint8_t difference = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        difference |= static_cast<std::uint8_t>(a[i] ^ b[i]);
    }
    return difference == 0;
}

} // namespace

TAesScheme::TAesScheme(const TCryptoProvider& provider, const TAesField& field)
    : provider_(provider), field_(field) {}

std::optional<std::uint64_t> TAesScheme::DataSize(std::uint64_t compressedSize) const {
    const std::uint64_t overhead = HeaderSize() + TrailerSize();
    if (compressedSize < overhead) {
        return std::nullopt;
    }
    return compressedSize - overhead;
}

bool TAesScheme::Begin(std::span<const std::uint8_t> password,
                       std::span<const std::uint8_t> header) {
    ctr_.reset();
    hmac_.reset();
    if (header.size() != HeaderSize()) {
        return false;
    }
    const std::size_t keySize = field_.KeySize();
    std::array<std::uint8_t, kMaxDerivedSize> derived{};
    const std::span<std::uint8_t> keys(derived.data(), 2 * keySize + kVerifierSize);
    provider_.DerivePbkdf2HmacSha1(password, header.first(field_.SaltSize()), kKeyIterations, keys);
    const bool verified = SameBytes(keys.subspan(2 * keySize), header.last(kVerifierSize));
    if (verified) {
        ctr_.emplace(provider_, keys.first(keySize));
        hmac_.emplace(provider_, keys.subspan(keySize, keySize));
    }
    Wipe(derived);
    return verified;
}

void TAesScheme::Decrypt(std::uint8_t* data, std::size_t count) {
    if (!ctr_) {
        throw std::logic_error("TAesScheme::Decrypt without an accepted password");
    }
    // The code covers the data as stored, so it goes in before the data is decrypted.
    hmac_->Update(data, count);
    ctr_->Apply(data, count);
}

bool TAesScheme::Finish(std::span<const std::uint8_t> authCode) {
    if (!hmac_) {
        throw std::logic_error("TAesScheme::Finish without an accepted password");
    }
    const std::array<std::uint8_t, kSha1Size> code = hmac_->Final();
    ctr_.reset();
    hmac_.reset();
    return SameBytes(std::span(code).first(kAuthCodeSize), authCode);
}

} // namespace zorvi::crypt
