// The decoding layer of the extraction component: the run's work buffers, the per-entry
// decoding state, the byte reader that refills from the archive, the writer that checks the
// size, keeps the CRC-32 and raises the percent events, and the decoders of the ZIP methods
// 0 (stored), 1 (shrunk), 2-5 (reduced), 6 (imploded), 8 (deflated) and 9 (Deflate64).
//
// Contract with the extraction engine, which owns one TEntryDecoder per run:
//  1. At the start of a run it constructs the decoder (this allocates the work buffers) with
//     the run's hooks, and sets TotalBytes (BytesDone starts at 0). SkipEntry lowers
//     TotalBytes directly. At the end of the run it destroys the decoder.
//  2. For each entry to decode: it positions the archive at the entry's first data byte
//     (past the 12-byte encryption header of an encrypted entry, whose password check it has
//     done with TZipCipher), creates the output file, and calls StartEntry. StartEntry sets
//     CrcRegister to 0xFFFFFFFF and resets every count and buffer position.
//  3. It calls DecodeEntry with the entry's method (the message for a method without a
//     decoder is the engine's). A decoder returns when the entry is decoded or when bad data
//     stopped it, with its output written (when bad data stops inflate or explode, what
//     their window still holds is dropped). Bad compressed data never raises by itself;
//     EntryFinished tells whether the decoder reached the regular end of its data.
//  4. It compares ~CrcRegister (FinalCrc) with the stored CRC-32. The entry is extracted
//     only when the CRC-32 matches, EntryFinished holds and BytesWritten equals the
//     uncompressed size: a CRC-32 alone also passes a file cut short at a point whose CRC
//     the archive happens to store.
//
// What may leave a decoder:
//  - UnstoreEntry, UnshrinkEntry, UnreduceEntry, ExplodeEntry: EFatalUnzipError and
//    EUserCanceled (from TCompressedInput), EBiggerThanUncompressed (output would pass the
//    uncompressed size; nothing of that block is written) and ECantWriteUCF (short write), and
//    whatever the engine's input, output or hooks raise.
//  - InflateEntry and Inflate64Entry: the same, but inside a deflate block every exception
//    except EUserCanceled ends the block as bad data instead (the entry just stops); only the
//    block header bits and the final flush let them pass.
//
// Input: the engine implements TCompressedInput over its archive stream, with the short-read
// rule (premature end or the next volume) inside. Decryption is done here, with the cipher
// the engine hands over in TEntryDecodeParams, so the engine never sees the data.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "zip/decoders/DecodeResult.h"
#include "zip/decoders/HuffmanTable.h"

namespace zorvi {

class TBitReader;
class TMessageBoxes;
class TZipCipher;
struct TShrinkTables;
namespace inflate {
struct TInflateTables;
}

/// The compressed data of the entry being extracted, as the engine delivers it.
class TCompressedInput {
public:
    virtual ~TCompressedInput() = default;
    /// Reads the next `count` bytes (1 to 32768) of the archive at its current position into
    /// `buffer` and returns how many arrived. The engine handles a short read itself: on a
    /// single-volume archive, or without an OnGetNextDisk handler, it raises EFatalUnzipError;
    /// otherwise it requests the following volume (EUserCanceled when none is supplied) and
    /// reads the rest from it. A return below `count` is taken as the end of the data.
    virtual std::size_t ReadCompressed(std::uint8_t* buffer, std::size_t count) = 0;
};

/// The output file of the entry being extracted.
class TDecodedOutput {
public:
    virtual ~TDecodedOutput() = default;
    /// Writes `count` bytes and returns how many the file accepted.
    virtual std::size_t WriteDecoded(const std::uint8_t* data, std::size_t count) = 0;
    /// The position in the file, in bytes from its start.
    virtual std::int64_t DecodedPosition() const = 0;
};

/// The run's callbacks. An empty std::function is an unassigned handler.
struct TDecodeHooks {
    /// Processes pending window messages; called at every refill of the input buffer and
    /// every block of the stored method. Empty when DoProcessMessages is off.
    std::function<void()> ProcessMessages;
    /// OnFilePercentDone: min(round(bytes written × 100 / uncompressed size), 100), rounded
    /// half to even; 0 when the uncompressed size is 0 or less. Called after each written block.
    std::function<void(int percent)> OnFilePercentDone;
    /// OnTotalPercentDone: as above with BytesDone / TotalBytes. Without this handler
    /// BytesDone is not advanced.
    std::function<void(int percent)> OnTotalPercentDone;
    /// Out of memory while building a Huffman table: the text "*** Не хватает памяти ***" goes
    /// to SetErrorMessage (the component's ErrorMessage) and to a box captioned "Error" with
    /// an OK button. Either may be empty/null.
    std::function<void(const std::string& text)> SetErrorMessage;
    TMessageBoxes* MessageBoxes = nullptr;
};

/// What the engine knows about the entry when it hands it over.
struct TEntryDecodeParams {
    TCompressedInput* Input = nullptr;
    TDecodedOutput* Output = nullptr;
    /// Bytes of compressed data in the archive, already less 12 for an encrypted entry.
    std::int64_t CompressedSize = 0;
    std::int64_t UncompressedSize = 0;
    /// General-purpose flags; explode reads bit 1 (8 KB dictionary) and bit 2 (literal tree).
    std::uint16_t BitFlags = 0;
    /// The keys DecryptHeader left for an encrypted entry; null for a plain entry.
    TZipCipher* Cipher = nullptr;
};

class TEntryDecoder {
public:
    /// Sizes of the run's buffers. The sliding windows of the decoders are 32768 bytes; the
    /// work area holds eight of them plus room for one match written ahead (Deflate64's
    /// longest, 65538 bytes, and what a copy writes beyond it, in 64 KiB + 1 KiB), so that
    /// inflate never splits a copy at the window's end and moves its history down only once
    /// per 224 KB of output, 160 KB for Deflate64's 64 KiB (see Inflate.cpp); the other
    /// buffers keep the sizes of the format's 32 KB blocks plus one spare byte.
    static constexpr std::size_t kBlockSize = 32768;
    static constexpr std::size_t kWorkAreaWindows = 8;
    static constexpr std::size_t kWorkAreaSize = kWorkAreaWindows * kBlockSize + 65536 + 1024;
    static constexpr std::size_t kInputBufferSize = kBlockSize + 1;
    static constexpr std::size_t kOutputBufferSize = kBlockSize + 1;

    /// Allocates the work buffers of a run (std::bad_alloc when memory is short).
    explicit TEntryDecoder(TDecodeHooks hooks = {});
    ~TEntryDecoder();
    TEntryDecoder(const TEntryDecoder&) = delete;
    TEntryDecoder& operator=(const TEntryDecoder&) = delete;

    /// Run totals for OnTotalPercentDone: the engine sets TotalBytes at the start of the run
    /// and lowers it for a skipped entry; FlushOutput advances BytesDone.
    std::int64_t TotalBytes = 0;
    std::int64_t BytesDone = 0;
    /// The running CRC-32 of the entry's decoded bytes (not yet complemented).
    std::uint32_t CrcRegister = 0xFFFFFFFFu;

    /// Resets the per-entry state for a new entry and sets CrcRegister to 0xFFFFFFFF.
    void StartEntry(const TEntryDecodeParams& params);
    /// Bytes of the run that another decoder wrote (a worker's, in a parallel run): advances
    /// BytesDone and raises OnTotalPercentDone as the write of a block here would.
    void AddBytesDone(std::int64_t count);
    /// The entry's CRC-32 as stored in archives: the complement of CrcRegister.
    std::uint32_t FinalCrc() const { return ~CrcRegister; }
    /// Decoded bytes of the current entry written to the output so far.
    std::int64_t BytesWritten() const { return bytesWritten_; }
    /// True when the decoder last called reached the regular end of the entry's data: the
    /// stored data copied whole, inflate's last block, the end of shrink's codes, reduce's
    /// and implode's uncompressed size decoded from the entry's own bits. False after bad
    /// data, input that ran out inside a code or an item, and before any decoder ran.
    bool EntryFinished() const { return finished_; }

    /// Decodes the entry with the decoder of its compression method: one of the six below.
    /// False, with nothing read or written, for a method that has no decoder.
    bool DecodeEntry(int method);

    /// Method 0: copies the entry's data to the output in blocks of 32768 bytes.
    void UnstoreEntry();
    /// Method 8 (deflate).
    void InflateEntry();
    /// Method 9 (Deflate64: deflate with a 64 KiB window, see Inflate.cpp).
    void Inflate64Entry();
    /// Method 1 (shrinking, dynamic LZW with partial clearing).
    void UnshrinkEntry();
    /// Methods 2 to 5 (reducing with compression factor method − 1); `method` is the
    /// entry's compression method.
    void UnreduceEntry(int method);
    /// Method 6 (imploding), dictionary and tree count from BitFlags bits 1 and 2.
    void ExplodeEntry();

    // The shared routines of the decoders, public so that the layer can be tested piece by
    // piece. They act on the state StartEntry set up.

    /// The next compressed byte into `byte`; false (and `byte` unchanged) when the entry's
    /// data is used up.
    bool ReadInputByte(std::uint8_t& byte);
    /// Writes the bytes waiting in the output buffer (size check, CRC, percent events).
    void FlushOutput();
    /// Appends one byte to the output buffer, flushing when it holds 32768.
    void PutOutputByte(std::uint8_t byte);
    /// Moves `count` bytes from `window` to the output buffer, flushing at every 32768.
    /// Inline: shrink hands over every string it decodes, most of a few bytes.
    void FlushWindow(const std::uint8_t* window, std::size_t count);
    /// Advances CrcRegister over `count` bytes.
    void UpdateCrc(const std::uint8_t* data, std::size_t count);

    // For decoders written as classes of their own over this one (a decoder that keeps a
    // large model or window of its own per entry): bulk input, the entry's facts, the end.

    /// Up to `max` (at least 1) of the entry's next compressed bytes, straight from the input
    /// buffer, which is refilled (message pump, decryption, next volume, premature end) only
    /// when it is empty; an empty span once the data is used up. The bytes are consumed:
    /// ReadInputByte continues after them. The span stays valid until the next input call.
    std::span<const std::uint8_t> TakeInput(std::size_t max);
    /// What the engine handed over for the entry being decoded (sizes, flags).
    const TEntryDecodeParams& Entry() const { return entry_; }
    /// Records whether the decoder reached the regular end of the entry's data (see
    /// EntryFinished); call it after writing out what was decoded.
    void SetFinished(bool finished) { finished_ = finished; }

private:
    struct TExplodeCodes;
    template <class TFormat>
    class TInflater;

    // Input side.
    std::size_t RefillInput();
    void WriteBlock(const std::uint8_t* data, std::size_t count);
    void ReportOutOfMemory();
    TBuildResult BuildTable(const std::uint8_t* lengths, unsigned n, unsigned s,
                            const std::uint16_t* bases, const std::uint8_t* extras,
                            THuftEntry*& table, int& lookupBits);

    // Shrink and reduce.
    TDecodeResult UnshrinkCodes(const TShrinkTables& tables);
    void PartialClear();
    void LoadFollowerSets(TBitReader& bits, std::uint8_t* followers, std::uint8_t* counts);

    // Implode.
    TDecodeResult ReadExplodeTree(std::uint8_t* lengths, unsigned expected);
    TDecodeResult ReadExplodeCode(unsigned codes, unsigned s, const std::uint16_t* bases,
                                  const std::uint8_t* extras, THuftEntry*& table, int& lookupBits);
    TDecodeResult ExplodeItems(const TExplodeCodes& codes);

    TDecodeHooks hooks_;
    std::unique_ptr<std::uint8_t[]> workArea_;
    std::unique_ptr<std::uint8_t[]> inputBuffer_;
    std::unique_ptr<std::uint8_t[]> outputBuffer_;
    std::unique_ptr<inflate::TInflateTables> inflateTables_;

    // Per-entry state (see StartEntry).
    TEntryDecodeParams entry_;
    std::int64_t archiveBytesLeft_ = 0; // not yet read from the archive
    std::int64_t compressedLeft_ = 0;   // still deliverable by ReadInputByte
    const std::uint8_t* inputPos_ = nullptr;
    std::size_t inputCount_ = 0;  // bytes not yet delivered in the input buffer
    std::size_t outputCount_ = 0; // bytes waiting in the output buffer
    std::int64_t bytesWritten_ = 0;
    bool finished_ = false;       // see EntryFinished
    unsigned shrinkNextFree_ = 0; // the lowest free shrink code
};

inline void TEntryDecoder::FlushWindow(const std::uint8_t* window, std::size_t count) {
    while (count > 0) {
        const std::size_t k = std::min(count, kBlockSize - outputCount_);
        std::memcpy(outputBuffer_.get() + outputCount_, window, k);
        outputCount_ += k;
        window += k;
        count -= k;
        if (outputCount_ == kBlockSize) {
            FlushOutput();
        }
    }
}

} // namespace zorvi
