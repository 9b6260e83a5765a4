// The bit reader of shrink and reduce, over the entry's decoding state: `bitBuffer_` holds
// `bitCount_` bits, the next one in bit 0, and `endOfInput_` tells whether the last fill
// obtained no byte at all.
//
// The count is 16 bits wide on purpose. When a fill finds some bytes but still fewer bits
// than a read asks for, the count wraps around; no fill happens after that and the buffer,
// shifted empty, delivers zero bits. Reduce relies on that to run out its uncompressed size
// past the end of a damaged stream; shrink then decodes zero codes until its output passes
// the uncompressed size. Both are bounded by that size.
#include "zip/decoders/EntryDecoder.h"

namespace zorvi {

void TEntryDecoder::FillBitBuffer() {
    endOfInput_ = true;
    std::uint8_t byte = 0;
    while (bitCount_ < 25 && ReadInputByte(byte)) {
        bitBuffer_ |= static_cast<std::uint32_t>(byte) << bitCount_;
        bitCount_ = static_cast<std::uint16_t>(bitCount_ + 8);
        endOfInput_ = false;
    }
}

unsigned TEntryDecoder::ReadBits(unsigned n) {
    if (n > bitCount_) {
        FillBitBuffer();
    }
    const unsigned value = bitBuffer_ & ((1u << n) - 1);
    bitBuffer_ >>= n;
    bitCount_ = static_cast<std::uint16_t>(bitCount_ - n);
    return value;
}

} // namespace zorvi
