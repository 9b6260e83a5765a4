// The bit reader of shrink and reduce, over the entry's decoding state: `bitBuffer_` holds
// `bitCount_` bits, the next one in bit 0, and `endOfInput_` tells whether the last fill
// obtained no byte at all.
//
// A read that asks for more bits than the data has left sets `bitsShort_`, and both
// decoders stop there: past the end of its data a stream holds nothing, so decoding on
// (zero bits, in the past) only made bytes up, up to the uncompressed size of the entry,
// which the archive may set to 4 GB. Shrink tells its regular end from a cut stream by
// `endOfInput_`: after its last code only padding bits remain, so the read that follows
// finds no byte at all; a fill that finds some bytes and still too few bits means a code
// was cut.
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
        if (n > bitCount_) {
            bitsShort_ = true;
        }
    }
    const unsigned value = bitBuffer_ & ((1u << n) - 1);
    bitBuffer_ >>= n;
    bitCount_ = static_cast<std::uint16_t>(n > bitCount_ ? 0 : bitCount_ - n);
    return value;
}

} // namespace zorvi
