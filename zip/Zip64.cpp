#include "zip/Zip64.h"

#include "zip/ExtraFields.h"

#include <algorithm>

namespace zorvi {
namespace {

std::uint64_t Value64(const std::uint8_t* p) {
    return std::min(GetU64(p), kLargestZip64Value);
}

std::uint32_t Volume(const std::uint8_t* p) {
    return std::min(GetU32(p), kLargestVolume);
}

/// The ZIP64 end record at `offset` of `stream`, when there is one.
bool ReadEndRecordAt(TStream& stream, std::int64_t offset, TEndCentral& end) {
    std::uint8_t record[kZip64EndSize];
    return offset >= 0 && stream.Seek(offset, kFromBeginning) == offset &&
           stream.Read(record, sizeof record) == sizeof record && ParseZip64EndRecord(record, end);
}

} // namespace

std::optional<std::uint64_t> ParseZip64Locator(const std::uint8_t* p) {
    if (GetU32(p) != kZip64LocatorSignature) {
        return std::nullopt;
    }
    return Value64(p + zip64locator::kEndOffset);
}

bool ParseZip64EndRecord(const std::uint8_t* p, TEndCentral& end) {
    if (GetU32(p) != kZip64EndSignature ||
        GetU64(p + zip64end::kRecordSize) < zip64end::kFixedRecordSize) {
        return false;
    }
    end.ThisDisk = Volume(p + zip64end::kThisDisk);
    end.CentralStartDisk = Volume(p + zip64end::kCentralStartDisk);
    end.EntriesThisDisk = Value64(p + zip64end::kEntriesThisDisk);
    end.TotalEntries = Value64(p + zip64end::kTotalEntries);
    end.CentralSize = Value64(p + zip64end::kCentralSize);
    end.CentralOffset = Value64(p + zip64end::kCentralOffset);
    return true;
}

bool ReadZip64EndRecord(TStream& stream, std::int64_t endRecordOffset, TEndCentral& end) {
    const std::int64_t locatorOffset =
        endRecordOffset - static_cast<std::int64_t>(kZip64LocatorSize);
    std::uint8_t locator[kZip64LocatorSize];
    if (locatorOffset < 0 || stream.Seek(locatorOffset, kFromBeginning) != locatorOffset ||
        stream.Read(locator, sizeof locator) != sizeof locator) {
        return false;
    }
    const std::optional<std::uint64_t> recordOffset = ParseZip64Locator(locator);
    if (!recordOffset) {
        return false;
    }
    return ReadEndRecordAt(stream, static_cast<std::int64_t>(*recordOffset), end) ||
           ReadEndRecordAt(stream, locatorOffset - static_cast<std::int64_t>(kZip64EndSize), end);
}

bool ApplyZip64ExtraField(const std::uint8_t* extra, std::size_t size, bool central,
                          TZipHeaderInfo& entry) {
    const std::optional<TExtraField> field = FindExtraField(extra, size, kExtraZip64);
    if (!field) {
        return false;
    }
    // The field holds a value for each full field in this order; a field cut short holds
    // the first of them only, and the others keep what the header says.
    const std::uint8_t* p = field->Data;
    const std::uint8_t* const fieldEnd = field->Data + field->Size;
    const auto take64 = [&](std::uint64_t& value) {
        if (value == kZip64Escape32 && fieldEnd - p >= 8) {
            value = Value64(p);
            p += 8;
        }
    };
    take64(entry.UncompressedSize);
    take64(entry.CompressedSize);
    if (central) {
        take64(entry.LocalHeaderOffset);
        if (entry.DiskNumberStart == kZip64Escape16 && fieldEnd - p >= 4) {
            entry.DiskNumberStart = Volume(p);
        }
    }
    return true;
}

void ParseZip64DataDescriptor(const std::uint8_t* descriptor, TZipHeaderInfo& entry) {
    entry.Crc32 = GetU32(descriptor + 4);
    entry.CompressedSize = Value64(descriptor + 8);
    entry.UncompressedSize = Value64(descriptor + 16);
}

} // namespace zorvi
