// Helpers of the decoder tests that need neither zlib nor anything of Linux, so that the
// Windows test programs compile them too: the in-memory archive stream and output file,
// DecodeEntry, and the reader of the raw entries of an archive (DecoderTestSupport.h).
#include "DecoderTestSupport.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "tests/TestData.h"
#include "zip/decoders/DecodeErrors.h"

namespace zorvi::test {

TBytes BytesOf(const std::string& text) {
    return TBytes(text.begin(), text.end());
}

std::size_t TMemoryInput::ReadCompressed(std::uint8_t* buffer, std::size_t count) {
    if (CancelAtRead == static_cast<int>(Reads.size())) {
        throw EUserCanceled();
    }
    Reads.push_back(count);
    const std::size_t n = std::min(count, data_.size() - pos_);
    if (n > 0) {
        std::memcpy(buffer, data_.data() + pos_, n);
    }
    pos_ += n;
    if (n < count && ShortReadRaises) {
        throw EFatalUnzipError();
    }
    return n;
}

std::size_t TMemoryOutput::WriteDecoded(const std::uint8_t* data, std::size_t count) {
    const std::size_t n = std::min(count, AcceptLimit);
    Data.insert(Data.end(), data, data + n);
    Writes.push_back(count);
    return n;
}

TDecoded DecodeEntry(const TEncodedEntry& encoded, TEntryDecoder* decoder) {
    std::optional<TEntryDecoder> own;
    TEntryDecoder& d = decoder != nullptr ? *decoder : own.emplace();
    TMemoryInput input(encoded.Data);
    input.ShortReadRaises = encoded.ShortReadRaises;
    input.CancelAtRead = encoded.CancelAtRead;
    TMemoryOutput output;
    TEntryDecodeParams params;
    params.Input = &input;
    params.Output = &output;
    params.CompressedSize =
        encoded.CompressedSize.value_or(static_cast<std::int64_t>(encoded.Data.size()));
    params.UncompressedSize = encoded.UncompressedSize;
    params.BitFlags = encoded.BitFlags;
    params.Cipher = encoded.Cipher;
    d.StartEntry(params);
    TDecoded result;
    try {
        if (!d.DecodeEntry(encoded.Method)) {
            result.Error = "unknown method";
        }
    } catch (const EZipError& e) {
        result.Error = e.what();
    }
    result.Data = output.Data;
    result.Crc = d.FinalCrc();
    result.Finished = d.EntryFinished();
    result.Writes = output.Writes;
    result.Reads = input.Reads;
    return result;
}

namespace {

std::uint32_t Le16(const TBytes& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8);
}
std::uint32_t Le32(const TBytes& b, std::size_t at) {
    return Le16(b, at) | (static_cast<std::uint32_t>(Le16(b, at + 2)) << 16);
}

} // namespace

std::optional<std::vector<TRawEntry>> ReadRawEntries(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    const TBytes b((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    // The end record: signature 0x06054B50, within the last 22 + 65535 bytes.
    std::size_t end = b.size() >= 22 ? b.size() - 22 + 1 : 0;
    std::optional<std::size_t> eocd;
    while (end-- > 0 && b.size() - end <= 22 + 65535) {
        if (Le32(b, end) == 0x06054B50u) {
            eocd = end;
            break;
        }
    }
    if (!eocd) {
        return std::nullopt;
    }
    const std::size_t count = Le16(b, *eocd + 10);
    const std::size_t cdSize = Le32(b, *eocd + 12);
    // Offsets are relative to the archive's start, which may follow a prefix (SFX).
    const std::size_t cdStart = *eocd - cdSize;
    const std::size_t shift = cdStart - Le32(b, *eocd + 16);
    std::vector<TRawEntry> entries;
    std::size_t p = cdStart;
    for (std::size_t i = 0; i < count; ++i) {
        if (p + 46 > b.size() || Le32(b, p) != 0x02014B50u) {
            return std::nullopt;
        }
        TRawEntry e;
        e.BitFlags = static_cast<std::uint16_t>(Le16(b, p + 8));
        e.Method = static_cast<int>(Le16(b, p + 10));
        e.DosDateTime = Le32(b, p + 12);
        e.Crc = Le32(b, p + 16);
        e.CompressedSize = Le32(b, p + 20);
        e.UncompressedSize = Le32(b, p + 24);
        const std::size_t nameLen = Le16(b, p + 28);
        const std::size_t extraLen = Le16(b, p + 30);
        const std::size_t commentLen = Le16(b, p + 32);
        const std::size_t local = Le32(b, p + 42) + shift;
        if (p + 46 + nameLen + extraLen > b.size()) {
            return std::nullopt;
        }
        e.Name.assign(b.begin() + static_cast<std::ptrdiff_t>(p + 46),
                      b.begin() + static_cast<std::ptrdiff_t>(p + 46 + nameLen));
        e.Extra.assign(b.begin() + static_cast<std::ptrdiff_t>(p + 46 + nameLen),
                       b.begin() + static_cast<std::ptrdiff_t>(p + 46 + nameLen + extraLen));
        if (local + 30 > b.size()) {
            return std::nullopt;
        }
        const std::size_t data = local + 30 + Le16(b, local + 26) + Le16(b, local + 28);
        const std::size_t size = std::min<std::size_t>(static_cast<std::size_t>(e.CompressedSize),
                                                       b.size() - std::min(data, b.size()));
        e.Data.assign(b.begin() + static_cast<std::ptrdiff_t>(data),
                      b.begin() + static_cast<std::ptrdiff_t>(data + size));
        entries.push_back(std::move(e));
        p += 46 + nameLen + extraLen + commentLen;
    }
    return entries;
}

std::string CorpusFile(const std::string& name) {
    return TestDataPath("corpus/" + name).string();
}

} // namespace zorvi::test
