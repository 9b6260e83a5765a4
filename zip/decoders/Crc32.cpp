// CRC-32, two ways with the same values: carry-less multiplication where the processor has
// it (x86 PCLMULQDQ, chosen at run time), otherwise slicing by sixteen.
//
// Slicing: sixteen bytes per step through sixteen derived tables.
//
// The byte-at-a-time reference is CrcStep: reg = T[(reg ^ b) & 0xFF] ^ (reg >> 8). Table k
// holds the effect of a byte followed by k zero bytes: T_k[b] = T_0[T_{k-1}[b] & 0xFF] ^
// (T_{k-1}[b] >> 8). Because the CRC is linear, the register after sixteen bytes is the xor of
// each byte's contribution looked up in the table of its distance from the end; the first four
// bytes are xored into the register first. Same values as CrcStep, about eight times fewer
// dependent steps.
#include "zip/decoders/Crc32.h"

#include <cstring>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#define ZORVI_CRC32_CLMUL 1
#endif

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

std::uint32_t UpdateCrc32Sliced(std::uint32_t reg, const std::uint8_t* data, std::size_t count) {
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

#ifdef ZORVI_CRC32_CLMUL

// Folding with carry-less multiplication ("Fast CRC Computation for Generic Polynomials
// Using PCLMULQDQ", Intel, 2009). Four 128-bit lanes absorb 64 bytes per step: each lane is
// multiplied by x^(512+64) and x^512 modulo the polynomial (k1, k2) and xored with the next
// 64 bytes. The lanes are then folded into one (k3, k4: x^(128+64), x^128), the 128 bits
// reduced to 64 (k5) and to 32 bits by Barrett reduction (mu and the polynomial P'). All
// constants are bit-reflected, as the ZIP CRC is. `count` is a multiple of 16, at least 64.
#define ZORVI_CLMUL_TARGET __attribute__((target("pclmul,sse4.1")))

ZORVI_CLMUL_TARGET inline __m128i Load128(const std::uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

/// x·k (both 64-bit halves) xored with the next 128 bits.
ZORVI_CLMUL_TARGET inline __m128i Fold(__m128i x, __m128i k, __m128i next) {
    const __m128i lo = _mm_clmulepi64_si128(x, k, 0x00);
    const __m128i hi = _mm_clmulepi64_si128(x, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(hi, lo), next);
}

/// The end of a fold: four lanes into one, the 16-byte pieces left, and the reduction
/// to 32 bits. `count` is a multiple of 16.
ZORVI_CLMUL_TARGET inline std::uint32_t FinishFold(__m128i x1, __m128i x2, __m128i x3, __m128i x4,
                                                   const std::uint8_t* data, std::size_t count) {
    const __m128i k3k4 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);
    const __m128i k5k0 = _mm_set_epi64x(0, 0x0163cd6124);
    const __m128i poly = _mm_set_epi64x(0x01f7011641, 0x01db710641);
    x1 = Fold(x1, k3k4, x2);
    x1 = Fold(x1, k3k4, x3);
    x1 = Fold(x1, k3k4, x4);
    while (count >= 16) {
        x1 = Fold(x1, k3k4, Load128(data));
        data += 16;
        count -= 16;
    }

    // 128 → 64 bits.
    const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);
    __m128i x = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, k3k4, 0x10));
    x = _mm_xor_si128(_mm_srli_si128(x, 4),
                      _mm_clmulepi64_si128(_mm_and_si128(x, low32), k5k0, 0x00));
    // Barrett reduction to 32 bits.
    __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x, low32), poly, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), poly, 0x00);
    x = _mm_xor_si128(x, t);
    return static_cast<std::uint32_t>(_mm_extract_epi32(x, 1));
}

constexpr long long kK1 = 0x0154442bd4; // x^(512+64) mod P, reflected
constexpr long long kK2 = 0x01c6e41596; // x^512 mod P, reflected

ZORVI_CLMUL_TARGET std::uint32_t FoldCrc32(std::uint32_t reg, const std::uint8_t* data,
                                           std::size_t count) {
    const __m128i k1k2 = _mm_set_epi64x(kK2, kK1);
    __m128i x1 = _mm_xor_si128(Load128(data), _mm_cvtsi32_si128(static_cast<int>(reg)));
    __m128i x2 = Load128(data + 16);
    __m128i x3 = Load128(data + 32);
    __m128i x4 = Load128(data + 48);
    data += 64;
    count -= 64;
    while (count >= 64) {
        x1 = Fold(x1, k1k2, Load128(data));
        x2 = Fold(x2, k1k2, Load128(data + 16));
        x3 = Fold(x3, k1k2, Load128(data + 32));
        x4 = Fold(x4, k1k2, Load128(data + 48));
        data += 64;
        count -= 64;
    }
    return FinishFold(x1, x2, x3, x4, data, count);
}

// The same four lanes two to a 256-bit register, where the processor multiplies both
// halves of one at once (VPCLMULQDQ): half the instructions for the same 64 bytes a step.
#define ZORVI_VCLMUL_TARGET __attribute__((target("pclmul,sse4.1,avx2,vpclmulqdq")))

ZORVI_VCLMUL_TARGET inline __m256i Fold256(__m256i x, __m256i k, const std::uint8_t* next) {
    const __m256i lo = _mm256_clmulepi64_epi128(x, k, 0x00);
    const __m256i hi = _mm256_clmulepi64_epi128(x, k, 0x11);
    return _mm256_xor_si256(_mm256_xor_si256(hi, lo),
                            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(next)));
}

ZORVI_VCLMUL_TARGET std::uint32_t FoldCrc32Wide(std::uint32_t reg, const std::uint8_t* data,
                                                std::size_t count) {
    const __m256i k1k2 = _mm256_set_epi64x(kK2, kK1, kK2, kK1);
    __m256i x12 =
        _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(data)),
                         _mm256_zextsi128_si256(_mm_cvtsi32_si128(static_cast<int>(reg))));
    __m256i x34 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + 32));
    data += 64;
    count -= 64;
    while (count >= 64) {
        x12 = Fold256(x12, k1k2, data);
        x34 = Fold256(x34, k1k2, data + 32);
        data += 64;
        count -= 64;
    }
    return FinishFold(_mm256_castsi256_si128(x12), _mm256_extracti128_si256(x12, 1),
                      _mm256_castsi256_si128(x34), _mm256_extracti128_si256(x34, 1), data, count);
}

// Four 512-bit registers of four lanes each: 256 bytes a step, each lane folded over 256
// bytes (kK1For256, kK2For256: the constants of kK1 and kK2 for a fold over 2048 bits). The
// registers are then folded into one over 64 bytes (kK1, kK2), so that its four lanes are
// consecutive and FinishFold ends as for the others. Three-way xors in one instruction.
constexpr long long kK1For256 = 0x011542778a; // x^(2048+64) mod P, reflected
constexpr long long kK2For256 = 0x01322d1430; // x^2048 mod P, reflected

#define ZORVI_ZCLMUL_TARGET __attribute__((target("pclmul,sse4.1,avx2,avx512f,vpclmulqdq")))

ZORVI_ZCLMUL_TARGET inline __m512i Load512(const std::uint8_t* p) {
    return _mm512_loadu_si512(p);
}

ZORVI_ZCLMUL_TARGET inline __m512i Fold512(__m512i x, __m512i k, __m512i next) {
    const __m512i lo = _mm512_clmulepi64_epi128(x, k, 0x00);
    const __m512i hi = _mm512_clmulepi64_epi128(x, k, 0x11);
    return _mm512_ternarylogic_epi64(lo, hi, next, 0x96); // lo ^ hi ^ next
}

ZORVI_ZCLMUL_TARGET std::uint32_t FoldCrc32Zmm(std::uint32_t reg, const std::uint8_t* data,
                                               std::size_t count) {
    const __m512i k256 = _mm512_set_epi64(kK2For256, kK1For256, kK2For256, kK1For256, kK2For256,
                                          kK1For256, kK2For256, kK1For256);
    const __m512i k64 = _mm512_set_epi64(kK2, kK1, kK2, kK1, kK2, kK1, kK2, kK1);
    __m512i x0 = _mm512_xor_si512(Load512(data),
                                  _mm512_zextsi128_si512(_mm_cvtsi32_si128(static_cast<int>(reg))));
    __m512i x1 = Load512(data + 64);
    __m512i x2 = Load512(data + 128);
    __m512i x3 = Load512(data + 192);
    data += 256;
    count -= 256;
    while (count >= 256) {
        x0 = Fold512(x0, k256, Load512(data));
        x1 = Fold512(x1, k256, Load512(data + 64));
        x2 = Fold512(x2, k256, Load512(data + 128));
        x3 = Fold512(x3, k256, Load512(data + 192));
        data += 256;
        count -= 256;
    }
    x0 = Fold512(x0, k64, x1);
    x0 = Fold512(x0, k64, x2);
    x0 = Fold512(x0, k64, x3);
    while (count >= 64) {
        x0 = Fold512(x0, k64, Load512(data));
        data += 64;
        count -= 64;
    }
    // The lanes through memory: GCC 12's lane extractions warn of an uninitialised operand.
    alignas(64) std::uint8_t lanes[64];
    _mm512_store_si512(lanes, x0);
    return FinishFold(Load128(lanes), Load128(lanes + 16), Load128(lanes + 32), Load128(lanes + 48),
                      data, count);
}

bool HasZmmClmul() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("vpclmulqdq") && __builtin_cpu_supports("avx512f");
}

bool HasWideClmul() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("vpclmulqdq") && __builtin_cpu_supports("avx2");
}

bool HasClmul() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
}

#endif

} // namespace

bool CrcMethodAvailable(TCrcMethod method) {
#ifdef ZORVI_CRC32_CLMUL
    static const bool clmul = HasClmul();
    static const bool wide = clmul && HasWideClmul();
    static const bool zmm = wide && HasZmmClmul();
    switch (method) {
    case TCrcMethod::Sliced:
        return true;
    case TCrcMethod::Clmul:
        return clmul;
    case TCrcMethod::WideClmul:
        return wide;
    case TCrcMethod::Clmul512:
        return zmm;
    }
    return false;
#else
    return method == TCrcMethod::Sliced;
#endif
}

std::uint32_t UpdateCrc32With(TCrcMethod method, std::uint32_t reg, const std::uint8_t* data,
                              std::size_t count) {
#ifdef ZORVI_CRC32_CLMUL
    if (method != TCrcMethod::Sliced && count >= 64) {
        const std::size_t folded = count & ~static_cast<std::size_t>(15);
        if (method == TCrcMethod::Clmul512 && folded >= 256) {
            reg = FoldCrc32Zmm(reg, data, folded);
        } else if (method == TCrcMethod::Clmul512 || method == TCrcMethod::WideClmul) {
            reg = FoldCrc32Wide(reg, data, folded);
        } else {
            reg = FoldCrc32(reg, data, folded);
        }
        data += folded;
        count -= folded;
    }
#else
    (void)method;
#endif
    return UpdateCrc32Sliced(reg, data, count);
}

std::uint32_t UpdateCrc32(std::uint32_t reg, const std::uint8_t* data, std::size_t count) {
    static const TCrcMethod best = CrcMethodAvailable(TCrcMethod::Clmul512) ? TCrcMethod::Clmul512
                                   : CrcMethodAvailable(TCrcMethod::WideClmul)
                                       ? TCrcMethod::WideClmul
                                   : CrcMethodAvailable(TCrcMethod::Clmul) ? TCrcMethod::Clmul
                                                                           : TCrcMethod::Sliced;
    return UpdateCrc32With(best, reg, data, count);
}

} // namespace zorvi
