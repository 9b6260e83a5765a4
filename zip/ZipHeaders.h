// The records of the ZIP format as bytes: free functions that copy the fields of a central
// file header, a local file header, a data descriptor and the end record out of a block
// already in memory (layouts and field offsets in ZipRecords.h). The directory reader, the
// recovery scan, the comment loader and the extraction engine all go through these, so each
// field is read in one place; reading the blocks from the archive stays with their callers.
#pragma once

#include "zip/ZipRecords.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace zorvi {

/// Signature of a data descriptor, which then holds CRC-32, compressed and uncompressed
/// size (kDataDescriptorSize bytes in all).
inline constexpr std::uint32_t kDataDescriptorSignature = 0x08074B50;

/// The lengths of the variable parts that follow a header's fixed part, in their order.
struct THeaderTail {
    std::uint16_t NameLength = 0;
    std::uint16_t ExtraLength = 0;
    std::uint16_t CommentLength = 0; // central headers only
    /// Bytes from the end of the fixed part to the end of the header.
    std::size_t Size() const { return std::size_t{NameLength} + ExtraLength + CommentLength; }
};

/// The lengths in a central file header's fixed part (kCentralHeaderSize bytes).
THeaderTail CentralHeaderTail(const std::uint8_t* header);
/// The entry a central file header's fixed part describes, into `entry`, and the lengths
/// that follow it. The name and the offset of the header itself are the caller's; the
/// comment is not loaded and the entry is not selected.
THeaderTail ParseCentralHeader(const std::uint8_t* header, TZipHeaderInfo& entry);

/// The lengths in a local file header's fixed part (kLocalHeaderSize bytes).
THeaderTail LocalHeaderTail(const std::uint8_t* header);
/// As ParseCentralHeader for a local file header. What only a central header holds is
/// zero: the host (so the name reads as MS-DOS text), the central extra field, the comment,
/// the disk, the attributes and the central header's offset.
THeaderTail ParseLocalHeader(const std::uint8_t* header, TZipHeaderInfo& entry);

/// CRC-32 and sizes of a data descriptor (kDataDescriptorSize bytes, signature first).
void ParseDataDescriptor(const std::uint8_t* descriptor, TZipHeaderInfo& entry);

/// Where the end record nearest the end of `tail` starts: the last signature with a whole
/// record behind it. None when there is none.
std::optional<std::size_t> FindEndRecord(const std::uint8_t* tail, std::size_t size);
/// The fields of the end record at `record` into `end`, cleared first; the comment's offset
/// is the caller's.
void ParseEndRecord(const std::uint8_t* record, TEndCentral& end);

} // namespace zorvi
