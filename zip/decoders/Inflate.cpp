// Method 8: the deflate format of RFC 1951.
//
// An entry is a sequence of blocks, each stored, or Huffman-coded with the fixed code or
// with codes sent in its header. The decoder keeps three pieces of state across blocks.
//
// The bit reader. `bitbuf` holds `bitcnt` not yet consumed input bits, the next one in bit 0;
// `in` points at the next input byte not yet in `bitbuf`, `inEnd` at the end of the input
// buffer's current block. Bits above `bitcnt` are either zero or equal to the bits of the
// bytes at `in` (the fast refill loads eight bytes at once and keeps only whole bytes), so
// OR-ing the next byte in at `bitcnt` is always right.
//  - Fast refill: with at least 8 bytes left in the block, afterwards 56 <= bitcnt <= 63.
//  - Need(n): the fast refill while 8 bytes of the block are left, then byte by byte until
//    bitcnt >= n, taking the next input block (a refill, with the message pump) only when
//    this one is used up. Past the end of the entry's data it adds
//    zero bytes and counts them in `overrun`; consuming any of those bits is bad data, so a
//    truncated or damaged stream always ends (RealBitsShort).
//
// The window. Decoded bytes go to WorkArea, which holds eight 32 KB windows and the longest
// match beyond them. `out` is the next byte to write, `flushed` the first byte not yet
// written to the file. Every full 32768 bytes are written as soon as they are complete, in
// the block that completed them (so a failure of that write ends the block, as does a
// failure of any write inside a block). When seven windows have been written, the last
// 32 KB of them and what follows move down to the start, so the history behind `out` stays
// contiguous and a match copy never wraps.
// Before that first move, `out - base` is the entry's output so far, and a distance beyond
// it reaches before the entry's first byte: that is rejected as bad data.
//
// The decoding loop. While the input block has 16 bytes left and the window has room, the
// fast loop decodes with one refill per item: 56 bits cover four literals of the first
// table level (4 × 11) and the lookup of the next code, or the longest literal/length code
// with its extra bits (15 + 5) and the longest distance code with its extra bits (15 + 13).
// Matches of 16 bytes back or more are copied 16 bytes at a time. Elsewhere one symbol at
// a time is decoded with Need.
//
// When the input is refilled. Reading the next 32 KB of input is visible: the message pump
// runs, a multi-volume archive may ask for its next volume, and an archive that ends early
// raises its premature end, which passes on from a block header but only fails the block
// inside one. So the next block is read exactly when a reader on BuildHuffmanTable's tables
// would read it: the first time a request for bits reaches past the current block. The
// fast loop never gets near the end of a block; the byte-by-byte path makes the same
// requests as that reader (the block header, stored lengths and bytes, code-length code,
// extra bits all ask for what they consume), and near the end of a block, with more input
// to come, it looks codes up with the requests of BuildHuffmanTable's tables for the block
// (built on demand, ExactLookup) before taking the code from inflate's own table.
//
// The tables (InflateTables.h) decode the same codes as BuildHuffmanTable's, and reject
// the same code sets; the fixed code's tables are built once per run.
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "zip/decoders/DecodeErrors.h"
#include "zip/decoders/EntryDecoder.h"
#include "zip/decoders/InflateTables.h"

namespace zorvi {

namespace inflate {

namespace {

/// The code after `codeword` among the codes of `length` bits, both bit-reversed (as the
/// table is indexed): one is added at bit length − 1 and the carry runs towards bit 0.
/// After the last code of a length (all ones) it gives 0 with the carry lost, which only
/// happens when a complete code is used up.
unsigned NextCodeword(unsigned codeword, unsigned length) {
    unsigned bit = 1u << (length - 1);
    while ((codeword & bit) != 0) {
        bit >>= 1;
    }
    return bit == 0 ? 0 : (codeword & (bit - 1)) | bit;
}

} // namespace

// The table is filled in canonical order, shortest codes first. The codes of one length
// are consecutive numbers, so bit-reversed each is one slot of a table indexed by that
// many bits; once a length is done, the table is doubled by copying it onto its upper
// half, which repeats every shorter code over the slots whose low bits are that code.
// So the first level costs one store per code and block copies of 2^bits entries in all,
// however many codes there are (this runs for every dynamic block). Slots that no code
// of the lengths done so far takes stay invalid (they start so), and are either taken by
// a longer code or left invalid (an incomplete code).
//
// Codes longer than the first level share their first `bits` bits in groups, and in
// canonical order each group is consecutive, its longest code last: the group gets one
// sub-table indexed by (that longest length − bits) bits, linked from the slot of the
// shared bits.
TBuildResult BuildFastTable(const std::uint8_t* lengths, unsigned n,
                            const std::uint32_t* symbolEntries, unsigned maxTableBits,
                            std::uint32_t* entries, TFastTable& table) {
    unsigned count[kMaxCodeBits + 1] = {};
    for (unsigned i = 0; i < n; ++i) {
        ++count[lengths[i]];
    }
    table.Entries = entries;
    if (count[0] == n) {
        // No code at all: BuildHuffmanTable accepts it; any lookup then finds nothing.
        std::fill(entries, entries + (1u << maxTableBits), kInvalidFlag);
        table.Bits = 0;
        return brComplete;
    }
    unsigned shortest = 1;
    while (count[shortest] == 0) {
        ++shortest;
    }
    unsigned longest = kMaxCodeBits;
    while (count[longest] == 0) {
        --longest;
    }
    // Same test as BuildHuffmanTable: code slots left at each length.
    int unfilled = 1 << shortest;
    for (unsigned len = shortest; len <= longest; ++len) {
        unfilled -= static_cast<int>(count[len]);
        if (unfilled < 0) {
            return brOversubscribed;
        }
        if (len < longest) {
            unfilled <<= 1;
        }
    }
    const TBuildResult result = (unfilled != 0 && longest != 1) ? brIncomplete : brComplete;

    const unsigned bits = std::min(maxTableBits, longest);
    const unsigned mainSize = 1u << bits;
    table.Bits = bits;

    // The symbols in canonical order: by code length, then by symbol number.
    unsigned start[kMaxCodeBits + 2] = {};
    for (unsigned len = 1; len <= kMaxCodeBits; ++len) {
        start[len + 1] = start[len] + count[len];
    }
    std::uint16_t sorted[kNumLitlenSymbols];
    for (unsigned sym = 0; sym < n; ++sym) {
        if (lengths[sym] != 0) {
            sorted[start[lengths[sym]]++] = static_cast<std::uint16_t>(sym);
        }
    }
    const std::uint16_t* nextSymbol = sorted;

    // First level, doubling from the shortest length up to `bits`.
    unsigned codeword = 0;
    unsigned len = std::min(shortest, bits);
    unsigned size = 1u << len;
    std::fill(entries, entries + size, kInvalidFlag);
    for (;;) {
        const std::uint32_t codeBits = len + (len << kCodeBitsShift);
        for (unsigned c = count[len]; c > 0; --c) {
            entries[codeword] = symbolEntries[*nextSymbol++] + codeBits;
            codeword = NextCodeword(codeword, len);
        }
        if (len == maxTableBits) {
            break;
        }
        // Past `bits` (a code shorter than the table) only the copies go on.
        std::memcpy(entries + size, entries, size * sizeof *entries);
        size <<= 1;
        ++len;
    }

    // The longer codes, bit-reversed, with their lengths and symbols. There are some only
    // when bits == maxTableBits, so the first level was not repeated.
    std::uint16_t longCodes[kNumLitlenSymbols];
    std::uint8_t longLengths[kNumLitlenSymbols];
    unsigned longCount = 0;
    for (len = bits + 1; len <= longest; ++len) {
        for (unsigned c = count[len]; c > 0; --c) {
            longCodes[longCount] = static_cast<std::uint16_t>(codeword);
            longLengths[longCount++] = static_cast<std::uint8_t>(len);
            codeword = NextCodeword(codeword, len);
        }
    }
    unsigned next = mainSize; // where the next sub-table goes
    for (unsigned i = 0; i < longCount;) {
        const unsigned prefix = longCodes[i] & (mainSize - 1);
        unsigned end = i + 1;
        while (end < longCount && (longCodes[end] & (mainSize - 1)) == prefix) {
            ++end;
        }
        const unsigned subBits = longLengths[end - 1] - bits;
        entries[prefix] = kLinkFlag | (subBits << kCodeBitsShift) | bits | (next << kValueShift);
        std::uint32_t* const sub = entries + next;
        std::fill(sub, sub + (1u << subBits), kInvalidFlag);
        for (; i < end; ++i) {
            const unsigned subLen = longLengths[i] - bits;
            const std::uint32_t e =
                symbolEntries[*nextSymbol++] + subLen + (subLen << kCodeBitsShift);
            for (unsigned x = longCodes[i] >> bits; x < (1u << subBits); x += 1u << subLen) {
                sub[x] = e;
            }
        }
        next += 1u << subBits;
    }
    return result;
}

namespace {

constexpr std::uint32_t LengthEntry(unsigned base, unsigned extra) {
    return (static_cast<std::uint32_t>(base) << kValueShift) | extra;
}

/// Entries of the literal/length symbols before their code bits are known.
constexpr auto kLitlenSymbolEntries = [] {
    std::array<std::uint32_t, kNumLitlenSymbols> e{};
    for (unsigned sym = 0; sym < 256; ++sym) {
        e[sym] = kLiteralFlag | (sym << kValueShift);
    }
    e[256] = kEndOfBlockFlag;
    for (unsigned sym = 257; sym < 286; ++sym) {
        e[sym] = LengthEntry(kLengthBases[sym - 257], kLengthExtras[sym - 257]);
    }
    e[286] = e[287] = kInvalidFlag;
    return e;
}();

constexpr auto kDistSymbolEntries = [] {
    std::array<std::uint32_t, kNumDistSymbols> e{};
    for (unsigned sym = 0; sym < 30; ++sym) {
        e[sym] = LengthEntry(kDistBases[sym], kDistExtras[sym]);
    }
    e[30] = e[31] = kInvalidFlag;
    return e;
}();

constexpr auto kPrecodeSymbolEntries = [] {
    std::array<std::uint32_t, kNumPrecodeSymbols> e{};
    for (unsigned sym = 0; sym < kNumPrecodeSymbols; ++sym) {
        e[sym] = sym << kValueShift;
    }
    return e;
}();

// The fast refill reads eight bytes as one little-endian word; each decoded symbol needs at
// most 48 bits (see the essay), which one refill always provides. Four literals of the
// first level and the lookup of the next code fit in one refill too.
static_assert(kMaxCodeBits + 5 + kMaxCodeBits + 13 <= 56);
static_assert(4 * kLitlenTableBits + kLitlenTableBits <= 56);

} // namespace
} // namespace inflate

using namespace inflate;

class TEntryDecoder::TInflater {
public:
    explicit TInflater(TEntryDecoder& owner)
        : owner_(owner), tables_(*owner.inflateTables_), base_(owner.workArea_.get()), out_(base_),
          in_(owner.inputBuffer_.get()), inEnd_(in_) {}

    /// True when the last block ended the stream; false when bad data stopped it.
    bool Run() {
        for (;;) {
            bool last = false;
            if (InflateBlock(last) != irDone) {
                return false; // what is still in the window is not written
            }
            if (last) {
                break;
            }
        }
        if (owner_.outputCount_ == 0 && Pending() <= kWindow) {
            // What FlushWindow and FlushOutput would write, one block shorter than 32 KB
            // (every full window is already out), written from the window without a copy.
            owner_.WriteBlock(base_ + flushed_, Pending());
            return true;
        }
        owner_.FlushWindow(base_ + flushed_, Pending());
        owner_.FlushOutput();
        return true;
    }

private:
    static constexpr std::size_t kWindow = TEntryDecoder::kBlockSize;
    /// Input the fast loop keeps ahead of it. A round starts with 56 bits or more and
    /// refills at most twice, each time loading eight bytes: first where `in` stood at the
    /// start of the round, then, after at most three literals (33 bits), at most
    /// (63 − 23) / 8 = 5 bytes further on. So 13 bytes would do.
    static constexpr std::ptrdiff_t kFastInputMargin = 16;
    static constexpr int kNeedSlow = -1;
    /// The most bits one item asks for beyond its start: a literal/length code with its
    /// extra bits and a distance code with its extra bits (15 + 5 + 15 + 13).
    static constexpr std::size_t kMaxSymbolBits = 48;

    /// Written bytes at which the history moves down. While decoding, `flushed` is at most
    /// kShiftAt − kWindow, so `out` stays below kShiftAt plus what one round of the fast
    /// loop writes (three literals and a match, or four literals).
    static constexpr std::size_t kShiftAt = (TEntryDecoder::kWorkAreaWindows - 1) * kWindow;
    static_assert(TEntryDecoder::kWorkAreaSize >= kShiftAt + 3 + 258 + 16,
                  "the work area must hold the windows, a round's output written ahead and "
                  "the match copy's overrun");

    // --- Bit reader -------------------------------------------------------------------

    static std::uint64_t LoadWord(const std::uint8_t* p) {
        std::uint64_t v;
        std::memcpy(&v, p, sizeof v);
        if constexpr (std::endian::native == std::endian::big) {
            v = __builtin_bswap64(v);
        }
        return v;
    }

    /// Takes the next block of input into the buffer; false at the end of the entry's data.
    bool NextInputBlock() {
        if (owner_.archiveBytesLeft_ <= 0) {
            return false;
        }
        const std::size_t got = owner_.RefillInput();
        in_ = owner_.inputBuffer_.get();
        inEnd_ = in_ + got;
        return got > 0;
    }

    void Need(unsigned n) { // n <= 56
        if (bitcnt_ >= n) {
            return;
        }
        if (inEnd_ - in_ >= 8) {
            // The fast refill, inside this block: the next block is read no earlier.
            bitbuf_ |= LoadWord(in_) << bitcnt_;
            in_ += (63 - bitcnt_) >> 3;
            bitcnt_ |= 56;
            return;
        }
        while (bitcnt_ < n) {
            if (in_ == inEnd_ && !NextInputBlock()) {
                ++overrun_; // a zero byte past the end
            } else {
                bitbuf_ |= static_cast<std::uint64_t>(*in_++) << bitcnt_;
            }
            bitcnt_ += 8;
        }
    }

    void Drop(unsigned n) {
        bitbuf_ >>= n;
        bitcnt_ -= n;
    }

    unsigned Bits(unsigned n) const { return static_cast<unsigned>(bitbuf_ & ((1ull << n) - 1)); }

    /// True when bits beyond the end of the entry's data have been consumed.
    bool RealBitsShort() const { return bitcnt_ < 8 * overrun_; }

    // --- Window -----------------------------------------------------------------------

    std::size_t Pending() const { return static_cast<std::size_t>(out_ - base_) - flushed_; }

    /// Writes every complete 32 KB of the window and keeps the history contiguous.
    void FlushFullWindows() {
        while (Pending() >= kWindow) {
            owner_.WriteBlock(base_ + flushed_, kWindow);
            flushed_ += kWindow;
            if (flushed_ == kShiftAt) {
                const std::size_t drop = kShiftAt - kWindow;
                std::memmove(base_, base_ + drop, static_cast<std::size_t>(out_ - base_) - drop);
                out_ -= drop;
                flushed_ = kWindow;
            }
        }
    }

    /// Copies `length` bytes from `distance` back; may write up to 15 bytes beyond.
    static void CopyMatch(std::uint8_t* dst, unsigned distance, unsigned length) {
        std::uint8_t* const end = dst + length;
        if (distance >= 16) {
            // Sixteen bytes at a time; most matches are short and take one step.
            const std::uint8_t* src = dst - distance;
            do {
                std::memcpy(dst, src, 16);
                dst += 16;
                src += 16;
            } while (dst < end);
            return;
        }
        if (distance < 8) {
            if (distance == 1) {
                // A run of one byte: eight at a time.
                std::uint64_t v = 0x0101010101010101ull * dst[-1];
                do {
                    std::memcpy(dst, &v, 8);
                    dst += 8;
                } while (dst < end);
                return;
            }
            // A short period: write its first eight bytes one by one; from there on, any
            // multiple of the period of at least eight is a distance for word copies.
            for (int i = 0; i < 8; ++i) {
                dst[i] = dst[i - static_cast<int>(distance)];
            }
            dst += 8;
            // The least multiple of the period that is at least 8, for periods 2 to 7.
            static constexpr std::uint8_t kWordPeriod[8] = {0, 0, 8, 9, 8, 10, 12, 14};
            distance = kWordPeriod[distance];
            if (dst >= end) {
                return;
            }
        }
        const std::uint8_t* src = dst - distance;
        do {
            std::memcpy(dst, src, 8);
            dst += 8;
            src += 8;
        } while (dst < end);
    }

    // --- Blocks -----------------------------------------------------------------------

    int InflateBlock(bool& last) {
        // The header bits are read outside the block's handler: their exceptions pass.
        Need(1);
        last = Bits(1) != 0;
        Drop(1);
        Need(2);
        const unsigned type = Bits(2);
        Drop(2);
        if (RealBitsShort()) {
            return irBadData;
        }
        try {
            switch (type) {
            case 0:
                return InflateStoredBlock();
            case 1:
                return InflateFixedBlock();
            case 2:
                return InflateDynamicBlock();
            default:
                return irBadBlockOrOversubscribed;
            }
        } catch (const EUserCanceled&) {
            throw;
        } catch (...) {
            // Premature end, a failed or too long write, memory: the block fails as bad data.
            return irBadData;
        }
    }

    int InflateStoredBlock() {
        Drop(bitcnt_ % 8);
        Need(16);
        unsigned length = Bits(16);
        Drop(16);
        Need(16);
        const unsigned check = Bits(16);
        Drop(16);
        if (RealBitsShort() || check != (~length & 0xFFFF)) {
            return irBadData;
        }
        while (length > 0) {
            FlushFullWindows();
            if (bitcnt_ >= 8) {
                // Whole bytes still in the bit buffer come first.
                if (bitcnt_ - 8 * overrun_ < 8) {
                    return irBadData;
                }
                *out_++ = static_cast<std::uint8_t>(bitbuf_);
                Drop(8);
                --length;
                continue;
            }
            bitbuf_ = 0; // its upper bits mirror bytes at in_, which are copied directly now
            if (in_ == inEnd_ && !NextInputBlock()) {
                return irBadData;
            }
            const std::size_t n = std::min({static_cast<std::size_t>(length), kWindow - Pending(),
                                            static_cast<std::size_t>(inEnd_ - in_)});
            std::memcpy(out_, in_, n);
            out_ += n;
            in_ += n;
            length -= static_cast<unsigned>(n);
        }
        FlushFullWindows();
        return irDone;
    }

    int InflateFixedBlock() {
        if (!tables_.FixedBuilt) {
            std::uint8_t lengths[kNumLitlenSymbols];
            std::fill(lengths, lengths + 144, 8);
            std::fill(lengths + 144, lengths + 256, 9);
            std::fill(lengths + 256, lengths + 280, 7);
            std::fill(lengths + 280, lengths + 288, 8);
            BuildFastTable(lengths, kNumLitlenSymbols, kLitlenSymbolEntries.data(),
                           kLitlenTableBits, tables_.FixedLitlen, tables_.Fixed[0]);
            std::fill(lengths, lengths + kNumDistSymbols, 5);
            // 30 codes of length 5 are incomplete, which the fixed code accepts; the two
            // unused codes 30 and 31 decode as invalid.
            BuildFastTable(lengths, 30, kDistSymbolEntries.data(), kDistTableBits,
                           tables_.FixedDist, tables_.Fixed[1]);
            tables_.FixedBuilt = true;
        }
        block_ = {nullptr, 0, 0, true};
        return DecodeHuffmanCodes(tables_.Fixed[0], tables_.Fixed[1]);
    }

    int InflateDynamicBlock() {
        Need(5);
        const unsigned litlenCount = Bits(5) + 257;
        Drop(5);
        Need(5);
        const unsigned distCount = Bits(5) + 1;
        Drop(5);
        Need(4);
        const unsigned precodeCount = Bits(4) + 4;
        Drop(4);
        if (litlenCount > kMaxLitlenCount || distCount > kMaxDistCount) {
            return irBadData;
        }

        std::uint8_t precodeLengths[kNumPrecodeSymbols] = {};
        for (unsigned i = 0; i < precodeCount; ++i) {
            Need(3);
            precodeLengths[kPrecodeOrder[i]] = static_cast<std::uint8_t>(Bits(3));
            Drop(3);
        }
        if (RealBitsShort()) {
            return irBadData;
        }
        TFastTable precode;
        const TBuildResult precodeResult =
            BuildFastTable(precodeLengths, kNumPrecodeSymbols, kPrecodeSymbolEntries.data(),
                           kPrecodeTableBits, tables_.Precode, precode);
        if (precodeResult != brComplete) {
            return precodeResult;
        }

        // The literal/length and distance code lengths, as one list.
        std::uint8_t* const lengths = tables_.Lengths;
        const unsigned total = litlenCount + distCount;
        const unsigned mask = (1u << precode.Bits) - 1;
        unsigned previous = 0;
        for (unsigned i = 0; i < total;) {
            Need(precode.Bits); // the width BuildHuffmanTable would choose: min(7, longest)
            const std::uint32_t e = precode.Entries[bitbuf_ & mask];
            if (e & kInvalidFlag) {
                return irBadData;
            }
            Drop(TotalBits(e));
            const unsigned sym = e >> kValueShift;
            unsigned repeat = 0;
            unsigned value = 0;
            if (sym < 16) {
                lengths[i++] = static_cast<std::uint8_t>(sym);
                previous = sym;
                continue;
            } else if (sym == 16) {
                Need(2);
                repeat = 3 + Bits(2);
                Drop(2);
                value = previous;
            } else if (sym == 17) {
                Need(3);
                repeat = 3 + Bits(3);
                Drop(3);
                previous = 0;
            } else {
                Need(7);
                repeat = 11 + Bits(7);
                Drop(7);
                previous = 0;
            }
            if (i + repeat > total) {
                return irBadData;
            }
            std::fill(lengths + i, lengths + i + repeat, static_cast<std::uint8_t>(value));
            i += repeat;
        }
        if (RealBitsShort()) {
            return irBadData;
        }

        TFastTable litlen;
        TBuildResult result = BuildFastTable(lengths, litlenCount, kLitlenSymbolEntries.data(),
                                             kLitlenTableBits, tables_.Litlen, litlen);
        if (result != brComplete) {
            return result;
        }
        TFastTable dist;
        result = BuildFastTable(lengths + litlenCount, distCount, kDistSymbolEntries.data(),
                                kDistTableBits, tables_.Dist, dist);
        if (result != brComplete) {
            return result;
        }
        block_ = {lengths, litlenCount, distCount, false};
        return DecodeHuffmanCodes(litlen, dist);
    }

    // --- Huffman-coded data -------------------------------------------------------------

    int DecodeHuffmanCodes(const TFastTable& litlen, const TFastTable& dist) {
        const TReferenceTables reference(*this); // built on demand, released with the block
        int result = kNeedSlow;
        while (result == kNeedSlow) {
            FlushFullWindows();
            result = FastLoop(litlen, dist);
            if (result == kNeedSlow) {
                FlushFullWindows();
                result = SlowStep(litlen, dist);
            }
        }
        // A window completed before the end or the failure is written in this block, as it
        // would have been the moment it was complete.
        FlushFullWindows();
        return result;
    }

    /// Decodes symbols while the input block has kFastInputMargin bytes and the window has
    /// room; kNeedSlow when it stops for one of those, else the block's result.
    ///
    /// Each round ends with a refill and the lookup of the next literal/length entry;
    /// after a match that is done before the copy, so that the lookup's memory access
    /// overlaps the copy.
    int FastLoop(const TFastTable& litlen, const TFastTable& dist) {
        std::uint8_t* const base = base_;
        std::uint8_t* out = out_;
        std::uint8_t* const outLimit = base + flushed_ + kWindow;
        const std::uint8_t* in = in_;
        if (inEnd_ - in < kFastInputMargin || out >= outLimit) {
            return kNeedSlow;
        }
        // The last position with kFastInputMargin bytes behind it.
        const std::uint8_t* const inLimit = inEnd_ - kFastInputMargin;
        std::uint64_t bitbuf = bitbuf_;
        unsigned bitcnt = bitcnt_;
        const std::uint32_t* const lt = litlen.Entries;
        const std::uint32_t* const dt = dist.Entries;
        // Constant masks: the first levels are repeated to their full width (TFastTable).
        constexpr std::uint64_t litMask = (1u << kLitlenTableBits) - 1;
        constexpr std::uint64_t distMask = (1u << kDistTableBits) - 1;
        int result = kNeedSlow;

        // Refill: afterwards 56 <= bitcnt <= 63 (see the bit reader above).
        // Here only the low byte of `bitcnt` is the bit count (0 to 63): a whole entry is
        // subtracted from it, which leaves the low byte right and saves masking out the
        // consumed bits; the bits above are ignored and cleared on the way out.
        auto refill = [&] {
            bitbuf |= LoadWord(in) << (bitcnt & 63);
            in += 7 - ((bitcnt >> 3) & 7); // (63 − count) / 8 whole bytes
            bitcnt |= 56;
        };
        auto consume = [&](std::uint32_t e) {
            bitbuf >>= TotalBits(e);
            bitcnt -= e;
        };
        // Consumes a length or distance entry with its extra bits; value + extra value.
        auto take = [&](std::uint32_t e) {
            const std::uint64_t saved = bitbuf;
            consume(e);
            return (e >> kValueShift) +
                   static_cast<unsigned>((saved & ((1ull << TotalBits(e)) - 1)) >> ExtraShift(e));
        };
        // Follows a link into its sub-table (the first level's bits are consumed).
        auto subEntry = [&](const std::uint32_t* table, std::uint32_t link) {
            consume(link);
            return table[(link >> kValueShift) + (bitbuf & ((1u << CodeBits(link)) - 1))];
        };

        // At the top of each round: 56 <= bitcnt and `e` is the entry of the next code.
        refill();
        std::uint32_t e = lt[bitbuf & litMask];
        while (out < outLimit && in <= inLimit) {
            if (e & kLiteralFlag) {
                // Up to four literals per refill: a literal entry of the first level takes
                // at most kLitlenTableBits of the 56 bits, and after four of them enough
                // remain to look up the next (see the static_assert below).
                consume(e);
                *out++ = static_cast<std::uint8_t>(e >> kValueShift);
                e = lt[bitbuf & litMask];
                if (e & kLiteralFlag) {
                    consume(e);
                    *out++ = static_cast<std::uint8_t>(e >> kValueShift);
                    e = lt[bitbuf & litMask];
                    if (e & kLiteralFlag) {
                        consume(e);
                        *out++ = static_cast<std::uint8_t>(e >> kValueShift);
                        e = lt[bitbuf & litMask];
                        if (e & kLiteralFlag) {
                            consume(e);
                            *out++ = static_cast<std::uint8_t>(e >> kValueShift);
                            refill();
                            e = lt[bitbuf & litMask];
                            continue;
                        }
                    }
                }
                refill(); // a length and a distance may need 48 bits
            }
            if (e & (kLinkFlag | kEndOfBlockFlag | kInvalidFlag)) {
                if (e & kLinkFlag) {
                    e = subEntry(lt, e);
                    if (e & kLiteralFlag) {
                        consume(e);
                        *out++ = static_cast<std::uint8_t>(e >> kValueShift);
                        refill();
                        e = lt[bitbuf & litMask];
                        continue;
                    }
                }
                if (e & kEndOfBlockFlag) {
                    consume(e);
                    result = irDone;
                    break;
                }
                if (e & kInvalidFlag) {
                    result = irBadData;
                    break;
                }
            }
            const unsigned length = take(e);

            e = dt[bitbuf & distMask];
            if (e & (kLinkFlag | kInvalidFlag)) {
                if (e & kLinkFlag) {
                    e = subEntry(dt, e);
                }
                if (e & kInvalidFlag) {
                    result = irBadData;
                    break;
                }
            }
            const unsigned distance = take(e);
            if (distance > static_cast<std::size_t>(out - base)) {
                result = irBadData; // reaches before the entry's first byte
                break;
            }
            refill();
            e = lt[bitbuf & litMask];
            CopyMatch(out, distance, length);
            out += length;
        }
        out_ = out;
        in_ = in;
        bitbuf_ = bitbuf;
        bitcnt_ = bitcnt & 0xFF;
        return result;
    }

    /// Decodes one symbol byte by byte; kNeedSlow to go on, else the block's result.
    int SlowStep(const TFastTable& litlen, const TFastTable& dist) {
        // Near the end of the input block, with more of the entry to come, look the codes up
        // with the bit requests of BuildHuffmanTable's tables, so that the next block is
        // read exactly when a reader on those tables would read it (see the essay).
        const bool exact = owner_.archiveBytesLeft_ > 0 && AvailableBits() < kMaxSymbolBits &&
                           BuildReferenceTables();
        std::uint32_t e = exact ? ExactLookup(reference_[0], litlen) : SlowLookup(litlen);
        if (e & kInvalidFlag) {
            return irBadData;
        }
        if (e & kLiteralFlag) {
            Drop(TotalBits(e));
            if (RealBitsShort()) {
                return irBadData;
            }
            *out_++ = static_cast<std::uint8_t>(e >> kValueShift);
            return kNeedSlow;
        }
        if (e & kEndOfBlockFlag) {
            Drop(TotalBits(e));
            return RealBitsShort() ? irBadData : irDone;
        }
        const unsigned length = SlowTake(e);
        e = exact ? ExactLookup(reference_[1], dist) : SlowLookup(dist);
        if (e & kInvalidFlag) {
            return irBadData;
        }
        const unsigned distance = SlowTake(e);
        if (RealBitsShort() || distance > static_cast<std::size_t>(out_ - base_)) {
            return irBadData;
        }
        CopyMatch(out_, distance, length);
        out_ += length;
        return kNeedSlow;
    }

    /// The entry for the next code, through a sub-table if need be (its link consumed).
    std::uint32_t SlowLookup(const TFastTable& table) {
        Need(table.Bits);
        std::uint32_t e = table.Entries[Bits(table.Bits)];
        if (e & kLinkFlag) {
            Drop(TotalBits(e));
            const unsigned subBits = CodeBits(e);
            Need(subBits);
            e = table.Entries[(e >> kValueShift) + Bits(subBits)];
        }
        return e;
    }

    /// Bits that can be had without reading the next input block.
    std::size_t AvailableBits() const {
        return bitcnt_ + 8 * static_cast<std::size_t>(inEnd_ - in_);
    }

    /// One of BuildHuffmanTable's tables for the current block.
    struct TReferenceTable {
        THuftEntry* Table = nullptr;
        int Bits = 0;
    };

    /// Releases the current block's reference tables whichever way the block ends.
    struct TReferenceTables {
        TInflater& Owner;
        explicit TReferenceTables(TInflater& owner) : Owner(owner) {}
        ~TReferenceTables() {
            FreeHuffmanTable(Owner.reference_[0].Table);
            FreeHuffmanTable(Owner.reference_[1].Table);
            Owner.referenceBuilt_ = false;
        }
    };

    /// Builds BuildHuffmanTable's tables for the current block's codes, once per block;
    /// false when memory is short (the lookups then fall back on inflate's own tables).
    bool BuildReferenceTables() {
        if (referenceBuilt_) {
            return true;
        }
        std::uint8_t fixed[kNumLitlenSymbols];
        const std::uint8_t* litlenLengths = block_.Lengths;
        const std::uint8_t* distLengths = block_.Lengths + block_.LitlenCount;
        unsigned litlenCount = block_.LitlenCount;
        unsigned distCount = block_.DistCount;
        std::uint8_t fixedDist[30];
        if (block_.Fixed) {
            std::fill(fixed, fixed + 144, 8);
            std::fill(fixed + 144, fixed + 256, 9);
            std::fill(fixed + 256, fixed + 280, 7);
            std::fill(fixed + 280, fixed + 288, 8);
            std::fill(fixedDist, fixedDist + 30, 5);
            litlenLengths = fixed;
            distLengths = fixedDist;
            litlenCount = kNumLitlenSymbols;
            distCount = 30;
        }
        reference_[0].Bits = block_.Fixed ? 7 : 9;
        reference_[1].Bits = block_.Fixed ? 5 : 6;
        if (BuildHuffmanTable(litlenLengths, litlenCount, 257, kLengthBases, kLengthExtras,
                              reference_[0].Table, reference_[0].Bits) == brOutOfMemory ||
            BuildHuffmanTable(distLengths, distCount, 0, kDistBases, kDistExtras,
                              reference_[1].Table, reference_[1].Bits) == brOutOfMemory) {
            FreeHuffmanTable(reference_[0].Table);
            return false;
        }
        referenceBuilt_ = true;
        return true;
    }

    /// Asks for the bits a reader on the reference table asks for (its first level, then
    /// each sub-table on the way to the code), then looks the code up in `table` without
    /// reading further: those bits cover the whole code.
    std::uint32_t ExactLookup(const TReferenceTable& reference, const TFastTable& table) {
        if (reference.Table != nullptr) {
            Need(static_cast<unsigned>(reference.Bits));
            const THuftEntry* r = reference.Table + Bits(static_cast<unsigned>(reference.Bits));
            unsigned position = 0;
            while (r->Operation > kOpSubTable && r->Operation != kOpInvalid) {
                position += r->Bits;
                const unsigned width = r->Operation - kOpSubTable;
                Need(position + width);
                r = r->Link + ((bitbuf_ >> position) & ((1u << width) - 1));
            }
        }
        Peek(table.Bits);
        std::uint32_t e = table.Entries[Bits(table.Bits)];
        if (e & kLinkFlag) {
            Drop(TotalBits(e));
            Peek(CodeBits(e));
            e = table.Entries[(e >> kValueShift) + Bits(CodeBits(e))];
        }
        return e;
    }

    /// Takes bytes of the current input block until bitcnt >= n or the block is used up;
    /// the bits still missing read as zeros (the code does not reach them).
    void Peek(unsigned n) {
        while (bitcnt_ < n && in_ != inEnd_) {
            bitbuf_ |= static_cast<std::uint64_t>(*in_++) << bitcnt_;
            bitcnt_ += 8;
        }
    }

    /// Consumes a length or distance entry with its extra bits; the value plus the extra.
    unsigned SlowTake(std::uint32_t e) {
        Need(TotalBits(e));
        const unsigned value = (e >> kValueShift) + (Bits(TotalBits(e)) >> CodeBits(e));
        Drop(TotalBits(e));
        return value;
    }

    TEntryDecoder& owner_;
    TInflateTables& tables_;
    std::uint8_t* const base_;
    std::uint8_t* out_;
    std::size_t flushed_ = 0;
    const std::uint8_t* in_;
    const std::uint8_t* inEnd_;
    std::uint64_t bitbuf_ = 0;
    unsigned bitcnt_ = 0;
    unsigned overrun_ = 0;

    /// The current Huffman block's code lengths, for its reference tables.
    struct TBlockCodes {
        const std::uint8_t* Lengths = nullptr;
        unsigned LitlenCount = 0;
        unsigned DistCount = 0;
        bool Fixed = false;
    };
    TBlockCodes block_;
    TReferenceTable reference_[2];
    bool referenceBuilt_ = false;
};

void TEntryDecoder::InflateEntry() {
    TInflater inflater(*this);
    finished_ = inflater.Run();
}

} // namespace zorvi
