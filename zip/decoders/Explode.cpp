// Method 6, imploding: a sliding dictionary of 4 or 8 KB with Shannon-Fano coded lengths,
// distances and (optionally) literals.
//
// The entry starts with the code-length lists of its trees, run-length coded in whole bytes:
// the literal tree (256 codes, only with general-purpose bit 2), the length tree and the
// distance tree (64 codes each). Then, per item, one bit: 1 is a literal (through the
// literal tree, or 8 raw bits without it), 0 a match: the distance's low 6 bits (4 KB
// dictionary) or 7 bits (8 KB, bit 1) raw, its high part through the distance tree, then
// the length through the length tree, whose last code adds 8 raw bits.
//
// The codes are the bitwise complements of the canonical codes BuildHuffmanTable assigns to
// the same lengths, so every lookup indexes with the complemented input bits. The window is
// the first 32 KB of WorkArea (TSlidingWindow). The bits come through TBitReader
// (BitReader.h), loaded byte by byte: a table lookup may look at more bits than the last
// code has, which past the end of the data are made-up zeros that the code does not use.
// Decoding stops after the uncompressed size, or as bad data at an invalid code, at code
// lengths that do not make a complete code, or at an item that took bits from past the end
// of the data; bad data leaves what the window holds unwritten.
#include <algorithm>
#include <array>

#include "zip/decoders/BitReader.h"
#include "zip/decoders/EntryDecoder.h"
#include "zip/decoders/SlidingWindow.h"

namespace zorvi {
namespace {

constexpr std::size_t kExplodeWindow = 32768;
constexpr unsigned kLiteralCodes = 256;
constexpr unsigned kLengthDistanceCodes = 64;

/// Base lengths of the length codes: 2 to 65 with two trees, 3 to 66 with a literal tree.
/// Only the last code (63) takes extra bits: 8 of them.
constexpr auto MakeLengthBases(std::uint16_t first) {
    std::array<std::uint16_t, kLengthDistanceCodes> b{};
    for (unsigned k = 0; k < kLengthDistanceCodes; ++k) {
        b[k] = static_cast<std::uint16_t>(first + k);
    }
    return b;
}
constexpr auto kLengthBases2 = MakeLengthBases(2);
constexpr auto kLengthBases3 = MakeLengthBases(3);
constexpr auto kLengthExtras = [] {
    std::array<std::uint8_t, kLengthDistanceCodes> e{};
    e[kLengthDistanceCodes - 1] = 8;
    return e;
}();
/// Distance code k stands for the high part k × 64 (4 KB) or k × 128 (8 KB), plus one.
constexpr auto MakeDistanceBases(unsigned step) {
    std::array<std::uint16_t, kLengthDistanceCodes> b{};
    for (unsigned k = 0; k < kLengthDistanceCodes; ++k) {
        b[k] = static_cast<std::uint16_t>(1 + step * k);
    }
    return b;
}
constexpr auto kDistanceBases4K = MakeDistanceBases(64);
constexpr auto kDistanceBases8K = MakeDistanceBases(128);
constexpr std::array<std::uint8_t, kLengthDistanceCodes> kNoExtras{};

/// The next n input bits, complemented (implode's codes are complemented).
unsigned Complemented(const TBitReader& bits, unsigned n) {
    return ~bits.Bits(n) & ((1u << n) - 1);
}

/// One code through a table: the entry of the code found, its bits consumed, or an entry
/// with operation kOpInvalid where no code has the bits (nothing consumed at its level).
inline const THuftEntry* DecodeComplemented(TBitReader& bits, const THuftEntry* table,
                                            int lookupBits) {
    bits.Need(static_cast<unsigned>(lookupBits));
    const THuftEntry* e = table + Complemented(bits, static_cast<unsigned>(lookupBits));
    while (e->Operation > kOpSubTable && e->Operation != kOpInvalid) {
        bits.Drop(e->Bits);
        const unsigned width = e->Operation - kOpSubTable;
        bits.Need(width);
        e = e->Link + Complemented(bits, width);
    }
    if (e->Operation != kOpInvalid) {
        bits.Drop(e->Bits);
    }
    return e;
}

} // namespace

/// The entry's three codes; the tables are freed whatever way ExplodeEntry leaves.
struct TEntryDecoder::TExplodeCodes {
    THuftEntry* Literal = nullptr; // none without a literal tree: literals are 8 raw bits
    THuftEntry* Length = nullptr;
    THuftEntry* Distance = nullptr;
    // Lookup widths; they shape the tables only, never the decoded bytes.
    int LiteralBits = 9;
    int LengthBits = 7;
    int DistanceBits = 7;

    TExplodeCodes() = default;
    TExplodeCodes(const TExplodeCodes&) = delete;
    TExplodeCodes& operator=(const TExplodeCodes&) = delete;
    ~TExplodeCodes() {
        FreeHuffmanTable(Literal);
        FreeHuffmanTable(Length);
        FreeHuffmanTable(Distance);
    }
};

TDecodeResult TEntryDecoder::ReadExplodeTree(std::uint8_t* lengths, unsigned expected) {
    std::uint8_t byte = 0;
    if (!ReadInputByte(byte)) {
        return TDecodeResult::BadData;
    }
    unsigned groups = byte + 1u;
    unsigned k = 0;
    while (groups-- > 0) {
        if (!ReadInputByte(byte)) {
            return TDecodeResult::BadData;
        }
        const unsigned length = (byte & 0x0F) + 1u;
        const unsigned repeat = (byte >> 4) + 1u;
        if (k + repeat > expected) {
            return TDecodeResult::BadData;
        }
        std::fill(lengths + k, lengths + k + repeat, static_cast<std::uint8_t>(length));
        k += repeat;
    }
    return k == expected ? TDecodeResult::Done : TDecodeResult::BadData;
}

TDecodeResult TEntryDecoder::ReadExplodeCode(unsigned codes, unsigned s, const std::uint16_t* bases,
                                             const std::uint8_t* extras, THuftEntry*& table,
                                             int& lookupBits) {
    std::uint8_t lengths[kLiteralCodes];
    if (ReadExplodeTree(lengths, codes) != TDecodeResult::Done) {
        return TDecodeResult::BadData;
    }
    const TBuildResult built = BuildTable(lengths, codes, s, bases, extras, table, lookupBits);
    return built == brComplete ? TDecodeResult::Done : TDecodeResult::BadData;
}

void TEntryDecoder::ExplodeEntry() {
    const bool bigDictionary = (entry_.BitFlags & 0x0002) != 0;
    const bool literalTree = (entry_.BitFlags & 0x0004) != 0;
    TExplodeCodes codes;
    codes.DistanceBits = compressedLeft_ > 200000 ? 8 : 7;
    TDecodeResult result = TDecodeResult::Done;
    if (literalTree) {
        result = ReadExplodeCode(kLiteralCodes, kLiteralCodes, nullptr, nullptr, codes.Literal,
                                 codes.LiteralBits);
    }
    if (result == TDecodeResult::Done) {
        result = ReadExplodeCode(kLengthDistanceCodes, 0,
                                 (literalTree ? kLengthBases3 : kLengthBases2).data(),
                                 kLengthExtras.data(), codes.Length, codes.LengthBits);
    }
    if (result == TDecodeResult::Done) {
        result = ReadExplodeCode(kLengthDistanceCodes, 0,
                                 (bigDictionary ? kDistanceBases8K : kDistanceBases4K).data(),
                                 kNoExtras.data(), codes.Distance, codes.DistanceBits);
    }
    if (result == TDecodeResult::Done) {
        result = ExplodeItems(codes);
    }
    FlushOutput();
    finished_ = result == TDecodeResult::Done;
}

TDecodeResult TEntryDecoder::ExplodeItems(const TExplodeCodes& codes) {
    const unsigned lowDistanceBits = (entry_.BitFlags & 0x0002) ? 7 : 6;
    TBitReader bits(*this);
    TSlidingWindow window(*this, workArea_.get(), kExplodeWindow);
    std::int64_t left = entry_.UncompressedSize;
    while (left > 0) {
        if (bits.Read(1) != 0) {
            std::uint8_t byte = 0;
            if (codes.Literal != nullptr) {
                const THuftEntry* e = DecodeComplemented(bits, codes.Literal, codes.LiteralBits);
                if (e->Operation == kOpInvalid) {
                    return TDecodeResult::BadData;
                }
                byte = static_cast<std::uint8_t>(e->Value);
            } else {
                byte = static_cast<std::uint8_t>(bits.Read(8));
            }
            if (bits.RealBitsShort()) {
                return TDecodeResult::BadData;
            }
            window.Put(byte);
            --left;
            continue;
        }
        const unsigned low = bits.Read(lowDistanceBits);
        const THuftEntry* d = DecodeComplemented(bits, codes.Distance, codes.DistanceBits);
        if (d->Operation == kOpInvalid) {
            return TDecodeResult::BadData;
        }
        const THuftEntry* l = DecodeComplemented(bits, codes.Length, codes.LengthBits);
        if (l->Operation == kOpInvalid) {
            return TDecodeResult::BadData;
        }
        std::size_t count = l->Value;
        if (l->Operation != 0) {
            count += bits.Read(8);
        }
        if (bits.RealBitsShort()) {
            return TDecodeResult::BadData;
        }
        left -= static_cast<std::int64_t>(count);
        window.Copy(low + d->Value, count);
    }
    window.Flush();
    return TDecodeResult::Done;
}

} // namespace zorvi
