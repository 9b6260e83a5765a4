#include "zip/ZipHeaders.h"

#include "zip/DosDateTime.h"
#include "zip/Stream.h"

namespace zorvi {
namespace {

// Both headers hold the same seven fields in the same order, from "version needed" on
// (offset 6 of a central header, 4 of a local one): offsets relative to that field.
constexpr std::size_t kSharedBitFlags = 2, kSharedMethod = 4, kSharedDosDateTime = 6,
                      kSharedCrc32 = 10, kSharedCompressedSize = 14, kSharedUncompressedSize = 18;
static_assert(central::kUncompressedSize - central::kVersionNeeded == kSharedUncompressedSize &&
              local::kUncompressedSize - local::kVersionNeeded == kSharedUncompressedSize &&
              central::kMethod - central::kVersionNeeded == kSharedMethod &&
              local::kMethod - local::kVersionNeeded == kSharedMethod);

void ParseSharedFields(const std::uint8_t* p, TZipHeaderInfo& entry) {
    entry.VersionNeeded = GetU16(p);
    entry.BitFlags = GetU16(p + kSharedBitFlags);
    entry.CompressionMethod = GetU16(p + kSharedMethod);
    entry.DosDateTime = FixDosDateTime(GetU32(p + kSharedDosDateTime));
    entry.Crc32 = GetU32(p + kSharedCrc32);
    entry.CompressedSize = GetU32(p + kSharedCompressedSize);
    entry.UncompressedSize = GetU32(p + kSharedUncompressedSize);
}

} // namespace

THeaderTail CentralHeaderTail(const std::uint8_t* header) {
    return {GetU16(header + central::kNameLength), GetU16(header + central::kExtraLength),
            GetU16(header + central::kCommentLength)};
}

THeaderTail ParseCentralHeader(const std::uint8_t* h, TZipHeaderInfo& entry) {
    const THeaderTail tail = CentralHeaderTail(h);
    entry.VersionMadeBy = GetU16(h + central::kVersionMadeBy);
    ParseSharedFields(h + central::kVersionNeeded, entry);
    entry.ExtraFieldLength = tail.ExtraLength;
    entry.LocalExtraFieldLength = 0;
    entry.FileCommentLength = tail.CommentLength;
    entry.DiskNumberStart = GetU16(h + central::kDiskNumberStart);
    entry.InternalAttributes = GetU16(h + central::kInternalAttributes);
    entry.ExternalAttributes = GetU32(h + central::kExternalAttributes);
    entry.LocalHeaderOffset = GetU32(h + central::kLocalHeaderOffset);
    entry.FileComment.reset();
    entry.Selected = false;
    return tail;
}

THeaderTail LocalHeaderTail(const std::uint8_t* header) {
    return {GetU16(header + local::kNameLength), GetU16(header + local::kExtraLength), 0};
}

THeaderTail ParseLocalHeader(const std::uint8_t* h, TZipHeaderInfo& entry) {
    const THeaderTail tail = LocalHeaderTail(h);
    entry.VersionMadeBy = 0;
    ParseSharedFields(h + local::kVersionNeeded, entry);
    entry.ExtraFieldLength = 0;
    entry.LocalExtraFieldLength = tail.ExtraLength;
    entry.FileCommentLength = 0;
    entry.DiskNumberStart = 0;
    entry.InternalAttributes = 0;
    entry.ExternalAttributes = 0;
    entry.CentralHeaderOffset = 0;
    entry.FileComment.reset();
    entry.Selected = false;
    return tail;
}

void ParseDataDescriptor(const std::uint8_t* descriptor, TZipHeaderInfo& entry) {
    entry.Crc32 = GetU32(descriptor + 4);
    entry.CompressedSize = GetU32(descriptor + 8);
    entry.UncompressedSize = GetU32(descriptor + 12);
}

std::optional<std::size_t> FindEndRecord(const std::uint8_t* tail, std::size_t size) {
    if (size < kEndCentralSize) {
        return std::nullopt;
    }
    for (std::size_t pos = size - kEndCentralSize + 1; pos-- > 0;) {
        const std::uint8_t* p = tail + pos;
        if (p[0] == 0x50 && GetU32(p) == kEndCentralSignature) {
            return pos;
        }
    }
    return std::nullopt;
}

void ParseEndRecord(const std::uint8_t* p, TEndCentral& end) {
    end.Clear();
    end.ThisDisk = GetU16(p + endrecord::kThisDisk);
    end.CentralStartDisk = GetU16(p + endrecord::kCentralStartDisk);
    end.EntriesThisDisk = GetU16(p + endrecord::kEntriesThisDisk);
    end.TotalEntries = GetU16(p + endrecord::kTotalEntries);
    end.CentralSize = GetU32(p + endrecord::kCentralSize);
    end.CentralOffset = GetU32(p + endrecord::kCentralOffset);
    end.CommentLength = GetU16(p + endrecord::kCommentLength);
}

} // namespace zorvi
