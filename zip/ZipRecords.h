// The archive directory's records: one TZipHeaderInfo per entry, the TEndCentral
// end record, and TSortedZip, the sorted list that holds the entries.
//
// Records of the ZIP format as read here (little-endian):
//   end of central directory   signature 0x06054B50, 22 bytes + comment
//   central file header        signature 0x02014B50, 46 bytes + name + extra + comment
//   local file header          signature 0x04034B50, 30 bytes + name + extra
//   data descriptor            16 bytes with its signature, after the data (flag bit 3)
// The headers' sizes and offsets are 32-bit, their counts and disk numbers 16-bit; an archive
// that outgrows them keeps the true values in its ZIP64 records (Zip64.h). The fields below
// are wide enough for either.
#pragma once

#include "zip/ObjectList.h"

#include <cstdint>
#include <optional>
#include <string>

namespace zorvi {

inline constexpr std::uint32_t kEndCentralSignature = 0x06054B50;
inline constexpr std::uint32_t kCentralHeaderSignature = 0x02014B50;
inline constexpr std::uint32_t kLocalHeaderSignature = 0x04034B50;
inline constexpr std::size_t kEndCentralSize = 22;
inline constexpr std::size_t kCentralHeaderSize = 46;
inline constexpr std::size_t kLocalHeaderSize = 30;
inline constexpr std::size_t kDataDescriptorSize = 16;
/// The end record lies within its own size plus the longest comment from the end.
inline constexpr std::size_t kEndCentralSearchWindow = kEndCentralSize + 65535;

/// High byte of "version made by": the host system that wrote the entry (0 MS-DOS).
inline constexpr std::uint16_t kHostMsDos = 0;
inline bool IsMsDosHost(std::uint16_t versionMadeBy) {
    return (versionMadeBy >> 8) == kHostMsDos;
}

// General-purpose flag bits.
inline constexpr std::uint16_t kFlagEncrypted = 0x0001;
inline constexpr std::uint16_t kFlagDataDescriptor = 0x0008;
inline constexpr std::uint16_t kFlagUtf8Name = 0x0800;

// Offsets of the fields inside the fixed part of a central file header.
namespace central {
inline constexpr std::size_t kVersionMadeBy = 4, kVersionNeeded = 6, kBitFlags = 8, kMethod = 10,
                             kDosDateTime = 12, kCrc32 = 16, kCompressedSize = 20,
                             kUncompressedSize = 24, kNameLength = 28, kExtraLength = 30,
                             kCommentLength = 32, kDiskNumberStart = 34, kInternalAttributes = 36,
                             kExternalAttributes = 38, kLocalHeaderOffset = 42;
}
// Offsets of the fields inside the fixed part of a local file header.
namespace local {
inline constexpr std::size_t kVersionNeeded = 4, kBitFlags = 6, kMethod = 8, kDosDateTime = 10,
                             kCrc32 = 14, kCompressedSize = 18, kUncompressedSize = 22,
                             kNameLength = 26, kExtraLength = 28;
}
// Offsets of the fields inside the end record.
namespace endrecord {
inline constexpr std::size_t kThisDisk = 4, kCentralStartDisk = 6, kEntriesThisDisk = 8,
                             kTotalEntries = 10, kCentralSize = 12, kCentralOffset = 16,
                             kCommentLength = 20;
}

/// One entry of the archive directory. Names are UTF-8 with "\" between folders.
class TZipHeaderInfo : public TPersistentObject {
public:
    std::string ClassName() const override { return "TZipHeaderInfo"; }
    /// Copies every field, the comment included.
    void Assign(const TZipHeaderInfo& source) { *this = source; }

    std::uint16_t VersionMadeBy = 20; // high byte: host system (0 = MS-DOS/FAT)
    std::uint16_t VersionNeeded = 20;
    std::uint16_t BitFlags = 0;
    std::uint16_t CompressionMethod = 8;
    std::uint32_t DosDateTime = 0; // as corrected by FixDosDateTime
    std::uint32_t Crc32 = 0xFFFFFFFF;
    std::uint64_t CompressedSize = 0;
    std::uint64_t UncompressedSize = 0;
    std::uint16_t FileNameLength = 0; // bytes of Directory + FileName
    std::uint16_t ExtraFieldLength = 0;
    std::uint16_t LocalExtraFieldLength = 0; // set only by the local-header reader
    std::uint16_t FileCommentLength = 0;
    std::uint32_t DiskNumberStart = 0;
    std::uint16_t InternalAttributes = 1;
    std::uint32_t ExternalAttributes = 32; // the archive attribute
    std::uint64_t LocalHeaderOffset = 0;
    std::uint64_t CentralHeaderOffset = 0;
    std::optional<std::string> FileComment; // none until loaded
    /// The central header's extra block as stored (empty for an entry rebuilt from its local
    /// header alone): Unicode names and comments, exact times (see ExtraFields.h).
    std::string ExtraField;
    bool Selected = false;

    const std::string& FileName() const { return fileName_; }
    const std::string& Directory() const { return directory_; }
    void SetFileName(const std::string& name);
    /// A non-empty folder gets a trailing backslash when it lacks one.
    void SetDirectory(const std::string& directory);
    /// Splits a stored name at its last backslash or colon into folder and name.
    void SetPathName(const std::string& path);
    std::string PathName() const { return directory_ + fileName_; }

    bool IsEncrypted() const { return (BitFlags & kFlagEncrypted) != 0; }
    bool HasDataDescriptor() const { return (BitFlags & kFlagDataDescriptor) != 0; }
    bool HasComment() const { return FileCommentLength != 0; }

private:
    void UpdateNameLength();

    std::string fileName_;
    std::string directory_;
};

/// The end of central directory record.
class TEndCentral : public TPersistentObject {
public:
    std::string ClassName() const override { return "TEndCentral"; }
    void Assign(const TEndCentral& source) { *this = source; }
    /// Signature kept, everything else zero or none.
    void Clear() { *this = TEndCentral(); }

    std::uint32_t Signature = kEndCentralSignature;
    std::uint32_t ThisDisk = 0;
    std::uint32_t CentralStartDisk = 0;
    std::uint64_t EntriesThisDisk = 0;
    std::uint64_t TotalEntries = 0;
    std::uint64_t CentralSize = 0;
    std::uint64_t CentralOffset = 0;
    std::uint16_t CommentLength = 0;
    std::optional<std::string> ZipComment; // none until loaded
    std::uint64_t CommentOffset = 0;       // end record offset + 22
    bool CommentModified = false;
};

enum class TZipSortMode {
    ByName,
    ByFileName,
    ByDirectoryName,
    ByDate,
    ByCompressedSize,
    ByUnCompressedSize,
    ByRate,
    ByNone,
};

/// The entry list, ordered by its sort mode (see Compare).
class TSortedZip : public TSortedObjectList {
public:
    TSortedZip(TZipSortMode mode, TDuplicates duplicates, bool ownsItems)
        : TSortedObjectList(ownsItems), SortMode(mode) {
        Duplicates = duplicates;
    }
    std::string ClassName() const override { return "TSortedZip"; }

    TZipHeaderInfo* Entry(int index) const { return static_cast<TZipHeaderInfo*>(Get(index)); }
    /// ByName, ByFileName, ByDirectoryName: case-insensitive text order. ByDate and
    /// the size orders: largest first and never equal, so equal keys keep archive
    /// order. ByRate: ratio(b) - ratio(a). ByNone: volume, then local header offset:
    /// archive order.
    int Compare(const TPersistentObject* a, const TPersistentObject* b) const override;
    /// As the base's, with the text orders comparing texts converted once per entry
    /// instead of twice per comparison.
    void AddAll(const std::vector<TPersistentObject*>& items) override;

    TZipSortMode SortMode;
};

/// Registers TZipHeaderInfo and TEndCentral for storing entry lists in streams.
void RegisterZipClasses(TClassRegistry& classes);

/// Case-insensitive order of two UTF-8 texts as 8-bit Windows Cyrillic text with the
/// ASCII letters folded (the order entry names have always been sorted in).
int CompareTextAnsi(const std::string& a, const std::string& b);

} // namespace zorvi
