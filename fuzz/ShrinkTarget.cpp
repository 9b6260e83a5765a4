// Fuzz target: method 1 (shrunk) through the decoder contract. The variant byte is unused.
#include "fuzz/DecoderHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zorvi::fuzz;
    return RunInput([&] {
        TDecoderCase c = ReadDecoderCase(data, size);
        c.Method = 1;
        FuzzDecoder(c);
    });
}
