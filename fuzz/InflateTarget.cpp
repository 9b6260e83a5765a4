// Fuzz target: method 8 (deflate) through the decoder contract, with zlib as the control,
// and method 9 (Deflate64), the same decoder built on that format's tables.
//
// Variant byte: bit 0 chooses Deflate64. Bit 7 puts a non-final stored block in front of the fuzz data, sized so that
// the data begins (variant >> 2) & 31 bytes before the end of the first 32 KB input block:
// the data's codes then cross the decoder's input refill, and its distances reach back into
// a full window. The declared size grows by the stored block's length.
//
// Besides the checks of every decoder, for deflate: wherever both have output, ours is
// zlib's; and when zlib finishes the stream within the declared size, ours is zlib's output,
// whole. zlib knows no Deflate64 (its length symbol 285 means 258 there, 3 to 65538 here),
// so a Deflate64 stream is held to the checks of every decoder only.
#include <algorithm>

#include "fuzz/DecoderHarness.h"

namespace zorvi::fuzz {
namespace {

constexpr std::size_t kInputBlock = 32768;
/// A stored block's header: one byte with BFINAL = 0 and BTYPE = 00 (then byte-aligned),
/// LEN and its complement NLEN, two bytes each.
constexpr std::size_t kStoredHeader = 5;

void PrependStoredBlock(TDecoderCase& c) {
    const std::size_t before = (c.Variant >> 2) & 31;
    const std::size_t length = kInputBlock - kStoredHeader - before;
    TBytes stream = {0x00, static_cast<std::uint8_t>(length),
                     static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(~length),
                     static_cast<std::uint8_t>(~length >> 8)};
    // Text-like bytes with repeats, so that matches into it find something.
    for (std::size_t i = 0; i < length; ++i) {
        stream.push_back(static_cast<std::uint8_t>("deflate window "[i % 15] + (i / 4096)));
    }
    stream.insert(stream.end(), c.Data.begin(), c.Data.end());
    c.Data = std::move(stream);
    c.UncompressedSize += static_cast<std::int64_t>(length);
}

} // namespace
} // namespace zorvi::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zorvi::fuzz;
    return RunInput([&] {
        TDecoderCase c = ReadDecoderCase(data, size);
        const bool deflate64 = (c.Variant & 0x01) != 0;
        c.Method = deflate64 ? 9 : 8;
        if (c.Variant & 0x80) {
            PrependStoredBlock(c);
        }
        const TDecoded ours = FuzzDecoder(c);
        if (deflate64) {
            return;
        }
        const TZlibOutcome zlib =
            ZlibInflate(c.Data, static_cast<std::uint64_t>(c.UncompressedSize));
        const std::size_t common = std::min(ours.Output.size(), zlib.Output.size());
        const auto differ =
            std::mismatch(ours.Output.begin(), ours.Output.begin() + common, zlib.Output.begin());
        const bool whole = !zlib.Finished ||
                           static_cast<std::int64_t>(zlib.Output.size()) > c.UncompressedSize ||
                           (ours.Output.size() == zlib.Output.size() && ours.Raised.empty());
        Check(differ.first == ours.Output.begin() + common && whole, "inflate.zlib", [&] {
            return std::to_string(c.Data.size()) + " bytes in, declared " +
                   std::to_string(c.UncompressedSize) + "; zlib " +
                   (zlib.Finished ? "finished" : "did not finish") + " with " +
                   std::to_string(zlib.Output.size()) + " bytes, ours wrote " +
                   std::to_string(ours.Output.size()) +
                   (ours.Raised.empty() ? "" : " and raised " + ours.Raised) +
                   ", first difference at byte " +
                   std::to_string(differ.first - ours.Output.begin());
        });
    });
}
