// Deflate's fixed Huffman code (RFC 1951 section 3.2.6) as the code lengths the table
// builders take, named once for every place that builds its tables:
//   literal/length symbols   0-143: 8 bits, 144-255: 9 bits, 256-279: 7 bits, 280-287: 8 bits
//   distance symbols         0-29: 5 bits (30 and 31 have no meaning: the 30 codes are an
//                            incomplete code, which the fixed code is allowed to be)
// Deflate64's fixed code is the same but for its distance code: all 32 symbols, 5 bits each
// (a complete code).
#pragma once

#include <array>
#include <cstdint>

namespace zorvi {

inline constexpr std::array<std::uint8_t, 288> kFixedLitlenLengths = [] {
    std::array<std::uint8_t, 288> lengths{};
    for (unsigned sym = 0; sym < lengths.size(); ++sym) {
        lengths[sym] = sym < 144 ? 8 : sym < 256 ? 9 : sym < 280 ? 7 : 8;
    }
    return lengths;
}();

inline constexpr std::array<std::uint8_t, 30> kFixedDistLengths = [] {
    std::array<std::uint8_t, 30> lengths{};
    lengths.fill(5);
    return lengths;
}();

inline constexpr std::array<std::uint8_t, 32> kDeflate64FixedDistLengths = [] {
    std::array<std::uint8_t, 32> lengths{};
    lengths.fill(5);
    return lengths;
}();

} // namespace zorvi
