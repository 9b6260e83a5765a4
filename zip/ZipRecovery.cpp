// The recovery scan: when the central directory cannot be found or used, the entry
// list is rebuilt from the local headers in front of each entry's data.
#include "common/CodePage.h"
#include "zip/ArchiveNames.h"
#include "zip/UnZip.h"

namespace zorvi {

bool TUnZip::ReadLocalHeader(TStream& stream, TZipHeaderInfo& entry) {
    const std::int64_t start = stream.Position();
    std::uint8_t h[kLocalHeaderSize] = {};
    if (stream.Read(h, sizeof h) != sizeof h || GetU32(h) != kLocalHeaderSignature) {
        stream.Seek(start, kFromBeginning);
        return false;
    }
    std::string raw(GetU16(h + local::kNameLength), '\0');
    if (stream.Read(raw.data(), raw.size()) != raw.size()) {
        stream.Seek(start, kFromBeginning);
        return false;
    }
    entry.VersionMadeBy = 0;
    entry.VersionNeeded = GetU16(h + local::kVersionNeeded);
    entry.BitFlags = GetU16(h + local::kBitFlags);
    entry.CompressionMethod = GetU16(h + local::kMethod);
    entry.DosDateTime = FixDosDateTime(GetU32(h + local::kDosDateTime));
    entry.Crc32 = GetU32(h + local::kCrc32);
    entry.CompressedSize = GetU32(h + local::kCompressedSize);
    entry.UncompressedSize = GetU32(h + local::kUncompressedSize);
    entry.ExtraFieldLength = 0;
    entry.LocalExtraFieldLength = GetU16(h + local::kExtraLength);
    entry.FileCommentLength = 0;
    entry.DiskNumberStart = 0;
    entry.InternalAttributes = 0;
    entry.ExternalAttributes = 0;
    entry.CentralHeaderOffset = 0;
    entry.LocalHeaderOffset = static_cast<std::uint32_t>(start);
    entry.SetPathName(DecodeName(raw, 0, entry.BitFlags, true));
    entry.FileComment.reset();
    entry.Selected = false;
    return true;
}

bool TUnZip::ScanLocalHeaders() {
    if (Rebuilt || !archiveStream_) {
        return false;
    }
    Rebuilt = true;
    FreeEntries();
    TStream& stream = *archiveStream_;
    stream.Seek(EndsWithIgnoringCase(zipName_, ".exe") ? kSfxScanStart : 0, kFromBeginning);

    // Find a local header signature whose "version needed" looks plausible (a high
    // byte of 10 or more is no version any tool writes).
    static constexpr std::uint8_t kSignature[4] = {0x50, 0x4B, 0x03, 0x04};
    std::size_t matched = 0;
    std::uint32_t examined = 0;
    for (;;) {
        std::uint8_t byte = 0;
        if (stream.Read(&byte, 1) != 1) {
            return false;
        }
        if (++examined % kScanPumpInterval == 0) {
            PumpMessages();
        }
        // The signature's bytes are all different, so a byte that breaks the
        // sequence can only be the start of a new one.
        matched = byte == kSignature[matched] ? matched + 1 : (byte == kSignature[0] ? 1 : 0);
        if (matched < 4) {
            continue;
        }
        std::uint8_t version[2];
        if (stream.Read(version, 2) != 2) {
            return false;
        }
        if (version[1] < 10) {
            break;
        }
        matched = 0;
    }
    stream.Seek(-6, kFromCurrent);

    entries_ = std::make_unique<TSortedZip>(TZipSortMode::ByNone, TDuplicates::Reject, true);
    sortedEntries_ = entries_.get();
    for (;;) {
        auto entry = std::make_unique<TZipHeaderInfo>();
        if (!ReadLocalHeader(stream, *entry)) {
            break;
        }
        const std::int64_t skip = static_cast<std::int64_t>(entry->CompressedSize) +
                                  entry->LocalExtraFieldLength +
                                  (entry->HasDataDescriptor() ? kDataDescriptorSize : 0);
        entries_->Add(entry.get());
        entry.release();
        stream.Seek(skip, kFromCurrent);
    }
    EndRecord.ThisDisk = 0;
    CurrentDisk = 0;
    EndRecord.CentralOffset = static_cast<std::uint32_t>(stream.Position());
    EndRecord.TotalEntries = static_cast<std::uint16_t>(std::min(EntryCount(), 0xFFFF));
    DiskCount = 1;
    return true;
}

} // namespace zorvi
