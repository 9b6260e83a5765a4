// The byte reader and writer of an entry, shared by every decoder.
//
// Input: ReadInputByte hands out the entry's compressed bytes one by one from InputBuffer
// and refills it in blocks of up to 32768 bytes (the message pump runs before each refill,
// and an encrypted entry's block is decrypted right after it is read). `compressedLeft_`
// counts the bytes ReadInputByte may still deliver, `archiveBytesLeft_` those not yet read
// from the archive; both start at the entry's compressed size.
//
// Output: decoded bytes collect in OutputBuffer and are written in blocks of 32768 (the last
// block of an entry may be shorter). Every write is checked against the uncompressed size
// before it happens, advances the CRC and raises the percent events.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/MessageBox.h"
#include "zip/decoders/Crc32.h"
#include "zip/decoders/DecodeErrors.h"
#include "zip/decoders/EntryDecoder.h"
#include "zip/decoders/InflateTables.h"
#include "zip/decoders/ZipCipher.h"

namespace zorvi {
namespace {

/// min(round(part × 100 / whole), 100), rounded half to even; 0 for a whole of 0 or less.
int Percent(std::int64_t part, std::int64_t whole) {
    if (whole <= 0) {
        return 0;
    }
    // nearbyint rounds in the current mode, which is to nearest with ties to even.
    const double p = std::nearbyint(static_cast<double>(part) * 100.0 / static_cast<double>(whole));
    return p > 100.0 ? 100 : static_cast<int>(p);
}

} // namespace

TEntryDecoder::TEntryDecoder(TDecodeHooks hooks)
    : hooks_(std::move(hooks)), workArea_(new std::uint8_t[kWorkAreaSize]()),
      inputBuffer_(new std::uint8_t[kInputBufferSize]()),
      outputBuffer_(new std::uint8_t[kOutputBufferSize]()),
      inflateTables_(std::make_unique<inflate::TInflateTables>()) {
    inputPos_ = inputBuffer_.get();
}

TEntryDecoder::~TEntryDecoder() = default;

void TEntryDecoder::StartEntry(const TEntryDecodeParams& params) {
    entry_ = params;
    archiveBytesLeft_ = params.CompressedSize;
    compressedLeft_ = params.CompressedSize;
    inputPos_ = inputBuffer_.get();
    inputCount_ = 0;
    outputCount_ = 0;
    bytesWritten_ = 0;
    finished_ = false;
    CrcRegister = 0xFFFFFFFFu;
}

std::size_t TEntryDecoder::RefillInput() {
    if (hooks_.ProcessMessages) {
        hooks_.ProcessMessages();
    }
    const std::size_t wanted =
        static_cast<std::size_t>(std::min<std::int64_t>(archiveBytesLeft_, kBlockSize));
    archiveBytesLeft_ -= static_cast<std::int64_t>(wanted);
    std::size_t got = 0;
    if (wanted > 0) {
        got = std::min(entry_.Input->ReadCompressed(inputBuffer_.get(), wanted), wanted);
    }
    if (got < wanted) {
        // The engine returns short only at the end of the data: nothing more will come.
        archiveBytesLeft_ = 0;
        compressedLeft_ = static_cast<std::int64_t>(got);
    }
    if (entry_.Cipher != nullptr) {
        entry_.Cipher->DecryptBuffer(inputBuffer_.get(), got);
    }
    inputPos_ = inputBuffer_.get();
    inputCount_ = got;
    return got;
}

bool TEntryDecoder::ReadInputByte(std::uint8_t& byte) {
    if (compressedLeft_ <= 0) {
        return false;
    }
    if (inputCount_ == 0 && RefillInput() == 0) {
        compressedLeft_ = 0;
        return false;
    }
    --compressedLeft_;
    byte = *inputPos_++;
    --inputCount_;
    return true;
}

std::span<const std::uint8_t> TEntryDecoder::TakeInput(std::size_t max) {
    if (compressedLeft_ <= 0) {
        return {};
    }
    if (inputCount_ == 0 && RefillInput() == 0) {
        compressedLeft_ = 0;
        return {};
    }
    const std::size_t n = std::min({max, inputCount_, static_cast<std::size_t>(compressedLeft_)});
    const std::span<const std::uint8_t> taken(inputPos_, n);
    inputPos_ += n;
    inputCount_ -= n;
    compressedLeft_ -= static_cast<std::int64_t>(n);
    return taken;
}

void TEntryDecoder::WriteBlock(const std::uint8_t* data, std::size_t count) {
    if (count == 0) {
        return;
    }
    const auto n = static_cast<std::int64_t>(count);
    if (entry_.Output->DecodedPosition() + n > entry_.UncompressedSize) {
        throw EBiggerThanUncompressed();
    }
    if (entry_.Output->WriteDecoded(data, count) < count) {
        throw ECantWriteUCF();
    }
    UpdateCrc(data, count);
    bytesWritten_ += n;
    if (hooks_.OnFilePercentDone) {
        hooks_.OnFilePercentDone(Percent(bytesWritten_, entry_.UncompressedSize));
    }
    AddBytesDone(n);
}

void TEntryDecoder::AddBytesDone(std::int64_t count) {
    if (hooks_.OnTotalPercentDone) {
        BytesDone += count;
        hooks_.OnTotalPercentDone(Percent(BytesDone, TotalBytes));
    }
}

void TEntryDecoder::FlushOutput() {
    WriteBlock(outputBuffer_.get(), outputCount_);
    outputCount_ = 0;
}

void TEntryDecoder::PutOutputByte(std::uint8_t byte) {
    outputBuffer_[outputCount_++] = byte;
    if (outputCount_ == kBlockSize) {
        FlushOutput();
    }
}

void TEntryDecoder::UpdateCrc(const std::uint8_t* data, std::size_t count) {
    CrcRegister = UpdateCrc32(CrcRegister, data, count);
}

void TEntryDecoder::ReportOutOfMemory() {
    const std::string text = "*** Не хватает памяти ***";
    if (hooks_.SetErrorMessage) {
        hooks_.SetErrorMessage(text);
    }
    if (hooks_.MessageBoxes != nullptr) {
        hooks_.MessageBoxes->ShowMessageBox(text, "Error", kMbOk);
    }
}

TBuildResult TEntryDecoder::BuildTable(const std::uint8_t* lengths, unsigned n, unsigned s,
                                       const std::uint16_t* bases, const std::uint8_t* extras,
                                       THuftEntry*& table, int& lookupBits) {
    const TBuildResult result = BuildHuffmanTable(lengths, n, s, bases, extras, table, lookupBits);
    if (result == brOutOfMemory) {
        ReportOutOfMemory();
    }
    return result;
}

} // namespace zorvi
