#include "zip/EntryTimes.h"

#include "zip/DosDateTime.h"
#include "zip/ExtraFields.h"
#include "zip/FileSystemShim.h"
#include "zip/Stream.h"

namespace zorvi {
namespace {

// NTFS field (layout in EntryTimes.h).
constexpr std::size_t kNtfsReserved = 4;
constexpr std::size_t kNtfsAttributeHeader = 4; // tag and size
constexpr std::uint16_t kNtfsTimesTag = 0x0001;
constexpr std::size_t kNtfsTimesSize = 24; // modification, access, creation: 8 bytes each
constexpr std::uint64_t kTicksPerSecond = 10'000'000;
// Seconds from 1601-01-01 to 1970-01-01: 369 years with 89 leap days, 134,774 days.
constexpr std::int64_t kSeconds1601To1970 = 134'774LL * 86'400;
static_assert(kSeconds1601To1970 == 11'644'473'600LL);

// Extended timestamp field (layout in EntryTimes.h).
constexpr std::uint8_t kTimestampHasModification = 0x01;
constexpr std::size_t kTimestampModification = 1; // the first time, after the flags
constexpr std::size_t kTimestampTimeSize = 4;

std::optional<TExtraField> FindField(std::string_view extra, std::uint16_t id) {
    return FindExtraField(reinterpret_cast<const std::uint8_t*>(extra.data()), extra.size(), id);
}

std::uint64_t GetU64(const std::uint8_t* p) {
    return GetU32(p) | (std::uint64_t{GetU32(p + 4)} << 32);
}

std::optional<TUtcTime> NtfsModificationTime(const TExtraField& field) {
    std::size_t at = kNtfsReserved;
    while (field.Size >= at + kNtfsAttributeHeader) {
        const std::uint16_t tag = GetU16(field.Data + at);
        const std::size_t size = GetU16(field.Data + at + 2);
        at += kNtfsAttributeHeader;
        if (size > field.Size - at) {
            break; // an attribute running past its field is no attribute
        }
        if (tag == kNtfsTimesTag && size >= kNtfsTimesSize) {
            const std::uint64_t ticks = GetU64(field.Data + at);
            if (ticks == 0) {
                return std::nullopt;
            }
            return TUtcTime{static_cast<std::int64_t>(ticks / kTicksPerSecond) - kSeconds1601To1970,
                            static_cast<std::uint32_t>(ticks % kTicksPerSecond) * 100};
        }
        at += size;
    }
    return std::nullopt;
}

std::optional<TUtcTime> TimestampModificationTime(const TExtraField& field) {
    if (field.Size < kTimestampModification + kTimestampTimeSize ||
        (field.Data[0] & kTimestampHasModification) == 0) {
        return std::nullopt;
    }
    const auto seconds = static_cast<std::int32_t>(GetU32(field.Data + kTimestampModification));
    return TUtcTime{seconds, 0};
}

} // namespace

std::optional<TUtcTime> ExtraFieldModificationTime(std::string_view extra) {
    if (const auto ntfs = FindField(extra, kExtraNtfsTimes)) {
        if (const auto time = NtfsModificationTime(*ntfs)) {
            return time;
        }
    }
    if (const auto timestamp = FindField(extra, kExtraTimestamp)) {
        return TimestampModificationTime(*timestamp);
    }
    return std::nullopt;
}

bool SetExtractedFileTime(TFileSystemShim& fileSystem, const std::string& path,
                          std::uint32_t dosDateTime, std::string_view centralExtra,
                          std::string_view localExtra) {
    auto exact = ExtraFieldModificationTime(centralExtra);
    if (!exact) {
        exact = ExtraFieldModificationTime(localExtra);
    }
    // A time the file system cannot hold (far past or future) leaves the MS-DOS one.
    if (exact && fileSystem.SetFileUtcTime(path, *exact)) {
        return true;
    }
    return fileSystem.SetFileDosTime(path, FixDosDateTime(dosDateTime));
}

} // namespace zorvi
