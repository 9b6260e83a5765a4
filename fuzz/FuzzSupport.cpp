#include "fuzz/FuzzSupport.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>

namespace zorvi::fuzz {
namespace {

/// Thrown by Check to end an input that shows a known fault; caught by RunInput only.
struct TKnownFaultSeen {};

} // namespace

bool IsKnownFault(std::string_view id) {
    const char* list = std::getenv("ZORVI_FUZZ_KNOWN_FAULTS");
    if (list == nullptr) {
        return false;
    }
    // Identifiers separated by commas or blanks.
    std::string_view rest(list);
    while (!rest.empty()) {
        const std::size_t end = rest.find_first_of(", ");
        if (rest.substr(0, end) == id) {
            return true;
        }
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    }
    return false;
}

void Check(bool holds, std::string_view id, const std::function<std::string()>& detail) {
    if (holds) {
        return;
    }
    if (IsKnownFault(id)) {
        // Said once per process: a fault that is easy to reach is met thousands of times.
        static std::set<std::string, std::less<>> announced;
        if (announced.insert(std::string(id)).second) {
            std::fprintf(stderr, "known fault met (tolerated from now on): %.*s: %s\n",
                         static_cast<int>(id.size()), id.data(), detail().c_str());
        }
        throw TKnownFaultSeen{};
    }
    std::fprintf(stderr, "invariant %.*s violated: %s\n", static_cast<int>(id.size()), id.data(),
                 detail().c_str());
    std::fflush(stderr);
    std::abort();
}

int RunInput(const std::function<void()>& body) {
    try {
        body();
    } catch (const TKnownFaultSeen&) {
    }
    return 0;
}

std::uint64_t TInputReader::Number(unsigned count) {
    std::uint64_t value = 0;
    for (unsigned i = 0; i < count; ++i) {
        value |= static_cast<std::uint64_t>(Byte()) << (8 * i);
    }
    return value;
}

std::span<const std::uint8_t> TInputReader::Take(std::size_t count) {
    const std::size_t n = std::min(count, size_ - pos_);
    const std::span<const std::uint8_t> part(data_ + pos_, n);
    pos_ += n;
    return part;
}

std::uint32_t ReferenceCrc32(std::span<const std::uint8_t> data) {
    uLong crc = crc32(0, nullptr, 0);
    // zlib takes at most 4 GiB - 1 bytes per call; the targets never have more.
    crc = crc32(crc, data.data(), static_cast<uInt>(data.size()));
    return static_cast<std::uint32_t>(crc);
}

TBytes ZlibDeflate(std::span<const std::uint8_t> data) {
    z_stream z{};
    if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        std::abort();
    }
    TBytes out(deflateBound(&z, static_cast<uLong>(data.size())));
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    if (deflate(&z, Z_FINISH) != Z_STREAM_END) {
        std::abort();
    }
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

TZlibOutcome ZlibInflate(std::span<const std::uint8_t> stream, std::uint64_t limit) {
    TZlibOutcome r;
    r.Output.resize(limit + 1);
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) {
        std::abort();
    }
    z.next_in = const_cast<Bytef*>(stream.data());
    z.avail_in = static_cast<uInt>(stream.size());
    z.next_out = r.Output.data();
    z.avail_out = static_cast<uInt>(r.Output.size());
    r.Finished = ::inflate(&z, Z_FINISH) == Z_STREAM_END;
    r.Output.resize(z.total_out);
    inflateEnd(&z);
    return r;
}

TReferenceCipher::TReferenceCipher(std::string_view password)
    : Keys{0x12345678u, 0x23456789u, 0x34567890u} {
    for (char c : password) {
        Update(static_cast<std::uint8_t>(c));
    }
}

void TReferenceCipher::Update(std::uint8_t plain) {
    // The key update of the format: key0 and key2 are CRC-32 registers advanced by one byte
    // (zlib's table), key1 a linear congruential step on the low byte of key0.
    const z_crc_t* table = get_crc_table();
    Keys[0] = static_cast<std::uint32_t>(table[(Keys[0] ^ plain) & 0xFF]) ^ (Keys[0] >> 8);
    Keys[1] = (Keys[1] + (Keys[0] & 0xFF)) * 134775813u + 1;
    const std::uint8_t high = static_cast<std::uint8_t>(Keys[1] >> 24);
    Keys[2] = static_cast<std::uint32_t>(table[(Keys[2] ^ high) & 0xFF]) ^ (Keys[2] >> 8);
}

std::uint8_t TReferenceCipher::KeyStream() const {
    const std::uint32_t t = (Keys[2] & 0xFFFF) | 2;
    return static_cast<std::uint8_t>((t * (t ^ 1)) >> 8);
}

std::uint8_t TReferenceCipher::Decrypt(std::uint8_t cipherByte) {
    const std::uint8_t plain = cipherByte ^ KeyStream();
    Update(plain);
    return plain;
}

std::uint8_t TReferenceCipher::Encrypt(std::uint8_t plainByte) {
    const std::uint8_t cipherByte = plainByte ^ KeyStream();
    Update(plainByte);
    return cipherByte;
}

std::string HexAround(std::span<const std::uint8_t> data, std::size_t at) {
    std::string text;
    const std::size_t from = at > 8 ? at - 8 : 0;
    for (std::size_t i = from; i < data.size() && i < at + 8; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02x", data[i]);
        text += i == at ? "[" + std::string(hex) + "]" : std::string(hex);
        text += ' ';
    }
    return "offset " + std::to_string(at) + ": " + text;
}

} // namespace zorvi::fuzz
