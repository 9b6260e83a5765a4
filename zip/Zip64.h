// The ZIP64 records: where an archive keeps what outgrows the classic headers' fields (more
// than 65,535 entries or volumes, sizes and offsets of 4 GiB and more). A classic field that
// holds all ones (0xFFFF, 0xFFFFFFFF) says "see the ZIP64 record"; the ZIP64 records are:
//
//   end of central directory locator: 20 bytes right in front of the classic end record
//        0  signature 0x07064B50
//        4  u32  volume holding the ZIP64 end record
//        8  u64  offset of the ZIP64 end record in that volume
//       16  u32  number of volumes
//   ZIP64 end of central directory record: 56 bytes, then data no reader here needs
//        0  signature 0x06064B50
//        4  u64  size of the record after this field (44 without that data)
//       12  u16  version made by, 14 u16 version needed
//       16  u32  this volume, 20 u32 volume on which the central directory starts
//       24  u64  entries on this volume, 32 u64 entries in all
//       40  u64  size of the central directory, 48 u64 offset of its first header
//   ZIP64 extra field (id 0x0001, ExtraFields.h) of a central or local header: the values of
//       the header's full fields, in this order and only for those that are full:
//       u64 uncompressed size, u64 compressed size, u64 local header offset, u32 volume
//       (a local header has no offset and volume fields: sizes only)
//   ZIP64 data descriptor: signature 0x08074B50, u32 CRC-32, u64 compressed size, u64
//       uncompressed size (24 bytes); it follows the data of an entry whose local header
//       has a ZIP64 extra field.
//
// The values are taken as they are, except that none may pass what a file offset and a
// volume number can hold here (kLargestZip64Value, kLargestVolume): a hostile value then
// points past the end of the archive, like any other offset too large, and every sum of an
// offset and a size stays inside 64 bits.
#pragma once

#include "zip/Stream.h"
#include "zip/ZipRecords.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace zorvi {

inline constexpr std::uint32_t kZip64LocatorSignature = 0x07064B50;
inline constexpr std::uint32_t kZip64EndSignature = 0x06064B50;
inline constexpr std::size_t kZip64LocatorSize = 20;
inline constexpr std::size_t kZip64EndSize = 56;
inline constexpr std::size_t kZip64DataDescriptorSize = 24;
/// The "see the ZIP64 record" values of the classic 16-bit and 32-bit fields.
inline constexpr std::uint16_t kZip64Escape16 = 0xFFFF;
inline constexpr std::uint32_t kZip64Escape32 = 0xFFFFFFFF;
/// The largest ZIP64 size, offset or count taken (a signed 64-bit file offset).
inline constexpr std::uint64_t kLargestZip64Value = 0x7FFFFFFFFFFFFFFF;
/// The largest volume number taken: far beyond any archive's, and volume numbers counted
/// on from it (the next volume, the one after) still fit a signed 32-bit number.
inline constexpr std::uint32_t kLargestVolume = 0x3FFFFFFF;

// Offsets of the fields of the locator and of the ZIP64 end record.
namespace zip64locator {
inline constexpr std::size_t kEndVolume = 4, kEndOffset = 8, kVolumeCount = 16;
}
namespace zip64end {
inline constexpr std::size_t kRecordSize = 4, kThisDisk = 16, kCentralStartDisk = 20,
                             kEntriesThisDisk = 24, kTotalEntries = 32, kCentralSize = 40,
                             kCentralOffset = 48;
/// What the record size field gives for a record without data of its own.
inline constexpr std::uint64_t kFixedRecordSize = kZip64EndSize - 12;
} // namespace zip64end

/// Where the locator at `p` (kZip64LocatorSize bytes) puts the ZIP64 end record in its
/// volume; none when `p` holds no locator.
std::optional<std::uint64_t> ParseZip64Locator(const std::uint8_t* p);
/// When `p` (kZip64EndSize bytes) holds a ZIP64 end record: its volumes, counts, and the
/// directory's size and offset into `end`, and true. False, `end` untouched, otherwise.
bool ParseZip64EndRecord(const std::uint8_t* p, TEndCentral& end);

/// Looks for the locator in front of the end record at `endRecordOffset` of `stream`, and
/// for the ZIP64 end record where it points or, should that hold none, right in front of
/// the locator (where writers put it; an archive behind other data, or a directory copied to
/// a file of its own, has its offsets shifted). Found: its fields into `end`, and true.
bool ReadZip64EndRecord(TStream& stream, std::int64_t endRecordOffset, TEndCentral& end);

/// The values of `entry`'s full fields from the ZIP64 field of `extra` (a header's extra
/// block of `size` bytes), as far as the field holds them; `central`: the block is a central
/// header's, which has the offset and volume fields too. True when the block has the field.
bool ApplyZip64ExtraField(const std::uint8_t* extra, std::size_t size, bool central,
                          TZipHeaderInfo& entry);

/// CRC-32 and sizes of a ZIP64 data descriptor (kZip64DataDescriptorSize bytes).
void ParseZip64DataDescriptor(const std::uint8_t* descriptor, TZipHeaderInfo& entry);

} // namespace zorvi
