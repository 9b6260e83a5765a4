// The bit reader of the decoders: one contract, one set of names.
//
// Every decoder reads its entry's data as a stream of bits, the least significant bit of each
// byte first, through a reader with this state and these operations. TBitReader below is the
// reader over ReadInputByte that shrink, reduce and implode use; inflate has its own, which
// reads straight from the input buffer eight bytes at a time (Inflate.cpp), with the same
// names and the same invariants.
//
// State:
//   bitbuf_   the bits loaded and not yet consumed, the next one in bit 0
//   bitcnt_   how many bits bitbuf_ holds. The bits of bitbuf_ above bitcnt_ are zero, or
//             (inflate's word refill) those of the bytes not yet loaded, so OR-ing the next
//             byte in at bitcnt_ is always right
//   overrun_  how many zero bytes were made up past the end of the entry's data
//
// Operations:
//   Need(n)          afterwards bitcnt_ >= n (n <= 56). Past the end of the data it loads
//                    zero bytes and counts them in overrun_, so a read never fails midway and
//                    a decoder checks the end once per item, not at every read.
//   Bits(n)          the next n bits (n <= bitcnt_), not consumed.
//   Drop(n)          consumes n bits (n <= bitcnt_).
//   RealBitsShort()  true once a consumed bit was a made-up one: bitcnt_ < 8 × overrun_, as
//                    the made-up bytes are the last loaded and so the top of bitbuf_. It
//                    stays true; the decoder stops there as bad data (TDecodeResult), without
//                    writing what it decoded from those bits. Bits that are only looked at
//                    (a table lookup wider than the code it finds) do not count.
//
// When input is read. Need loads whole bytes until it has n bits, and may load ahead: a
// TBitReader made with `fillTo` loads up to that many bits whenever it runs short (shrink and
// reduce: 25), inflate up to 63 whenever eight bytes of the current input block are left.
// That decides where the next input block is read, which is visible: the message pump runs,
// a multi-volume archive asks for its next volume, an archive that ends early raises its
// premature end. Inflate and implode load byte by byte at the end of a block, so they read
// the next block exactly when a code needs it.
#pragma once

#include <cstdint>

#include "zip/decoders/EntryDecoder.h"

namespace zorvi {

class TBitReader {
public:
    /// `fillTo`: when Need finds fewer than n bits, it loads until it has max(n, fillTo).
    explicit TBitReader(TEntryDecoder& decoder, unsigned fillTo = 0)
        : decoder_(decoder), fillTo_(fillTo) {}

    void Need(unsigned n) {
        if (bitcnt_ >= n) {
            return;
        }
        const unsigned target = n > fillTo_ ? n : fillTo_;
        do {
            std::uint8_t byte = 0;
            if (decoder_.ReadInputByte(byte)) {
                bitbuf_ |= static_cast<std::uint64_t>(byte) << bitcnt_;
                ++bytesLoaded_;
            } else {
                ++overrun_; // a zero byte past the end
            }
            bitcnt_ += 8;
        } while (bitcnt_ < target);
    }
    unsigned Bits(unsigned n) const {
        return static_cast<unsigned>(bitbuf_ & ((std::uint64_t{1} << n) - 1));
    }
    void Drop(unsigned n) {
        bitbuf_ >>= n;
        bitcnt_ -= n;
    }
    /// Need(n), Bits(n) and Drop(n) in one.
    unsigned Read(unsigned n) {
        Need(n);
        const unsigned value = Bits(n);
        Drop(n);
        return value;
    }
    bool RealBitsShort() const { return bitcnt_ < 8 * overrun_; }
    /// Bytes of the entry's data loaded so far (made-up ones not counted): a read that loads
    /// none found the data used up before it.
    std::uint64_t BytesLoaded() const { return bytesLoaded_; }

private:
    TEntryDecoder& decoder_;
    const unsigned fillTo_;
    std::uint64_t bitbuf_ = 0;
    unsigned bitcnt_ = 0;
    unsigned overrun_ = 0;
    std::uint64_t bytesLoaded_ = 0;
};

} // namespace zorvi
