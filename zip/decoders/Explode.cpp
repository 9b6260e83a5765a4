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
// the first 32 KB of WorkArea; a match reaching before the entry's first byte produces
// zeros. The bit reader is inflate's NeedBits/DropBits over ReadInputByte: past the end of
// the data it sees the last byte again, since a table lookup may look at more bits than the
// last code has. Decoding stops after the uncompressed size, or as bad data at an invalid
// code or at an item that took bits from past the end of the data.
#include <algorithm>
#include <cstring>

#include "zip/decoders/EntryDecoder.h"

namespace zorvi {
namespace {

constexpr std::size_t kExplodeWindow = 32768;
constexpr unsigned kLiteralCodes = 256;
constexpr unsigned kLengthDistanceCodes = 64;
constexpr int kTreeError = 4; // ReadExplodeTree's result for a list that does not add up

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

/// Frees the tables of an entry whatever way ExplodeEntry leaves.
struct TTableSet {
    THuftEntry* Literal = nullptr;
    THuftEntry* Length = nullptr;
    THuftEntry* Distance = nullptr;
    ~TTableSet() {
        FreeHuffmanTable(Literal);
        FreeHuffmanTable(Length);
        FreeHuffmanTable(Distance);
    }
};

} // namespace

/// The inflate/implode bit reader over ReadInputByte (see the essay above).
struct TEntryDecoder::TBitReader {
    TEntryDecoder& Owner;
    std::uint32_t Buffer = 0;
    unsigned Count = 0;
    std::uint8_t LastByte = 0;
    unsigned Overrun = 0; // bytes made up past the end of the data

    void NeedBits(unsigned n) {
        while (Count < n) {
            if (!Owner.ReadInputByte(LastByte)) {
                ++Overrun; // past the end, LastByte keeps its value
            }
            Buffer |= static_cast<std::uint32_t>(LastByte) << Count;
            Count += 8;
        }
    }
    /// True when the bits taken so far reach into the made-up bytes, which are the last
    /// ones loaded and so sit at the top of the buffer.
    bool RealBitsShort() const { return Count < 8 * Overrun; }
    void DropBits(unsigned n) {
        Buffer >>= n;
        Count -= n;
    }
    /// The next n input bits, complemented (implode's codes are complemented).
    unsigned Complemented(unsigned n) const { return ~Buffer & ((1u << n) - 1); }

    /// Decodes one code through a table; nullptr for an invalid code.
    const THuftEntry* Decode(const THuftEntry* table, int lookupBits) {
        NeedBits(static_cast<unsigned>(lookupBits));
        const THuftEntry* e = table + Complemented(static_cast<unsigned>(lookupBits));
        while (e->Operation > kOpSubTable) {
            if (e->Operation == kOpInvalid) {
                return nullptr;
            }
            DropBits(e->Bits);
            const unsigned bits = e->Operation - kOpSubTable;
            NeedBits(bits);
            e = e->Link + Complemented(bits);
        }
        DropBits(e->Bits);
        return e;
    }
};

int TEntryDecoder::ReadExplodeTree(std::uint8_t* lengths, unsigned expected) {
    std::uint8_t byte = 0;
    if (!ReadInputByte(byte)) {
        return kTreeError;
    }
    unsigned groups = byte + 1u;
    unsigned k = 0;
    while (groups-- > 0) {
        if (!ReadInputByte(byte)) {
            return kTreeError;
        }
        const unsigned length = (byte & 0x0F) + 1u;
        const unsigned repeat = (byte >> 4) + 1u;
        if (k + repeat > expected) {
            return kTreeError;
        }
        std::fill(lengths + k, lengths + k + repeat, static_cast<std::uint8_t>(length));
        k += repeat;
    }
    return k == expected ? 0 : kTreeError;
}

void TEntryDecoder::ExplodeEntry() {
    const bool bigDictionary = (entry_.BitFlags & 0x0002) != 0;
    const bool literalTree = (entry_.BitFlags & 0x0004) != 0;

    // Lookup widths; they shape the tables only, never the decoded bytes.
    int literalBits = 9;
    int lengthBits = 7;
    int distanceBits = compressedLeft_ > 200000 ? 8 : 7;

    TTableSet tables;
    std::uint8_t lengths[kLiteralCodes];
    if (literalTree) {
        if (ReadExplodeTree(lengths, kLiteralCodes) != 0 ||
            BuildTable(lengths, kLiteralCodes, kLiteralCodes, nullptr, nullptr, tables.Literal,
                       literalBits) != brComplete) {
            return;
        }
    }
    if (ReadExplodeTree(lengths, kLengthDistanceCodes) != 0 ||
        BuildTable(lengths, kLengthDistanceCodes, 0,
                   (literalTree ? kLengthBases3 : kLengthBases2).data(), kLengthExtras.data(),
                   tables.Length, lengthBits) != brComplete) {
        return;
    }
    if (ReadExplodeTree(lengths, kLengthDistanceCodes) != 0 ||
        BuildTable(lengths, kLengthDistanceCodes, 0,
                   (bigDictionary ? kDistanceBases8K : kDistanceBases4K).data(), kNoExtras.data(),
                   tables.Distance, distanceBits) != brComplete) {
        return;
    }
    const bool ended =
        literalTree
            ? ExplodeWithLiteralTree(tables.Literal, literalBits, tables.Length, lengthBits,
                                     tables.Distance, distanceBits)
            : ExplodeWithoutLiteralTree(tables.Length, lengthBits, tables.Distance, distanceBits);
    FlushOutput();
    finished_ = ended;
}

bool TEntryDecoder::ExplodeWithLiteralTree(const THuftEntry* literals, int literalBits,
                                           const THuftEntry* lengths, int lengthBits,
                                           const THuftEntry* distances, int distanceBits) {
    return ExplodeItems(literals, literalBits, lengths, lengthBits, distances, distanceBits);
}

bool TEntryDecoder::ExplodeWithoutLiteralTree(const THuftEntry* lengths, int lengthBits,
                                              const THuftEntry* distances, int distanceBits) {
    return ExplodeItems(nullptr, 0, lengths, lengthBits, distances, distanceBits);
}

bool TEntryDecoder::ExplodeItems(const THuftEntry* literals, int literalBits,
                                 const THuftEntry* lengths, int lengthBits,
                                 const THuftEntry* distances, int distanceBits) {
    const unsigned lowDistanceBits = (entry_.BitFlags & 0x0002) ? 7 : 6;
    std::uint8_t* const window = workArea_.get();
    TBitReader bits{*this};
    std::int64_t left = entry_.UncompressedSize;
    std::size_t pos = 0;
    bool firstWindow = true;

    auto advance = [&](std::size_t n) {
        pos += n;
        if (pos == kExplodeWindow) {
            FlushWindow(window, kExplodeWindow);
            pos = 0;
            firstWindow = false;
        }
    };

    while (left > 0) {
        bits.NeedBits(1);
        const bool literal = (bits.Buffer & 1) != 0;
        bits.DropBits(1);
        if (literal) {
            std::uint8_t byte;
            if (literals != nullptr) {
                const THuftEntry* e = bits.Decode(literals, literalBits);
                if (e == nullptr) {
                    return false; // invalid code: the window is not written
                }
                byte = static_cast<std::uint8_t>(e->Value);
            } else {
                bits.NeedBits(8);
                byte = static_cast<std::uint8_t>(bits.Buffer);
                bits.DropBits(8);
            }
            if (bits.RealBitsShort()) {
                return false;
            }
            window[pos] = byte;
            --left;
            advance(1);
            continue;
        }

        bits.NeedBits(lowDistanceBits);
        const unsigned low = bits.Buffer & ((1u << lowDistanceBits) - 1);
        bits.DropBits(lowDistanceBits);
        const THuftEntry* d = bits.Decode(distances, distanceBits);
        if (d == nullptr) {
            return false;
        }
        const THuftEntry* l = bits.Decode(lengths, lengthBits);
        if (l == nullptr) {
            return false;
        }
        std::size_t count = l->Value;
        if (l->Operation != 0) {
            bits.NeedBits(8);
            count += bits.Buffer & 0xFF;
            bits.DropBits(8);
        }
        if (bits.RealBitsShort()) {
            return false;
        }
        const std::size_t distance = low + d->Value;
        std::size_t src = (pos + kExplodeWindow - distance % kExplodeWindow) % kExplodeWindow;
        left -= static_cast<std::int64_t>(count);
        while (count > 0) {
            const std::size_t run = std::min(count, kExplodeWindow - std::max(src, pos));
            if (firstWindow && src >= pos) {
                std::memset(window + pos, 0, run); // before the entry's first byte
            } else if (src < pos && pos - src < run) {
                for (std::size_t i = 0; i < run; ++i) {
                    window[pos + i] = window[src + i];
                }
            } else {
                std::memmove(window + pos, window + src, run);
            }
            count -= run;
            src = (src + run) % kExplodeWindow;
            advance(run);
        }
    }
    FlushWindow(window, pos);
    return true;
}

} // namespace zorvi
