// Fuzz target: method 0 (stored) through the decoder contract. The variant byte is unused.
// Besides the checks of every decoder: the output is the data itself, whole when it fits the
// declared size, else a part of it from the start ended by the size check.
#include <algorithm>

#include "fuzz/DecoderHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zorvi::fuzz;
    return RunInput([&] {
        TDecoderCase c = ReadDecoderCase(data, size);
        c.Method = 0;
        const TDecoded d = FuzzDecoder(c);
        const bool fits = static_cast<std::int64_t>(c.Data.size()) <= c.UncompressedSize;
        const bool prefix = d.Output.size() <= c.Data.size() &&
                            std::equal(d.Output.begin(), d.Output.end(), c.Data.begin());
        Check(prefix && (fits ? d.Output.size() == c.Data.size() && d.Raised.empty()
                              : d.Raised == "EBiggerThanUncompressed"),
              "store.identity", [&] {
                  return std::to_string(c.Data.size()) + " bytes stored, declared " +
                         std::to_string(c.UncompressedSize) + ", " +
                         std::to_string(d.Output.size()) + " out";
              });
    });
}
