// Helpers of the decoder tests (see DecoderTestSupport.h) that use zlib or build deflate
// streams; the rest is in EntryTestSupport.cpp.
#include "DecoderTestSupport.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "zip/decoders/InflateTables.h"

namespace zorvi::test {

TDecoded Inflate(const TBytes& stream, std::int64_t uncompressedSize) {
    TEncodedEntry encoded;
    encoded.Data = stream;
    encoded.UncompressedSize = uncompressedSize;
    return DecodeEntry(encoded);
}

std::uint32_t Crc32Of(const TBytes& data) {
    return static_cast<std::uint32_t>(crc32(0, data.data(), static_cast<uInt>(data.size())));
}

TBytes ZlibDeflate(const TBytes& data, int level, int strategy, std::size_t blockBytes) {
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, -15, 8, strategy);
    const std::size_t blocks = blockBytes == 0 ? 1 : data.size() / blockBytes + 1;
    TBytes out(deflateBound(&z, data.size()) + 16 * blocks + 16);
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    std::size_t at = 0;
    do {
        const std::size_t n =
            blockBytes == 0 ? data.size() : std::min(blockBytes, data.size() - at);
        z.next_in = const_cast<Bytef*>(data.data() + at);
        z.avail_in = static_cast<uInt>(n);
        at += n;
        deflate(&z, at == data.size() ? Z_FINISH : Z_BLOCK);
    } while (at < data.size());
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

std::optional<TBytes> ZlibInflate(const TBytes& stream, std::size_t maxSize) {
    z_stream z{};
    inflateInit2(&z, -15);
    TBytes out(maxSize);
    z.next_in = const_cast<Bytef*>(stream.data());
    z.avail_in = static_cast<uInt>(stream.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = ::inflate(&z, Z_FINISH);
    out.resize(z.total_out);
    inflateEnd(&z);
    if (rc != Z_STREAM_END) {
        return std::nullopt;
    }
    return out;
}

TBytes MixedData(std::size_t size, std::uint32_t seed) {
    static const char* const kWords[] = {"the ",    "window ", "of ",       "a ",     "code ",
                                         "length ", "and ",    "distance ", "block ", "\r\n"};
    TBytes out;
    std::uint32_t x = seed * 2654435761u + 1;
    auto next = [&x] {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return x;
    };
    while (out.size() < size) {
        const std::uint32_t kind = next() % 8;
        if (kind < 5) {
            const char* w = kWords[next() % 10];
            out.insert(out.end(), w, w + std::strlen(w));
        } else if (kind == 5) {
            for (int i = 0; i < 40; ++i) {
                out.push_back(static_cast<std::uint8_t>(next()));
            }
        } else {
            out.insert(out.end(), 20 + next() % 300, static_cast<std::uint8_t>(next()));
        }
    }
    out.resize(size);
    return out;
}

void TBitWriter::Put(std::uint32_t value, unsigned bits) {
    // At most 7 bits wait in the buffer, so 32 more fit in its 64.
    const std::uint64_t mask = bits >= 32 ? ~0ull : (1ull << bits) - 1;
    buffer_ |= (value & mask) << count_;
    count_ += bits;
    while (count_ >= 8) {
        bytes_.push_back(static_cast<std::uint8_t>(buffer_));
        buffer_ >>= 8;
        count_ -= 8;
    }
}

void TBitWriter::PutCode(std::uint32_t code, unsigned length) {
    for (unsigned i = length; i-- > 0;) {
        Put((code >> i) & 1u, 1);
    }
}

void TBitWriter::AlignToByte() {
    if (count_ > 0) {
        Put(0, 8 - count_);
    }
}

TBytes TBitWriter::Finish() {
    AlignToByte();
    return bytes_;
}

std::vector<std::uint32_t> CanonicalCodes(const std::vector<std::uint8_t>& lengths) {
    unsigned count[17] = {};
    for (auto l : lengths) {
        ++count[l];
    }
    count[0] = 0;
    std::uint32_t next[17] = {};
    std::uint32_t code = 0;
    for (unsigned len = 1; len <= 16; ++len) {
        code = (code + count[len - 1]) << 1;
        next[len] = code;
    }
    std::vector<std::uint32_t> codes(lengths.size());
    for (std::size_t i = 0; i < lengths.size(); ++i) {
        if (lengths[i] != 0) {
            codes[i] = next[lengths[i]]++;
        }
    }
    return codes;
}

std::vector<std::uint8_t> RandomCompleteLengths(unsigned n, unsigned maxLength, std::mt19937& rng) {
    // Split slots: start with one code of length 0 and split random leaves.
    std::vector<std::uint8_t> leaves = {0};
    while (leaves.size() < n) {
        const std::size_t i = rng() % leaves.size();
        if (leaves[i] >= maxLength) {
            continue;
        }
        const std::uint8_t len = static_cast<std::uint8_t>(leaves[i] + 1);
        leaves[i] = len;
        leaves.push_back(len);
    }
    std::shuffle(leaves.begin(), leaves.end(), rng);
    return leaves;
}

void PutFixedLitlen(TBitWriter& w, unsigned sym) {
    if (sym < 144) {
        w.PutCode(0x30 + sym, 8);
    } else if (sym < 256) {
        w.PutCode(0x190 + sym - 144, 9);
    } else if (sym < 280) {
        w.PutCode(sym - 256, 7);
    } else {
        w.PutCode(0xC0 + sym - 280, 8);
    }
}

std::pair<unsigned, unsigned> LengthSymbol(unsigned length) {
    unsigned k = 28;
    while (inflate::kLengthBases[k] > length) {
        --k;
    }
    return {257 + k, length - inflate::kLengthBases[k]};
}

std::pair<unsigned, unsigned> DistanceSymbol(unsigned distance) {
    unsigned k = 31;
    while (inflate::kDeflate64DistBases[k] > distance) {
        --k;
    }
    return {k, distance - inflate::kDeflate64DistBases[k]};
}

std::pair<unsigned, unsigned> Deflate64LengthSymbol(unsigned length) {
    return length <= 257 ? LengthSymbol(length) : std::pair{285u, length - 3};
}

void PutFixedMatch(TBitWriter& w, unsigned length, unsigned distance) {
    const auto [lengthSym, lengthExtra] = LengthSymbol(length);
    PutFixedLitlen(w, lengthSym);
    w.Put(lengthExtra, inflate::kLengthExtras[lengthSym - 257]);
    const auto [distSym, distExtra] = DistanceSymbol(distance);
    w.PutCode(distSym, 5);
    w.Put(distExtra, inflate::kDeflate64DistExtras[distSym]);
}

void PutDynamicHeader(TBitWriter& w, bool last, const std::vector<std::uint8_t>& litlen,
                      const std::vector<std::uint8_t>& dist) {
    w.Put(last ? 1 : 0, 1);                                    // BFINAL
    w.Put(2, 2);                                               // BTYPE dynamic
    w.Put(static_cast<std::uint32_t>(litlen.size() - 257), 5); // HLIT
    w.Put(static_cast<std::uint32_t>(dist.size() - 1), 5);     // HDIST
    w.Put(19 - 4, 4);                                          // HCLEN: all 19
    for (unsigned i = 0; i < 19; ++i) {
        w.Put(inflate::kPrecodeOrder[i] < 16 ? 4 : 0, 3); // lengths 16,17,18 unused
    }
    for (auto len : litlen) {
        w.PutCode(len, 4); // symbol k of the code-length code has the 4-bit code k
    }
    for (auto len : dist) {
        w.PutCode(len, 4);
    }
}

} // namespace zorvi::test
