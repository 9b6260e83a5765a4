// Helpers of the decoder tests: an in-memory archive stream and output file, a bit writer
// for hand-built streams, zlib as the control encoder, and a reader of the raw entries of
// the corpus archives.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "zip/decoders/EntryDecoder.h"

namespace zorvi::test {

using TBytes = std::vector<std::uint8_t>;

TBytes BytesOf(const std::string& text);

/// The entry's data as the engine would deliver it: a short read raises EFatalUnzipError
/// (a single-volume archive), or `failAtRead` raises a chosen exception at the n-th read.
class TMemoryInput : public TCompressedInput {
public:
    explicit TMemoryInput(TBytes data) : data_(std::move(data)) {}
    std::size_t ReadCompressed(std::uint8_t* buffer, std::size_t count) override;

    std::vector<std::size_t> Reads; // sizes asked for, in order
    int CancelAtRead = -1;          // raise EUserCanceled at this read (0-based)
    bool ShortReadRaises = true;    // false: return what is there

private:
    TBytes data_;
    std::size_t pos_ = 0;
};

class TMemoryOutput : public TDecodedOutput {
public:
    std::size_t WriteDecoded(const std::uint8_t* data, std::size_t count) override;
    std::int64_t DecodedPosition() const override { return static_cast<std::int64_t>(Data.size()); }

    TBytes Data;
    std::vector<std::size_t> Writes;
    std::size_t AcceptLimit = std::numeric_limits<std::size_t>::max();
};

/// Outcome of decoding one entry.
struct TDecoded {
    TBytes Data;
    std::uint32_t Crc = 0;            // the complemented register
    bool Finished = false;            // the decoder reached the regular end of the data
    std::optional<std::string> Error; // message of an exception that left the decoder
    std::vector<std::size_t> Writes;
    std::vector<std::size_t> Reads;
};

/// Everything about an entry to decode. The decoder may be given to reuse its buffers.
struct TEncodedEntry {
    int Method = 8;
    std::uint16_t BitFlags = 0;
    TBytes Data;
    std::int64_t UncompressedSize = 0;
    std::optional<std::int64_t> CompressedSize; // default: Data.size()
    TZipCipher* Cipher = nullptr;
    bool ShortReadRaises = true;
    int CancelAtRead = -1;
};

TDecoded DecodeEntry(const TEncodedEntry& encoded, TEntryDecoder* decoder = nullptr);

/// Convenience: a raw deflate stream decoded with an ample uncompressed size.
TDecoded Inflate(const TBytes& stream, std::int64_t uncompressedSize = 1 << 20);

std::uint32_t Crc32Of(const TBytes& data);

/// Raw deflate (no zlib header) by zlib, and raw inflate by zlib (nullopt on error). With
/// `blockBytes`, zlib ends a block after every so many input bytes (Z_BLOCK).
TBytes ZlibDeflate(const TBytes& data, int level = 6, int strategy = 0, std::size_t blockBytes = 0);
std::optional<TBytes> ZlibInflate(const TBytes& stream, std::size_t maxSize = 1 << 24);

/// Deterministic test data: text-like runs mixed with pseudo-random bytes.
TBytes MixedData(std::size_t size, std::uint32_t seed);

/// Writes bits least significant first, as deflate, shrink, reduce and implode read them.
class TBitWriter {
public:
    /// The low `bits` bits of value, lowest first.
    void Put(std::uint32_t value, unsigned bits);
    /// A Huffman code of `length` bits, most significant bit first (deflate's order).
    void PutCode(std::uint32_t code, unsigned length);
    void AlignToByte();
    /// Bits written so far.
    std::size_t BitLength() const { return bytes_.size() * 8 + count_; }
    TBytes Finish();

private:
    TBytes bytes_;
    std::uint64_t buffer_ = 0; // bits not yet in bytes_, the first in bit 0
    unsigned count_ = 0;
};

/// Canonical codes for code lengths (RFC 1951 section 3.2.2).
std::vector<std::uint32_t> CanonicalCodes(const std::vector<std::uint8_t>& lengths);

/// Code lengths of a complete code over n symbols with lengths up to `maxLength`, in a
/// random order.
std::vector<std::uint8_t> RandomCompleteLengths(unsigned n, unsigned maxLength, std::mt19937& rng);

// --- Writers of deflate pieces -------------------------------------------------------------

/// The fixed literal/length code of symbol `sym` (RFC 1951 section 3.2.6).
void PutFixedLitlen(TBitWriter& w, unsigned sym);

/// A match in the fixed code: the length's symbol and extra bits, the distance's 5-bit code
/// and extra bits. `length` 3 to 258, `distance` 1 to 32768 (65536 in a Deflate64 stream).
void PutFixedMatch(TBitWriter& w, unsigned length, unsigned distance);

/// The symbol of a length (257 to 285) or a distance (0 to 29; 30 and 31, Deflate64's,
/// beyond 32768) and its extra bits' value.
std::pair<unsigned, unsigned> LengthSymbol(unsigned length);
std::pair<unsigned, unsigned> DistanceSymbol(unsigned distance);
/// Deflate64's symbol of a length from 3 to 65538: deflate's up to 257, else 285 with the
/// length less 3 in its 16 extra bits.
std::pair<unsigned, unsigned> Deflate64LengthSymbol(unsigned length);

/// A dynamic block header for the given code lengths. The code-length code gives the
/// symbols 0 to 15 four bits each, so every length is sent as its own 4-bit code.
void PutDynamicHeader(TBitWriter& w, bool last, const std::vector<std::uint8_t>& litlen,
                      const std::vector<std::uint8_t>& dist);

/// One entry of a ZIP archive, from its central directory, with its raw data.
/// (EntryTestSupport.cpp: it, DecodeEntry and the memory input and output need no zlib.)
struct TRawEntry {
    std::string Name;
    int Method = 0;
    std::uint16_t BitFlags = 0;
    std::uint32_t DosDateTime = 0;
    std::uint32_t Crc = 0;
    std::int64_t CompressedSize = 0;
    std::int64_t UncompressedSize = 0;
    TBytes Extra; // the central header's extra block
    TBytes Data;  // the compressed data (with the 12-byte header when encrypted)
};

/// The entries of an archive; nullopt when it has no readable central directory.
std::optional<std::vector<TRawEntry>> ReadRawEntries(const std::string& path);

/// The Deflate64 archive made by 7-Zip (tests/data/deflate64/README.md), under tests/data.
inline constexpr const char* kDeflate64Archive = "deflate64/7z-deflate64.zip";

/// The path of one archive of the test corpus; throws, naming it, when it is missing.
std::string CorpusFile(const std::string& name);

} // namespace zorvi::test
