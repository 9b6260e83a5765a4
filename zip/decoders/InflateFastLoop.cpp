// Inflate's fast loop (InflateFastLoop.h). The body (InflateFastLoopBody.inc) is compiled
// twice: for any processor, and, on x86-64 with GCC, for processors with BMI1, BMI2 and
// AVX2 (chosen at run time, the processor asked once). There each step from one table
// lookup to the next is one bit-field extraction (bextr: the next index straight from the
// entry, whose bits 15..0 are its operand) where a shift and a mask would be two, shifts
// take their count from any register (shrx), the consumed bits of a length or distance
// come in one instruction (bzhi), and matches are copied in 32-byte words.
//
// The time goes into that chain of dependent lookups: each waits for the one before, so
// what counts is the instructions on the chain, not those beside it. Hence also the order
// within a round: the lookup of the next code is issued before the refill and the copy of
// the match that precede it in the stream.
//
// One round decodes up to four literals, or up to three literals and a match, on one
// refill of the bit buffer (see the body). The loop runs only while a whole round has its
// input and its room in the window: kFastInputMargin bytes of input beyond `In` and
// kFastOutputOverrun bytes of room beyond OutLimit. So it checks nothing per code but the
// code itself.
#include "zip/decoders/InflateFastLoop.h"

#include <cstring>

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define ZORVI_INFLATE_HAS_BMI2_BUILD 1
#include <immintrin.h>
#endif

#if defined(__GNUC__)
#define ZORVI_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define ZORVI_ALWAYS_INLINE inline
#endif

namespace zorvi::inflate {
namespace {

namespace generic {
#include "zip/decoders/InflateFastLoopBody.inc"
} // namespace generic

#ifdef ZORVI_INFLATE_HAS_BMI2_BUILD
#pragma GCC push_options
#pragma GCC target("bmi,bmi2,avx,avx2")
namespace bmi2 {
#define ZORVI_FAST_LOOP_BMI2 1
#include "zip/decoders/InflateFastLoopBody.inc"
#undef ZORVI_FAST_LOOP_BMI2
} // namespace bmi2
#pragma GCC pop_options

bool HasBmi2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2") &&
           __builtin_cpu_supports("avx2");
}
#endif

} // namespace

bool FastLoopAvailable(TFastLoopKind kind) {
#ifdef ZORVI_INFLATE_HAS_BMI2_BUILD
    static const bool bmi2 = HasBmi2();
    return kind == TFastLoopKind::Generic || bmi2;
#else
    return kind == TFastLoopKind::Generic;
#endif
}

TFastLoopStop DecodeFastWith(TFastLoopKind kind, TFastLoopState& state, const std::uint32_t* litlen,
                             const std::uint32_t* dist) {
#ifdef ZORVI_INFLATE_HAS_BMI2_BUILD
    if (kind == TFastLoopKind::Bmi2) {
        return bmi2::Rounds<TDeflateFormat>(state, litlen, dist);
    }
#else
    (void)kind;
#endif
    return generic::Rounds<TDeflateFormat>(state, litlen, dist);
}

TFastLoopStop DecodeFast(TFastLoopState& state, const std::uint32_t* litlen,
                         const std::uint32_t* dist) {
    static const TFastLoopKind best =
        FastLoopAvailable(TFastLoopKind::Bmi2) ? TFastLoopKind::Bmi2 : TFastLoopKind::Generic;
    return DecodeFastWith(best, state, litlen, dist);
}

void CopyMatch(std::uint8_t* dst, unsigned distance, unsigned length) {
    generic::CopyWords(dst, distance, length);
}

} // namespace zorvi::inflate
