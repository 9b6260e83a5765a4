// The recovery scan: when the central directory cannot be found or used, the entry
// list is rebuilt from the local headers in front of each entry's data.
#include "zip/ArchiveNames.h"
#include "zip/EntryNames.h"
#include "zip/UnZip.h"
#include "zip/Zip64.h"
#include "zip/ZipHeaders.h"

#include <algorithm>
#include <vector>

namespace zorvi {
namespace {

/// Bytes read at a time while looking for a data descriptor.
constexpr std::size_t kDescriptorSearchBlock = 65536;

/// An entry written to a stream has no sizes in its local header: they follow its
/// data in a data descriptor (of 8-byte sizes after a local header with a ZIP64 field).
/// Finds the first descriptor whose compressed size is exactly the distance from the
/// data start, and takes CRC-32 and sizes from it. Without one the data is taken to run
/// to the end of the archive, so that the entry fails its CRC-32 check instead of passing
/// as an empty file.
void FindDataDescriptor(TStream& stream, std::int64_t dataStart, bool zip64,
                        TZipHeaderInfo& entry) {
    const std::size_t size = zip64 ? kZip64DataDescriptorSize : kDataDescriptorSize;
    std::vector<std::uint8_t> block(kDescriptorSearchBlock);
    std::int64_t at = dataStart;
    for (;;) {
        stream.Seek(at, kFromBeginning);
        const std::size_t n = stream.Read(block.data(), block.size());
        if (n < size) {
            break;
        }
        for (std::size_t i = 0; i + size <= n; ++i) {
            const std::uint8_t* p = block.data() + i;
            if (p[0] != 0x50 || GetU32(p) != kDataDescriptorSignature) {
                continue;
            }
            const std::int64_t offset = at + static_cast<std::int64_t>(i);
            TZipHeaderInfo found;
            if (zip64) {
                ParseZip64DataDescriptor(p, found);
            } else {
                ParseDataDescriptor(p, found);
            }
            if (found.CompressedSize == static_cast<std::uint64_t>(offset - dataStart)) {
                entry.Crc32 = found.Crc32;
                entry.CompressedSize = found.CompressedSize;
                entry.UncompressedSize = found.UncompressedSize;
                return;
            }
        }
        // The next block overlaps this one by a descriptor less one byte.
        at += static_cast<std::int64_t>(n - size + 1);
    }
    entry.CompressedSize =
        static_cast<std::uint64_t>(std::max<std::int64_t>(0, stream.Size() - dataStart));
    entry.UncompressedSize = 0xFFFFFFFF; // unknown: the decoder may write what it finds
}

/// The local extra block at the stream's position: the ZIP64 field's sizes into `entry`.
/// Returns whether there is such a field; the stream is left after the block.
bool ReadLocalZip64Field(TStream& stream, TZipHeaderInfo& entry) {
    std::vector<std::uint8_t> extra(entry.LocalExtraFieldLength);
    extra.resize(stream.Read(extra.data(), extra.size()));
    return ApplyZip64ExtraField(extra.data(), extra.size(), false, entry);
}

} // namespace

bool TUnZip::ReadLocalHeader(TStream& stream, TZipHeaderInfo& entry) {
    const std::int64_t start = stream.Position();
    std::uint8_t h[kLocalHeaderSize] = {};
    std::string raw;
    if (stream.Read(h, sizeof h) != sizeof h || GetU32(h) != kLocalHeaderSignature ||
        !ReadRawName(stream, LocalHeaderTail(h).NameLength, raw)) {
        stream.Seek(start, kFromBeginning);
        return false;
    }
    ParseLocalHeader(h, entry);
    entry.LocalHeaderOffset = static_cast<std::uint64_t>(start);
    // The extra block may hold the name in UTF-8; the stream goes back to its start.
    std::string extra;
    ReadRawName(stream, entry.LocalExtraFieldLength, extra);
    stream.Seek(-static_cast<std::int64_t>(extra.size()), kFromCurrent);
    entry.SetPathName(DecodeEntryName(raw, 0, entry.BitFlags, true, extra));
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
        const bool zip64 = ReadLocalZip64Field(stream, *entry);
        const std::int64_t dataStart = stream.Position();
        if (entry->HasDataDescriptor() && entry->CompressedSize == 0) {
            FindDataDescriptor(stream, dataStart, zip64, *entry);
        }
        const std::uint64_t descriptor = !entry->HasDataDescriptor() ? 0
                                         : zip64                     ? kZip64DataDescriptorSize
                                                                     : kDataDescriptorSize;
        const std::uint64_t next =
            std::min(static_cast<std::uint64_t>(dataStart) + entry->CompressedSize + descriptor,
                     kLargestZip64Value);
        entries_->Add(entry.get());
        entry.release();
        stream.Seek(static_cast<std::int64_t>(next), kFromBeginning);
    }
    EndRecord.ThisDisk = 0;
    CurrentDisk = 0;
    EndRecord.CentralOffset = static_cast<std::uint64_t>(stream.Position());
    EndRecord.TotalEntries = static_cast<std::uint64_t>(EntryCount());
    DiskCount = 1;
    return true;
}

} // namespace zorvi
