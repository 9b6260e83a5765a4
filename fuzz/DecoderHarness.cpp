#include "fuzz/DecoderHarness.h"

#include <algorithm>
#include <cstring>

#include "zip/decoders/DecodeErrors.h"
#include "zip/decoders/EntryDecoder.h"

namespace zorvi::fuzz {
namespace {

/// Declared sizes are the low 18 bits of their field.
constexpr std::uint64_t kDeclaredSizeMask = (1u << 18) - 1;
/// What <decoder>.own-input appends to the data: bits unlike the zeros a reader might make up.
constexpr std::size_t kTrailerSize = 64;
constexpr std::uint8_t kTrailerByte = 0xFF;

/// The entry's data as the engine delivers it on a single volume: a short read is the
/// premature end of the archive.
class TMemoryInput final : public TCompressedInput {
public:
    explicit TMemoryInput(const TBytes& data) : data_(data) {}
    std::size_t ReadCompressed(std::uint8_t* buffer, std::size_t count) override {
        const std::size_t n = std::min(count, data_.size() - pos_);
        if (n > 0) {
            std::memcpy(buffer, data_.data() + pos_, n);
        }
        pos_ += n;
        if (n < count) {
            throw EFatalUnzipError();
        }
        return n;
    }

private:
    const TBytes& data_;
    std::size_t pos_ = 0;
};

class TMemoryOutput final : public TDecodedOutput {
public:
    std::size_t WriteDecoded(const std::uint8_t* data, std::size_t count) override {
        Data.insert(Data.end(), data, data + count);
        return count;
    }
    std::int64_t DecodedPosition() const override { return static_cast<std::int64_t>(Data.size()); }
    TBytes Data;
};

void RunMethod(TEntryDecoder& decoder, int method) {
    switch (method) {
    case 0:
        decoder.UnstoreEntry();
        break;
    case 1:
        decoder.UnshrinkEntry();
        break;
    case 2:
    case 3:
    case 4:
    case 5:
        decoder.UnreduceEntry(method);
        break;
    case 6:
        decoder.ExplodeEntry();
        break;
    default:
        decoder.InflateEntry();
        break;
    }
}

/// The name of an invariant for the decoder of the case: "<decoder>.<invariant>", so that a
/// fault known in one decoder is not tolerated in the others.
std::string Id(const TDecoderCase& c, const char* invariant) {
    const char* decoder = c.Method == 0   ? "store"
                          : c.Method == 1 ? "shrink"
                          : c.Method <= 5 ? "reduce"
                          : c.Method == 6 ? "implode"
                                          : "inflate";
    return std::string(decoder) + "." + invariant;
}

std::string Describe(const TDecoderCase& c, const TDecoded& d) {
    return "method " + std::to_string(c.Method) + ", flags " + std::to_string(c.BitFlags) +
           ", declared " + std::to_string(c.UncompressedSize) + ", " +
           std::to_string(c.Data.size()) + " bytes in, " + std::to_string(d.Output.size()) +
           " out" + (d.Raised.empty() ? "" : ", raised " + d.Raised);
}

/// Fills the first kPrimedBytes of the decoder's work area with `value`, by inflating an entry
/// of that many such bytes (inflate's window is the work area, from its start). The legacy
/// decoders keep their windows and tables there, inflate its first two windows.
void PrimeWorkArea(TEntryDecoder& decoder, std::uint8_t value) {
    constexpr std::size_t kPrimedBytes = 65536;
    static const TBytes streams[2] = {ZlibDeflate(TBytes(kPrimedBytes, 0x00)),
                                      ZlibDeflate(TBytes(kPrimedBytes, 0xFF))};
    TDecoderCase prime;
    prime.Method = 8;
    prime.UncompressedSize = kPrimedBytes;
    if (Decode(prime, streams[value == 0 ? 0 : 1], decoder).Output.size() != kPrimedBytes) {
        std::abort(); // inflate fails on zlib's stream: every target would be wrong
    }
}

void CheckOutcome(const TDecoderCase& c, const TDecoded& d, const char* which) {
    const auto detail = [&] { return std::string(which) + ": " + Describe(c, d); };
    Check(d.Raised.empty() || d.Raised == "EBiggerThanUncompressed", Id(c, "raises"), detail);
    Check(static_cast<std::int64_t>(d.Output.size()) <= c.UncompressedSize, Id(c, "size-cap"),
          detail);
    Check(d.Crc == ReferenceCrc32(d.Output) &&
              d.BytesWritten == static_cast<std::int64_t>(d.Output.size()),
          Id(c, "crc"), detail);
}

} // namespace

TDecoderCase ReadDecoderCase(const std::uint8_t* data, std::size_t size) {
    TInputReader in(data, size);
    TDecoderCase c;
    c.Variant = in.Byte();
    c.UncompressedSize = static_cast<std::int64_t>(in.Number(3) & kDeclaredSizeMask);
    const auto rest = in.Rest();
    c.Data.assign(rest.begin(), rest.end());
    return c;
}

TDecoded Decode(const TDecoderCase& c, const TBytes& data, TEntryDecoder& decoder) {
    TMemoryInput input(data);
    TMemoryOutput output;
    TEntryDecodeParams params;
    params.Input = &input;
    params.Output = &output;
    params.CompressedSize = static_cast<std::int64_t>(data.size());
    params.UncompressedSize = c.UncompressedSize;
    params.BitFlags = c.BitFlags;
    params.Cipher = c.Cipher;
    decoder.StartEntry(params);
    TDecoded d;
    try {
        RunMethod(decoder, c.Method);
    } catch (const EBiggerThanUncompressed&) {
        d.Raised = "EBiggerThanUncompressed";
    } catch (const EFatalUnzipError&) {
        d.Raised = "EFatalUnzipError";
    } catch (const EUserCanceled&) {
        d.Raised = "EUserCanceled";
    } catch (const ECantWriteUCF&) {
        d.Raised = "ECantWriteUCF";
    } catch (const EZipError& e) {
        d.Raised = std::string("EZipError: ") + e.what();
    }
    d.Output = std::move(output.Data);
    d.Crc = decoder.FinalCrc();
    d.BytesWritten = decoder.BytesWritten();
    return d;
}

TDecoded FuzzDecoder(const TDecoderCase& c) {
    // Made once per process: the work buffers are large, and making them anew for every
    // input would take most of the time. Priming makes what they hold known anyway.
    static TEntryDecoder decoder;
    PrimeWorkArea(decoder, 0x00);
    const TDecoded first = Decode(c, c.Data, decoder);
    CheckOutcome(c, first, "the entry's data");

    PrimeWorkArea(decoder, 0xFF);
    const TDecoded again = Decode(c, c.Data, decoder);
    Check(again.Output == first.Output && again.Crc == first.Crc && again.Raised == first.Raised,
          Id(c, "reuse"), [&] {
              return Describe(c, first) +
                     "; after an entry of 0xFF bytes instead of zeros: " + Describe(c, again) +
                     ", first difference at byte " +
                     std::to_string(std::mismatch(first.Output.begin(), first.Output.end(),
                                                  again.Output.begin(), again.Output.end())
                                        .first -
                                    first.Output.begin());
          });

    TBytes extended = c.Data;
    extended.insert(extended.end(), kTrailerSize, kTrailerByte);
    PrimeWorkArea(decoder, 0x00);
    const TDecoded longer = Decode(c, extended, decoder);
    CheckOutcome(c, longer, "the data followed by 0xFF bytes");
    const std::size_t common = std::min(first.Output.size(), longer.Output.size());
    const auto differ =
        std::mismatch(first.Output.begin(), first.Output.begin() + common, longer.Output.begin());
    Check(differ.first == first.Output.begin() + common, Id(c, "own-input"), [&] {
        const auto at = static_cast<std::size_t>(differ.first - first.Output.begin());
        return Describe(c, first) + "; the output differs at byte " + std::to_string(at) +
               " when the data is followed by 0xFF bytes (" + std::to_string(longer.Output.size()) +
               " out then): decoded from bytes past the end of the data";
    });
    return first;
}

} // namespace zorvi::fuzz
