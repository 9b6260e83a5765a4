#include "tools/flash-tool/core/UuCodec.h"

namespace zorvi {
namespace {

constexpr char kZeroCharacter = '`';

char EncodeSix(unsigned value) {
    value &= 0x3F;
    return value == 0 ? kZeroCharacter : static_cast<char>(0x20 + value);
}

// Characters 0x20..0x60 carry six bits; '`' (0x60) and ' ' (0x20) both stand for 0.
std::optional<unsigned> DecodeSix(char c) {
    const auto code = static_cast<unsigned char>(c);
    if (code < 0x20 || code > 0x60) {
        return std::nullopt;
    }
    return (code - 0x20u) & 0x3Fu;
}

std::size_t EncodedLength(std::size_t byteCount) {
    return (byteCount + 2) / 3 * 4;
}

} // namespace

std::string UuEncodeLine(std::span<const std::uint8_t> bytes) {
    std::string line;
    line.reserve(1 + EncodedLength(bytes.size()));
    line.push_back(EncodeSix(static_cast<unsigned>(bytes.size())));
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const unsigned b0 = bytes[i];
        const unsigned b1 = i + 1 < bytes.size() ? bytes[i + 1] : 0;
        const unsigned b2 = i + 2 < bytes.size() ? bytes[i + 2] : 0;
        line.push_back(EncodeSix(b0 >> 2));
        line.push_back(EncodeSix((b0 << 4) | (b1 >> 4)));
        line.push_back(EncodeSix((b1 << 2) | (b2 >> 6)));
        line.push_back(EncodeSix(b2));
    }
    return line;
}

std::optional<std::vector<std::uint8_t>> UuDecodeLine(std::string_view line) {
    if (line.empty()) {
        return std::nullopt;
    }
    const auto length = DecodeSix(line[0]);
    if (!length || *length > kUuBytesPerLine) {
        return std::nullopt;
    }
    std::string_view groups = line.substr(1);
    const std::size_t expected = EncodedLength(*length);
    // Senders that spell 0 as a blank may pad the line with blanks or have its
    // trailing blanks stripped on the way: extra blanks are dropped and missing
    // characters count as 0. Anything else beyond the expected length is garbage.
    while (groups.size() > expected && groups.back() == ' ') {
        groups.remove_suffix(1);
    }
    if (groups.size() > expected) {
        return std::nullopt;
    }
    std::vector<unsigned> sixes(expected, 0);
    for (std::size_t i = 0; i < groups.size(); ++i) {
        const auto value = DecodeSix(groups[i]);
        if (!value) {
            return std::nullopt;
        }
        sixes[i] = *value;
    }
    std::vector<std::uint8_t> bytes;
    bytes.reserve(expected / 4 * 3);
    for (std::size_t i = 0; i < expected; i += 4) {
        bytes.push_back(static_cast<std::uint8_t>((sixes[i] << 2) | (sixes[i + 1] >> 4)));
        bytes.push_back(static_cast<std::uint8_t>((sixes[i + 1] << 4) | (sixes[i + 2] >> 2)));
        bytes.push_back(static_cast<std::uint8_t>((sixes[i + 2] << 6) | sixes[i + 3]));
    }
    bytes.resize(*length);
    return bytes;
}

std::uint32_t ByteSum(std::span<const std::uint8_t> bytes) {
    std::uint32_t sum = 0;
    for (const std::uint8_t b : bytes) {
        sum += b;
    }
    return sum;
}

} // namespace zorvi
