// CRC-32 by slicing: sixteen bytes per step through sixteen derived tables.
//
// The byte-at-a-time reference is CrcStep: reg = T[(reg ^ b) & 0xFF] ^ (reg >> 8). Table k
// holds the effect of a byte followed by k zero bytes: T_k[b] = T_0[T_{k-1}[b] & 0xFF] ^
// (T_{k-1}[b] >> 8). Because the CRC is linear, the register after sixteen bytes is the xor of
// each byte's contribution looked up in the table of its distance from the end; the first four
// bytes are xored into the register first. Same values as CrcStep, about eight times fewer
// dependent steps.
#include "zip/decoders/Crc32.h"

#include <cstring>

namespace zorvi {
namespace {

constexpr int kSlices = 16;

using TSliceTables = std::array<std::array<std::uint32_t, 256>, kSlices>;

constexpr TSliceTables MakeSliceTables() {
    TSliceTables t{};
    t[0] = kCrcTable;
    for (int k = 1; k < kSlices; ++k) {
        for (int b = 0; b < 256; ++b) {
            t[k][b] = kCrcTable[t[k - 1][b] & 0xFF] ^ (t[k - 1][b] >> 8);
        }
    }
    return t;
}

constexpr TSliceTables kSliceTables = MakeSliceTables();

std::uint32_t LoadLe32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

} // namespace

std::uint32_t UpdateCrc32(std::uint32_t reg, const std::uint8_t* data, std::size_t count) {
    const auto& t = kSliceTables;
    while (count >= kSlices) {
        const std::uint32_t a = LoadLe32(data) ^ reg;
        const std::uint32_t b = LoadLe32(data + 4);
        const std::uint32_t c = LoadLe32(data + 8);
        const std::uint32_t d = LoadLe32(data + 12);
        reg = t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF] ^ t[13][(a >> 16) & 0xFF] ^ t[12][a >> 24] ^
              t[11][b & 0xFF] ^ t[10][(b >> 8) & 0xFF] ^ t[9][(b >> 16) & 0xFF] ^ t[8][b >> 24] ^
              t[7][c & 0xFF] ^ t[6][(c >> 8) & 0xFF] ^ t[5][(c >> 16) & 0xFF] ^ t[4][c >> 24] ^
              t[3][d & 0xFF] ^ t[2][(d >> 8) & 0xFF] ^ t[1][(d >> 16) & 0xFF] ^ t[0][d >> 24];
        data += kSlices;
        count -= kSlices;
    }
    while (count-- > 0) {
        reg = CrcStep(reg, *data++);
    }
    return reg;
}

} // namespace zorvi
