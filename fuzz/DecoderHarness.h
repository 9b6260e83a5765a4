// One entry through the decoder contract (zip/decoders/EntryDecoder.h), as the engine drives
// it, with the invariants every decoder must keep. The decoder targets differ only in the
// method they choose and in checks of their own.
//
// Layout of a decoder target's input:
//   byte 0      the variant: what it selects is the target's (reduce factor, implode
//               dictionary and tree, a deflate prefix); unused bits are ignored
//   bytes 1-3   the declared uncompressed size, little-endian, of which the low 18 bits are
//               used (0 to 256 KiB - 1: room for the seeds' entries, small enough that a decoder
//               running on to the declared size costs little)
//   the rest    the entry's compressed data
#pragma once

#include <cstdint>
#include <string>

#include "fuzz/FuzzSupport.h"

namespace zorvi {
class TEntryDecoder;
class TZipCipher;
} // namespace zorvi

namespace zorvi::fuzz {

struct TDecoderCase {
    std::uint8_t Variant = 0;
    int Method = 0;
    std::uint16_t BitFlags = 0;
    std::int64_t UncompressedSize = 0;
    TBytes Data;
    /// The keys of an encrypted entry, past its encryption header; null for a plain one.
    TZipCipher* Cipher = nullptr;
};

/// The variant byte, the declared size and the data of a decoder target's input.
TDecoderCase ReadDecoderCase(const std::uint8_t* data, std::size_t size);

/// What one decoding left behind.
struct TDecoded {
    TBytes Output;
    std::uint32_t Crc = 0;
    std::int64_t BytesWritten = 0;
    /// The class of the exception that left the decoder; empty when none did.
    std::string Raised;
};

/// Decodes `data` as the entry of `c` on `decoder`; the compressed size is the data's.
TDecoded Decode(const TDecoderCase& c, const TBytes& data, TEntryDecoder& decoder);

/// Decodes the case and checks what every decoder keeps (the invariants are named after the
/// decoder: store, shrink, reduce, implode, inflate; decoder.crc stands for reduce.crc and so on):
///  - decoder.raises: only the size check (EBiggerThanUncompressed) leaves a decoder, since
///    the input never comes up short and the output never refuses bytes;
///  - decoder.size-cap: no more output than the declared size;
///  - decoder.crc: the CRC-32 the decoder reports is that of the bytes it wrote, and its
///    count of bytes written is theirs;
///  - decoder.own-input: the output depends only on the entry's own bytes. The same data
///    followed by 64 bytes 0xFF (and a compressed size 64 larger) decodes to an output that
///    agrees with the first wherever both have bytes: a decoder that goes on decoding past the
///    end of its data makes up what it decodes there;
///  - decoder.reuse: what a decoder decoded before does not change how it decodes an entry
///    (the engine keeps one decoder for a whole run): decoded right after an entry of 64 KB of
///    zeros and right after one of 64 KB of 0xFF bytes, the entry gives the same output.
/// Returns the first decoding for the target's own checks.
TDecoded FuzzDecoder(const TDecoderCase& c);

} // namespace zorvi::fuzz
