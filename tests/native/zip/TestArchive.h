// Builds ZIP archives byte by byte for the tests, so that every field a test is
// about is written where the test can see it (and damage it).
#pragma once

#include "tests/TestData.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zorvi::test {

/// 2 February 2005, 10:00:00 as an MS-DOS date and time.
inline constexpr std::uint32_t kDos20050202 = (25u << 25) | (2u << 21) | (2u << 16) | (10u << 11);

struct TTestEntry {
    std::string Name;         // as stored ("/" separated)
    std::string Data;         // uncompressed
    std::uint16_t Method = 0; // 0 stored, 8 deflated (zlib), anything else stored as is
    std::uint32_t DosDateTime = kDos20050202;
    std::uint16_t Flags = 0;
    std::uint16_t VersionMadeBy = 0x0314; // host 3 (Unix), version 2.0
    std::uint32_t ExternalAttributes = 0x20;
    std::string Comment;
    std::optional<std::uint32_t> Crc;              // stored CRC-32 instead of the real one
    std::optional<std::uint32_t> UncompressedSize; // stored size instead of the real one
    std::optional<std::string> Password;           // encrypt with the traditional cipher
    std::optional<std::uint32_t> LocalOffset;      // central header's local offset override
    std::optional<std::uint16_t> DiskNumber;       // central header's volume instead of 0
    std::string LocalExtra;                        // the local header's extra field
    std::string CentralExtra;                      // the central header's extra field
    /// Only a central header, pointing where LocalOffset says: no local header and data.
    bool OmitLocal = false;
    /// Written as to a stream: flag bit 3, CRC-32 and sizes 0 in the local header and
    /// given in a data descriptor after the data (with or without its signature).
    bool Streamed = false;
    bool DescriptorSignature = true;
    /// Central header fields written full (0xFFFFFFFF, 0xFFFF for the volume), their values
    /// in a ZIP64 extra field in the fixed order: the kSlot* bits below.
    unsigned Zip64Slots = 0;
};

inline constexpr unsigned kSlotSize = 1, kSlotCompressedSize = 2, kSlotOffset = 4, kSlotDisk = 8;

struct TBuiltArchive {
    std::string Bytes;
    std::vector<std::uint32_t> LocalOffsets;
    std::uint32_t CentralOffset = 0;
    std::uint32_t EndOffset = 0;
    std::uint32_t Zip64EndOffset = 0; // with a ZIP64 end record: it, then the locator
    std::uint32_t LocatorOffset = 0;
};

/// With `zip64End`, a ZIP64 end record and its locator come before the end record, whose
/// counts, directory size and offset are then written full.
TBuiltArchive BuildArchive(const std::vector<TTestEntry>& entries, const std::string& comment = "",
                           bool zip64End = false);

/// Extra fields (layouts in zip/ExtraFields.h and the files that read them).
/// One field: id, data size, data.
std::string ExtraField(std::uint16_t id, const std::string& data);
/// An Info-ZIP Unicode field (0x7075 name, 0x6375 comment): version 1, the CRC-32 of the
/// header's own bytes (or `crc`), the UTF-8 text.
std::string UnicodeField(std::uint16_t id, const std::string& headerBytes, const std::string& utf8,
                         std::optional<std::uint32_t> crc = {});
/// An extended timestamp field (0x5455): the flags, then the times given (UTC seconds).
std::string TimestampField(std::uint8_t flags, const std::vector<std::int32_t>& times);
/// An NTFS field (0x000A): 4 reserved bytes, then each attribute as tag, size and data.
std::string NtfsField(const std::vector<std::pair<std::uint16_t, std::string>>& attributes);
/// The data of the NTFS times attribute (tag 1): modification, access and creation time in
/// 100 ns ticks since 1601.
std::string NtfsTimes(std::uint64_t modified, std::uint64_t accessed, std::uint64_t created);
/// 100 ns ticks since 1601 of a moment given in seconds since 1970 (UTC) and ticks.
inline constexpr std::uint64_t NtfsTicks(std::int64_t unixSeconds, std::uint64_t ticks = 0) {
    return static_cast<std::uint64_t>(unixSeconds + 11'644'473'600LL) * 10'000'000u + ticks;
}

std::uint32_t Crc32Of(const std::string& data);
/// Raw deflate (zlib, level 6).
std::string Deflate(const std::string& data);

void WriteFile(const std::filesystem::path& path, const std::string& bytes);
std::string ReadFile(const std::filesystem::path& path);
void PutU16(std::string& bytes, std::size_t at, std::uint16_t value);
void PutU32(std::string& bytes, std::size_t at, std::uint32_t value);
void PutU64(std::string& bytes, std::size_t at, std::uint64_t value);

/// A fresh folder under the system's temporary folder, removed with the object.
class TTempDir {
public:
    TTempDir();
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;
    const std::filesystem::path& Path() const { return path_; }
    /// The path as the component's UTF-8 text.
    std::string Text() const { return path_.string(); }
    std::string Text(const std::string& child) const { return (path_ / child).string(); }

private:
    std::filesystem::path path_;
};

/// A UTF-8 text as a path (on Windows the narrow constructor would take the ANSI
/// code page).
inline std::filesystem::path Utf8Path(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

} // namespace zorvi::test
