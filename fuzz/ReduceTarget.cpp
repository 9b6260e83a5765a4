// Fuzz target: methods 2 to 5 (reduced with compression factor 1 to 4) through the decoder
// contract. Bits 0-1 of the variant byte choose the factor: method 2 + (variant & 3).
#include "fuzz/DecoderHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zorvi::fuzz;
    return RunInput([&] {
        TDecoderCase c = ReadDecoderCase(data, size);
        c.Method = 2 + (c.Variant & 3);
        FuzzDecoder(c);
    });
}
