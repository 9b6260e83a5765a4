// Methods 2 to 5, reducing: a byte stream coded with follower sets, in which the byte 144
// (DLE) introduces a match (length and distance) into a 16 KB sliding window.
//
// Each byte x has a follower set of up to 63 bytes that often come after it. A byte whose
// predecessor has followers is sent either as one 0 bit and an index into those followers
// of B(count) bits, or as one 1 bit and the byte itself; a byte whose predecessor has no
// followers is always sent as 8 bits. The decoded bytes then pass a small state machine:
//   state 0: 144 → state 1; any other byte is a literal
//   state 1: 0 → a literal 144; any other byte V: length := V and L, state 2 when the
//            length is L (one more length byte follows), else state 3
//   state 2: length += byte, state 3
//   state 3: the byte is the distance's low 8 bits; copy length + 3 bytes from distance
//            ((V >> shift) and mask) × 256 + byte + 1 back
// with L, shift and mask set by the compression factor f = method − 1 (table below).
//
// WorkArea holds the window (bytes 0 to 16383, a TSlidingWindow) and the follower sets (16384
// to 32767, set x at x × 64). The bits come through TBitReader (BitReader.h), which loads up
// to 25 bits whenever a read finds too few. Decoding stops after the uncompressed size, or
// as bad data where the data ends first (nothing is decoded from bits the data lacks) or
// where an index names a follower its set does not have.
#include <algorithm>
#include <array>
#include <optional>

#include "zip/decoders/BitReader.h"
#include "zip/decoders/EntryDecoder.h"
#include "zip/decoders/SlidingWindow.h"

namespace zorvi {
namespace {

constexpr std::size_t kReduceWindow = 16384;
constexpr std::size_t kFollowerSlot = 64; // a count is 6 bits: at most 63 followers
constexpr std::uint8_t kDle = 144;
constexpr unsigned kFillTo = 25; // bits a read loads up to when it finds too few
static_assert(kReduceWindow + 256 * kFollowerSlot <= TEntryDecoder::kWorkAreaSize);

/// Per compression factor 1 to 4 (index f − 1): length mask L, distance shift and mask.
constexpr unsigned kLengthMask[4] = {127, 63, 31, 15};
constexpr unsigned kDistanceShift[4] = {7, 6, 5, 4};
constexpr unsigned kDistanceMask[4] = {1, 3, 7, 15};

/// B(n): bits that index n followers. B(0) = 8; otherwise the smallest b >= 1 with
/// 2^b >= n (B(1) = B(2) = 1, B(3) = B(4) = 2, ..., B(129..255) = 8).
constexpr std::array<std::uint8_t, 256> kFollowerIndexBits = [] {
    std::array<std::uint8_t, 256> b{};
    b[0] = 8;
    for (unsigned n = 1; n < 256; ++n) {
        unsigned bits = 1;
        while ((1u << bits) < n) {
            ++bits;
        }
        b[n] = static_cast<std::uint8_t>(bits);
    }
    return b;
}();
static_assert(kFollowerIndexBits[1] == 1 && kFollowerIndexBits[2] == 1 &&
              kFollowerIndexBits[3] == 2 && kFollowerIndexBits[5] == 3 &&
              kFollowerIndexBits[129] == 8 && kFollowerIndexBits[255] == 8);

/// The next byte of the follower-set coding, after `lastByte`; nullopt for an index at or
/// past the set's count. B(n) bits can say more than n, but no encoder does: such an index
/// names a slot this entry never loaded, which still holds what an earlier entry left there.
std::optional<std::uint8_t> NextByte(TBitReader& bits, const std::uint8_t* followers,
                                     const std::uint8_t* counts, std::uint8_t lastByte) {
    const unsigned n = counts[lastByte];
    if (n == 0 || bits.Read(1) != 0) {
        return static_cast<std::uint8_t>(bits.Read(8));
    }
    const unsigned index = bits.Read(kFollowerIndexBits[n]);
    if (index >= n) {
        return std::nullopt;
    }
    return followers[lastByte * kFollowerSlot + index];
}

} // namespace

void TEntryDecoder::LoadFollowerSets(TBitReader& bits, std::uint8_t* followers,
                                     std::uint8_t* counts) {
    for (int x = 255; x >= 0; --x) {
        counts[x] = static_cast<std::uint8_t>(bits.Read(6));
        for (unsigned i = 0; i < counts[x]; ++i) {
            followers[x * kFollowerSlot + i] = static_cast<std::uint8_t>(bits.Read(8));
        }
    }
}

void TEntryDecoder::UnreduceEntry(int method) {
    const unsigned f = static_cast<unsigned>(std::clamp(method - 1, 1, 4)) - 1;
    const unsigned lengthMask = kLengthMask[f];
    std::uint8_t* const followers = workArea_.get() + kReduceWindow;
    std::uint8_t counts[256];
    TBitReader bits(*this, kFillTo);
    LoadFollowerSets(bits, followers, counts);

    TSlidingWindow window(*this, workArea_.get(), kReduceWindow);
    std::int64_t left = entry_.UncompressedSize;
    std::uint8_t lastByte = 0;
    int state = 0;
    unsigned length = 0;
    unsigned v = 0;
    bool badIndex = false;
    while (left > 0 && !bits.RealBitsShort()) {
        const std::optional<std::uint8_t> next = NextByte(bits, followers, counts, lastByte);
        if (bits.RealBitsShort()) {
            break;
        }
        if (!next) {
            badIndex = true;
            break;
        }
        const std::uint8_t byte = *next;
        switch (state) {
        case 0:
            if (byte == kDle) {
                state = 1;
            } else {
                --left;
                window.Put(byte);
            }
            break;
        case 1:
            if (byte == 0) {
                --left;
                window.Put(kDle);
                state = 0;
            } else {
                v = byte;
                length = v & lengthMask;
                state = (length == lengthMask) ? 2 : 3;
            }
            break;
        case 2:
            length += byte;
            state = 3;
            break;
        default: {
            const std::size_t count = length + 3;
            left -= static_cast<std::int64_t>(count);
            window.Copy(((v >> kDistanceShift[f]) & kDistanceMask[f]) * 256 + byte + 1, count);
            state = 0;
            break;
        }
        }
        lastByte = byte;
    }
    window.Flush();
    FlushOutput();
    finished_ = left == 0 && !bits.RealBitsShort() && !badIndex;
}

} // namespace zorvi
