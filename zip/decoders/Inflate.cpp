// Method 8: the deflate format of RFC 1951.
//
// An entry is a sequence of blocks, each stored, or Huffman-coded with the fixed code or
// with codes sent in its header. The decoder keeps three pieces of state across blocks.
//
// The bit reader: the decoders' contract (BitReader.h: bitbuf_, bitcnt_, overrun_, Need,
// Bits, Drop, RealBitsShort), read straight from the input buffer. `in` points at the next
// input byte not yet in `bitbuf`, `inEnd` at the end of the input buffer's current block.
// Bits above `bitcnt` are either zero or equal to the bits of the bytes at `in` (a refill
// loads eight bytes at once and keeps only whole bytes), so OR-ing the next byte in at
// `bitcnt` is always right.
//  - Refill: with at least 8 bytes left in the block, one unaligned load and no branch;
//    afterwards 56 <= bitcnt <= 63, and all 64 bits of `bitbuf` are input bits.
//  - Need(n): the refill while 8 bytes of the block are left, then byte by byte until
//    bitcnt >= n, taking the next input block (a refill of the input buffer, with the
//    message pump) only when this one is used up. Past the end of the entry's data it adds
//    zero bytes and counts them in `overrun`; consuming any of those bits is bad data, so a
//    truncated or damaged stream always ends (RealBitsShort).
//
// The window. Decoded bytes go to WorkArea, which holds eight 32 KB windows and room for a
// round of the fast loop written ahead. `out` is the next byte to write, `flushed` the
// first byte not yet written to the file. Every full 32768 bytes are written as soon as
// they are complete, in the block that completed them and before its next input refill
// (so a failure of that write ends the block, as does a failure of any write inside a
// block); the writer advances the CRC-32 over each block right away, while it is in the
// cache. When seven windows have been written, the last 32 KB of them (the history a
// distance may reach, TDeflateFormat::kHistory) and what follows move down to the start, so
// the history behind `out` stays contiguous and a match copy never wraps. Before that first
// move, `out - base` is the entry's output so far, and a distance beyond it reaches before
// the entry's first byte: that is rejected as bad data.
//
// The decoding loop. While the input block has kFastInputMargin bytes left and the window
// has room, the fast loop (InflateFastLoop.cpp) decodes rounds of up to four literals, or
// up to three literals and a match, on one refill each, taking the index of each table
// lookup from the entry before it; matches are copied in words of up to 32 bytes, writing
// a little beyond the match. Elsewhere one symbol at a time is decoded with Need (SlowStep).
//
// When the input is refilled. Reading the next 32 KB of input is visible: the message pump
// runs, a multi-volume archive may ask for its next volume, and an archive that ends early
// raises its premature end, which passes on from a block header but only fails the block
// inside one. So the next block is read exactly when a reader on BuildHuffmanTable's tables
// would read it: the first time a request for bits reaches past the current block. The
// fast loop never gets near the end of a block; the byte-by-byte path makes the same
// requests as that reader (the block header, stored lengths and bytes, code-length code,
// extra bits all ask for what they consume), and near the end of a block, with more input
// to come, Lookup works out from the code at hand whether that reader would ask for more
// bits than the block has left; only where that depends on the sizes of its sub-tables are
// its tables built for the block (once, released with it) and walked.
//
// The tables (InflateTables.h) decode the same codes as BuildHuffmanTable's, and reject
// the same code sets; the fixed code's tables are built once per run.
#include <algorithm>
#include <cstring>
#include <optional>

#include "zip/decoders/DecodeErrors.h"
#include "zip/decoders/DecodeResult.h"
#include "zip/decoders/DeflateFixedCode.h"
#include "zip/decoders/EntryDecoder.h"
#include "zip/decoders/InflateFastLoop.h"
#include "zip/decoders/InflateTables.h"

namespace zorvi {

using namespace inflate;

class TEntryDecoder::TInflater {
public:
    explicit TInflater(TEntryDecoder& owner)
        : owner_(owner), tables_(*owner.inflateTables_), base_(owner.workArea_.get()), out_(base_),
          in_(owner.inputBuffer_.get()), inEnd_(in_) {}

    /// Done when the last block ended the stream; BadData when bad data stopped it.
    TDecodeResult Run() {
        for (;;) {
            bool last = false;
            if (InflateBlock(last) != TDecodeResult::Done) {
                return TDecodeResult::BadData; // what is still in the window is not written
            }
            if (last) {
                break;
            }
        }
        if (owner_.outputCount_ == 0 && Pending() <= kBlock) {
            // What FlushWindow and FlushOutput would write, one block shorter than 32 KB
            // (every full window is already out), written from the window without a copy.
            owner_.WriteBlock(base_ + flushed_, Pending());
            return TDecodeResult::Done;
        }
        owner_.FlushWindow(base_ + flushed_, Pending());
        owner_.FlushOutput();
        return TDecodeResult::Done;
    }

private:
    /// Output is written in blocks of this size; the history a distance may reach into is
    /// the format's.
    static constexpr std::size_t kBlock = TEntryDecoder::kBlockSize;
    static constexpr std::size_t kHistory = TDeflateFormat::kHistory;
    /// What a step of the Huffman-coded data gives: nullopt while the block goes on, else
    /// how it ended.
    using TStep = std::optional<TDecodeResult>;

    /// Written bytes at which the history moves down. While decoding, `flushed` is at most
    /// kShiftAt − kBlock, so `out` stays below kShiftAt plus what one round of the fast
    /// loop writes.
    static constexpr std::size_t kShiftAt = (TEntryDecoder::kWorkAreaWindows - 1) * kBlock;
    static_assert(kShiftAt % kBlock == 0 && kHistory % kBlock == 0 &&
                  kShiftAt >= kHistory + kBlock);
    static_assert(TEntryDecoder::kWorkAreaSize >= kShiftAt + kFastOutputOverrun,
                  "the work area must hold the windows, a round's output written ahead and "
                  "the match copy's overrun");

    // --- Bit reader -------------------------------------------------------------------

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
            bitbuf_ |= LoadLittleEndian64(in_) << bitcnt_;
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
        while (Pending() >= kBlock) {
            owner_.WriteBlock(base_ + flushed_, kBlock);
            flushed_ += kBlock;
            if (flushed_ == kShiftAt) {
                const std::size_t drop = kShiftAt - kHistory;
                std::memmove(base_, base_ + drop, static_cast<std::size_t>(out_ - base_) - drop);
                out_ -= drop;
                flushed_ = kHistory;
            }
        }
    }

    // --- Blocks -----------------------------------------------------------------------

    TDecodeResult InflateBlock(bool& last) {
        // The header bits are read outside the block's handler: their exceptions pass.
        Need(1);
        last = Bits(1) != 0;
        Drop(1);
        Need(2);
        const unsigned type = Bits(2);
        Drop(2);
        if (RealBitsShort()) {
            return TDecodeResult::BadData;
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
                return TDecodeResult::BadData; // block type 3 is reserved
            }
        } catch (const EUserCanceled&) {
            throw;
        } catch (...) {
            // Premature end, a failed or too long write, memory: the block fails as bad data.
            return TDecodeResult::BadData;
        }
    }

    TDecodeResult InflateStoredBlock() {
        Drop(bitcnt_ % 8);
        Need(16);
        unsigned length = Bits(16);
        Drop(16);
        Need(16);
        const unsigned check = Bits(16);
        Drop(16);
        if (RealBitsShort() || check != (~length & 0xFFFF)) {
            return TDecodeResult::BadData;
        }
        while (length > 0) {
            FlushFullWindows();
            if (bitcnt_ >= 8) {
                // Whole bytes still in the bit buffer come first.
                if (bitcnt_ - 8 * overrun_ < 8) {
                    return TDecodeResult::BadData;
                }
                *out_++ = static_cast<std::uint8_t>(bitbuf_);
                Drop(8);
                --length;
                continue;
            }
            bitbuf_ = 0; // its upper bits mirror bytes at in_, which are copied directly now
            if (in_ == inEnd_ && !NextInputBlock()) {
                return TDecodeResult::BadData;
            }
            const std::size_t n = std::min({static_cast<std::size_t>(length), kBlock - Pending(),
                                            static_cast<std::size_t>(inEnd_ - in_)});
            std::memcpy(out_, in_, n);
            out_ += n;
            in_ += n;
            length -= static_cast<unsigned>(n);
        }
        FlushFullWindows();
        return TDecodeResult::Done;
    }

    TDecodeResult InflateFixedBlock() {
        if (!tables_.FixedBuilt) {
            static_assert(kFixedLitlenLengths.size() == kNumLitlenSymbols);
            BuildFastTable(kFixedLitlenLengths.data(), kNumLitlenSymbols,
                           kLitlenSymbolEntries.data(), kLitlenTableBits, tables_.FixedLitlen,
                           tables_.Fixed[0]);
            // 30 codes of length 5 are incomplete, which the fixed code accepts; the two
            // unused codes 30 and 31 decode as invalid.
            BuildFastTable(kFixedDistLengths.data(), kFixedDistLengths.size(),
                           kDistSymbolEntries.data(), kDistTableBits, tables_.FixedDist,
                           tables_.Fixed[1]);
            tables_.FixedBuilt = true;
        }
        block_ = {nullptr, 0, 0, true};
        return DecodeHuffmanCodes(tables_.Fixed[0], tables_.Fixed[1]);
    }

    TDecodeResult InflateDynamicBlock() {
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
            return TDecodeResult::BadData;
        }

        std::uint8_t precodeLengths[kNumPrecodeSymbols] = {};
        for (unsigned i = 0; i < precodeCount; ++i) {
            Need(3);
            precodeLengths[kPrecodeOrder[i]] = static_cast<std::uint8_t>(Bits(3));
            Drop(3);
        }
        if (RealBitsShort()) {
            return TDecodeResult::BadData;
        }
        TFastTable precode;
        const TBuildResult precodeResult =
            BuildFastTable(precodeLengths, kNumPrecodeSymbols, kPrecodeSymbolEntries.data(),
                           kPrecodeTableBits, tables_.Precode, precode);
        if (precodeResult != brComplete) {
            return TDecodeResult::BadData;
        }

        // The literal/length and distance code lengths, as one list.
        std::uint8_t* const lengths = tables_.Lengths;
        const unsigned total = litlenCount + distCount;
        const unsigned mask = (1u << precode.Bits) - 1;
        unsigned previous = 0;
        for (unsigned i = 0; i < total;) {
            Need(precode.Bits); // the width BuildHuffmanTable would choose: min(7, longest)
            const std::uint32_t e = precode.Entries[bitbuf_ & mask];
            if (TEntry::IsInvalid(e)) {
                return TDecodeResult::BadData;
            }
            Drop(TotalBits(e));
            const unsigned sym = TEntry::Value(e);
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
                return TDecodeResult::BadData;
            }
            std::fill(lengths + i, lengths + i + repeat, static_cast<std::uint8_t>(value));
            i += repeat;
        }
        if (RealBitsShort()) {
            return TDecodeResult::BadData;
        }

        TFastTable litlen;
        TBuildResult result = BuildFastTable(lengths, litlenCount, kLitlenSymbolEntries.data(),
                                             kLitlenTableBits, tables_.Litlen, litlen);
        if (result != brComplete) {
            return TDecodeResult::BadData;
        }
        TFastTable dist;
        result = BuildFastTable(lengths + litlenCount, distCount, kDistSymbolEntries.data(),
                                kDistTableBits, tables_.Dist, dist);
        if (result != brComplete) {
            return TDecodeResult::BadData;
        }
        block_ = {lengths, litlenCount, distCount, false};
        return DecodeHuffmanCodes(litlen, dist);
    }

    // --- Huffman-coded data -------------------------------------------------------------

    TDecodeResult DecodeHuffmanCodes(const TFastTable& litlen, const TFastTable& dist) {
        const TReferenceTables reference(*this); // built on demand, released with the block
        TStep result;
        while (!result) {
            FlushFullWindows();
            result = FastLoop(litlen, dist);
            if (!result) {
                FlushFullWindows();
                result = SlowStep(litlen, dist);
            }
        }
        // A window completed before the end or the failure is written in this block, as it
        // would have been the moment it was complete.
        FlushFullWindows();
        return *result;
    }

    /// Decodes symbols while the input block has kFastInputMargin bytes and the window has
    /// room; nullopt when it stops for one of those, else the block's result.
    TStep FastLoop(const TFastTable& litlen, const TFastTable& dist) {
        if (inEnd_ - in_ < kFastInputMargin || Pending() >= kBlock) {
            return std::nullopt;
        }
        TFastLoopState state{
            base_,   out_,   base_ + flushed_ + kBlock, in_, inEnd_ - kFastInputMargin,
            bitbuf_, bitcnt_};
        const TFastLoopStop stop = DecodeFast(state, litlen.Entries, dist.Entries);
        out_ = state.Out;
        in_ = state.In;
        bitbuf_ = state.BitBuf;
        bitcnt_ = state.BitCount;
        if (stop == fsLimit) {
            return std::nullopt;
        }
        return stop == fsEndOfBlock ? TDecodeResult::Done : TDecodeResult::BadData;
    }

    /// Decodes one symbol byte by byte; nullopt to go on, else the block's result.
    TStep SlowStep(const TFastTable& litlen, const TFastTable& dist) {
        std::uint32_t e = Lookup(litlen, true);
        if (TEntry::IsInvalid(e)) {
            return TDecodeResult::BadData;
        }
        if (TEntry::IsLiteral(e)) {
            Drop(TotalBits(e));
            if (RealBitsShort()) {
                return TDecodeResult::BadData;
            }
            *out_++ = static_cast<std::uint8_t>(TEntry::Value(e));
            return std::nullopt;
        }
        if (TEntry::IsEndOfBlock(e)) {
            Drop(TotalBits(e));
            return RealBitsShort() ? TDecodeResult::BadData : TDecodeResult::Done;
        }
        const unsigned length = TEntry::Value(e) + TakeExtraBits(e);
        e = Lookup(dist, false);
        if (TEntry::IsInvalid(e)) {
            return TDecodeResult::BadData;
        }
        const unsigned distance = TDeflateFormat::kDistBases[TEntry::Value(e)] + TakeExtraBits(e);
        if (RealBitsShort() || distance > static_cast<std::size_t>(out_ - base_)) {
            return TDecodeResult::BadData;
        }
        CopyMatch(out_, distance, length);
        out_ += length;
        return std::nullopt;
    }

    /// The entry for the next code of the literal/length (`litlen`) or distance code,
    /// its link consumed. Near the end of the input block, with more of the entry to come,
    /// the next block is read exactly when a reader on BuildHuffmanTable's tables would read
    /// it for this code (see the essay). That reader first asks for the bits of its first
    /// level, m = 9 or 6 (7 or 5 for the fixed code) raised to the shortest and lowered to
    /// the longest code length, then, for a longer code, for the bits of each sub-table on
    /// the way, never beyond the longest length. So what it reads is clear from the bits at
    /// hand, except for a code longer than m that they hold whole but not up to the
    /// longest length: then it depends on the sub-table sizes, and only then (rarely) are
    /// that reader's tables built and walked.
    std::uint32_t Lookup(const TFastTable& table, bool litlen) {
        const std::size_t available = AvailableBits();
        if (owner_.archiveBytesLeft_ <= 0 || available >= table.Longest) {
            return SlowLookup(table); // neither reader reads on
        }
        const unsigned m = std::clamp(litlen ? (block_.Fixed ? 7u : 9u) : (block_.Fixed ? 5u : 6u),
                                      table.Shortest, table.Longest);
        if (available < m) {
            Need(m); // both read on, and that reader first asks for m bits
            return SlowLookup(table);
        }
        // The code as far as the bits at hand show it; bits that are not at hand read as
        // zeros, so a code found no longer than `available` is the code itself, and one
        // found longer tells that the code is longer than `available`.
        Peek(table.Longest);
        std::uint32_t e = table.Entries[Bits(table.Bits)];
        unsigned codeLength = TEntry::CodeBits(e);
        std::uint32_t sub = e;
        if (TEntry::IsLink(e)) {
            sub = table.Entries[TEntry::SubTable(e) + ((bitbuf_ >> TotalBits(e)) &
                                                       ((1u << TEntry::SubTableBits(e)) - 1))];
            codeLength = TotalBits(e) + TEntry::CodeBits(sub);
        }
        if (!TEntry::IsInvalid(sub)) {
            if (codeLength > available) {
                Need(codeLength); // that reader asks for at least as much
                return SlowLookup(table);
            }
            if (codeLength <= m) {
                // That reader asks for m bits, which are at hand.
                if (TEntry::IsLink(e)) {
                    Drop(TotalBits(e));
                }
                return sub;
            }
        }
        return ReferenceLookup(reference_[litlen ? 0 : 1], table);
    }

    /// The entry for the next code, through a sub-table if need be (its link consumed).
    std::uint32_t SlowLookup(const TFastTable& table) {
        Need(table.Bits);
        std::uint32_t e = table.Entries[Bits(table.Bits)];
        if (TEntry::IsLink(e)) {
            Drop(TotalBits(e));
            const unsigned subBits = TEntry::SubTableBits(e);
            Need(subBits);
            e = table.Entries[TEntry::SubTable(e) + Bits(subBits)];
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
        const std::uint8_t* litlenLengths = block_.Lengths;
        const std::uint8_t* distLengths = block_.Lengths + block_.LitlenCount;
        unsigned litlenCount = block_.LitlenCount;
        unsigned distCount = block_.DistCount;
        if (block_.Fixed) {
            litlenLengths = kFixedLitlenLengths.data();
            distLengths = kFixedDistLengths.data();
            litlenCount = kFixedLitlenLengths.size();
            distCount = kFixedDistLengths.size();
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
    /// reading further: those bits cover the whole code. Builds the reference tables for the
    /// block first; when memory is short for them, looks the code up as SlowLookup does.
    std::uint32_t ReferenceLookup(const TReferenceTable& reference, const TFastTable& table) {
        if (!BuildReferenceTables()) {
            return SlowLookup(table);
        }
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
        if (TEntry::IsLink(e)) {
            Drop(TotalBits(e));
            Peek(TEntry::SubTableBits(e));
            e = table.Entries[TEntry::SubTable(e) + Bits(TEntry::SubTableBits(e))];
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

    /// Consumes a length or distance entry with its extra bits; the value of the extra bits.
    unsigned TakeExtraBits(std::uint32_t e) {
        Need(TotalBits(e));
        const unsigned extra = Bits(TotalBits(e)) >> TEntry::CodeBits(e);
        Drop(TotalBits(e));
        return extra;
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
    finished_ = inflater.Run() == TDecodeResult::Done;
}

} // namespace zorvi
