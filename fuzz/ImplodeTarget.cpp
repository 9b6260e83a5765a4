// Fuzz target: method 6 (imploded) through the decoder contract. The variant byte sets the
// entry's flags: bit 0 the 8 KB dictionary (general-purpose bit 1; else 4 KB), bit 1 the
// literal tree (general-purpose bit 2; else literals are 8 plain bits).
#include "fuzz/DecoderHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zorvi::fuzz;
    return RunInput([&] {
        TDecoderCase c = ReadDecoderCase(data, size);
        c.Method = 6;
        c.BitFlags =
            static_cast<std::uint16_t>(((c.Variant & 1) ? 0x2 : 0) | ((c.Variant & 2) ? 0x4 : 0));
        FuzzDecoder(c);
    });
}
