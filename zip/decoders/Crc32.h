// The CRC-32 of the ZIP format: reflected polynomial 0xEDB88320, register preset to
// 0xFFFFFFFF by the caller and complemented by the caller at the end. The one-byte step is
// also the mixing function of the traditional cipher's key update.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace zorvi {

/// The standard 256-entry table: entry b is the register after shifting the byte b through
/// eight steps of the reflected polynomial 0xEDB88320 from a zero register.
inline constexpr std::array<std::uint32_t, 256> kCrcTable = [] {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t b = 0; b < 256; ++b) {
        std::uint32_t r = b;
        for (int bit = 0; bit < 8; ++bit) {
            r = (r & 1) ? (r >> 1) ^ 0xEDB88320u : r >> 1;
        }
        table[b] = r;
    }
    return table;
}();
static_assert(kCrcTable[1] == 0x77073096u && kCrcTable[255] == 0x2D02EF8Du);

/// One byte through the register: table[(register xor byte) and 0xFF] xor (register >> 8).
inline std::uint32_t CrcStep(std::uint32_t reg, std::uint8_t byte) {
    return kCrcTable[(reg ^ byte) & 0xFF] ^ (reg >> 8);
}

/// Advances the register over `count` bytes; the same value as `count` calls of CrcStep.
/// Takes the fastest of the methods below that the processor has.
std::uint32_t UpdateCrc32(std::uint32_t reg, const std::uint8_t* data, std::size_t count);

/// The ways of UpdateCrc32, all giving the same values: slicing tables (any processor),
/// folding with carry-less multiplication on 128-bit registers (x86 PCLMULQDQ), the same
/// folding two lanes to a 256-bit register (VPCLMULQDQ with AVX2), and four lanes to a
/// 512-bit register (VPCLMULQDQ with AVX-512), 256 bytes a step.
enum class TCrcMethod { Sliced, Clmul, WideClmul, Clmul512 };
/// Whether this processor (and this build) has the method.
bool CrcMethodAvailable(TCrcMethod method);
/// UpdateCrc32 by the given method, which must be available; for the tests of each.
std::uint32_t UpdateCrc32With(TCrcMethod method, std::uint32_t reg, const std::uint8_t* data,
                              std::size_t count);

} // namespace zorvi
