#include "zip/ZipRecords.h"

#include "common/CodePage.h"
#include "zip/DosDateTime.h"
#include "zip/WildcardMatch.h"
#include "zip/ZipErrors.h"

#include <cmath>

namespace zorvi {

void TZipHeaderInfo::UpdateNameLength() {
    FileNameLength = static_cast<std::uint16_t>(directory_.size() + fileName_.size());
}

void TZipHeaderInfo::SetFileName(const std::string& name) {
    fileName_ = name;
    UpdateNameLength();
}

void TZipHeaderInfo::SetDirectory(const std::string& directory) {
    directory_ = directory;
    if (!directory_.empty() && directory_.back() != '\\') {
        directory_ += '\\';
    }
    UpdateNameLength();
}

void TZipHeaderInfo::SetPathName(const std::string& path) {
    const auto split = path.find_last_of("\\:");
    if (split == std::string::npos) {
        directory_.clear();
        fileName_ = path;
    } else {
        directory_ = path.substr(0, split + 1);
        fileName_ = path.substr(split + 1);
    }
    UpdateNameLength();
}

namespace {

/// What the case-insensitive text order compares: the 8-bit text, letters folded.
std::string AnsiOrderText(const std::string& utf8) {
    return LowerAscii(FromUtf8(utf8, TCodePage::Windows1251));
}

int Sign(int c) {
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

bool IsTextOrder(TZipSortMode mode) {
    return mode == TZipSortMode::ByName || mode == TZipSortMode::ByFileName ||
           mode == TZipSortMode::ByDirectoryName;
}

/// The text an entry is ordered by in a text order (IsTextOrder).
std::string OrderText(TZipSortMode mode, const TZipHeaderInfo& e) {
    switch (mode) {
    case TZipSortMode::ByFileName:
        return e.FileName();
    case TZipSortMode::ByDirectoryName:
        return e.Directory();
    default:
        return e.PathName();
    }
}

} // namespace

int CompareTextAnsi(const std::string& a, const std::string& b) {
    return Sign(AnsiOrderText(a).compare(AnsiOrderText(b)));
}

namespace {

int Ratio(const TZipHeaderInfo& e) {
    if (e.UncompressedSize == 0) {
        return 0;
    }
    const double ratio = std::nearbyint(static_cast<double>(e.CompressedSize) * 100.0 /
                                        static_cast<double>(e.UncompressedSize));
    return ratio > 100.0 ? 100 : static_cast<int>(ratio);
}

/// +1 when b is larger than a, else -1: never equal, so equal sizes keep their order.
int LargerFirst(std::uint64_t a, std::uint64_t b) {
    return b > a ? 1 : -1;
}

} // namespace

int TSortedZip::Compare(const TPersistentObject* a, const TPersistentObject* b) const {
    const auto& x = *static_cast<const TZipHeaderInfo*>(a);
    const auto& y = *static_cast<const TZipHeaderInfo*>(b);
    switch (SortMode) {
    case TZipSortMode::ByName:
    case TZipSortMode::ByFileName:
    case TZipSortMode::ByDirectoryName:
        return CompareTextAnsi(OrderText(SortMode, x), OrderText(SortMode, y));
    case TZipSortMode::ByDate:
        return DosDateTimeToDate(y.DosDateTime) > DosDateTimeToDate(x.DosDateTime) ? 1 : -1;
    case TZipSortMode::ByCompressedSize:
        return LargerFirst(x.CompressedSize, y.CompressedSize);
    case TZipSortMode::ByUnCompressedSize:
        return LargerFirst(x.UncompressedSize, y.UncompressedSize);
    case TZipSortMode::ByRate:
        return Ratio(y) - Ratio(x);
    case TZipSortMode::ByNone:
        break;
    }
    if (x.DiskNumberStart != y.DiskNumberStart) {
        return x.DiskNumberStart < y.DiskNumberStart ? -1 : 1;
    }
    const std::uint64_t ox = x.LocalHeaderOffset;
    const std::uint64_t oy = y.LocalHeaderOffset;
    return ox < oy ? -1 : (ox > oy ? 1 : 0);
}

void TSortedZip::AddAll(const std::vector<TPersistentObject*>& items) {
    if (!IsTextOrder(SortMode) || Count() != 0 || Duplicates != TDuplicates::Accept) {
        TSortedObjectList::AddAll(items);
        return;
    }
    std::vector<std::string> texts;
    texts.reserve(items.size());
    for (const TPersistentObject* item : items) {
        texts.push_back(
            AnsiOrderText(OrderText(SortMode, *static_cast<const TZipHeaderInfo*>(item))));
    }
    AddAllSorted(items,
                 [&](std::size_t i, std::size_t j) { return Sign(texts[i].compare(texts[j])); });
}

namespace {

void WriteOptionalText(TStream& stream, const std::optional<std::string>& text) {
    WriteU8(stream, text ? 1 : 0);
    if (text) {
        WriteU32(stream, static_cast<std::uint32_t>(text->size()));
        stream.Write(text->data(), text->size());
    }
}

std::optional<std::string> ReadOptionalText(TStream& stream) {
    if (ReadU8(stream) == 0) {
        return std::nullopt;
    }
    const std::uint32_t length = ReadU32(stream);
    if (length > 0xFFFF) { // no comment of the format is longer
        RaiseStreamReadError();
    }
    std::string text(length, '\0');
    if (!stream.ReadExact(text.data(), length)) {
        RaiseStreamReadError();
    }
    return text;
}

void WriteHeader(const TPersistentObject& item, TStream& s) {
    const auto& e = static_cast<const TZipHeaderInfo&>(item);
    WriteU16(s, e.VersionMadeBy);
    WriteU16(s, e.VersionNeeded);
    WriteU16(s, e.BitFlags);
    WriteU16(s, e.CompressionMethod);
    WriteU32(s, e.DosDateTime);
    WriteU32(s, e.Crc32);
    WriteU64(s, e.CompressedSize);
    WriteU64(s, e.UncompressedSize);
    WriteU16(s, e.ExtraFieldLength);
    WriteU16(s, e.LocalExtraFieldLength);
    WriteU16(s, e.FileCommentLength);
    WriteU32(s, e.DiskNumberStart);
    WriteU16(s, e.InternalAttributes);
    WriteU32(s, e.ExternalAttributes);
    WriteU64(s, e.LocalHeaderOffset);
    WriteU64(s, e.CentralHeaderOffset);
    WriteOptionalText(s, e.Directory());
    WriteOptionalText(s, e.FileName());
    WriteOptionalText(s, e.FileComment);
    WriteOptionalText(s, e.ExtraField);
    WriteU8(s, e.Selected ? 1 : 0);
}

void ReadHeader(TPersistentObject& item, TStream& s) {
    auto& e = static_cast<TZipHeaderInfo&>(item);
    e.VersionMadeBy = ReadU16(s);
    e.VersionNeeded = ReadU16(s);
    e.BitFlags = ReadU16(s);
    e.CompressionMethod = ReadU16(s);
    e.DosDateTime = ReadU32(s);
    e.Crc32 = ReadU32(s);
    e.CompressedSize = ReadU64(s);
    e.UncompressedSize = ReadU64(s);
    e.ExtraFieldLength = ReadU16(s);
    e.LocalExtraFieldLength = ReadU16(s);
    e.FileCommentLength = ReadU16(s);
    e.DiskNumberStart = ReadU32(s);
    e.InternalAttributes = ReadU16(s);
    e.ExternalAttributes = ReadU32(s);
    e.LocalHeaderOffset = ReadU64(s);
    e.CentralHeaderOffset = ReadU64(s);
    e.SetDirectory(ReadOptionalText(s).value_or(""));
    e.SetFileName(ReadOptionalText(s).value_or(""));
    e.FileComment = ReadOptionalText(s);
    e.ExtraField = ReadOptionalText(s).value_or("");
    e.Selected = ReadU8(s) != 0;
}

void WriteEnd(const TPersistentObject& item, TStream& s) {
    const auto& e = static_cast<const TEndCentral&>(item);
    WriteU32(s, e.Signature);
    WriteU32(s, e.ThisDisk);
    WriteU32(s, e.CentralStartDisk);
    WriteU64(s, e.EntriesThisDisk);
    WriteU64(s, e.TotalEntries);
    WriteU64(s, e.CentralSize);
    WriteU64(s, e.CentralOffset);
    WriteU16(s, e.CommentLength);
    WriteOptionalText(s, e.ZipComment);
    WriteU64(s, e.CommentOffset);
    WriteU8(s, e.CommentModified ? 1 : 0);
}

void ReadEnd(TPersistentObject& item, TStream& s) {
    auto& e = static_cast<TEndCentral&>(item);
    e.Signature = ReadU32(s);
    e.ThisDisk = ReadU32(s);
    e.CentralStartDisk = ReadU32(s);
    e.EntriesThisDisk = ReadU64(s);
    e.TotalEntries = ReadU64(s);
    e.CentralSize = ReadU64(s);
    e.CentralOffset = ReadU64(s);
    e.CommentLength = ReadU16(s);
    e.ZipComment = ReadOptionalText(s);
    e.CommentOffset = ReadU64(s);
    e.CommentModified = ReadU8(s) != 0;
}

} // namespace

void RegisterZipClasses(TClassRegistry& classes) {
    classes.Register("TZipHeaderInfo",
                     {[] { return std::make_unique<TZipHeaderInfo>(); }, ReadHeader, WriteHeader});
    classes.Register("TEndCentral",
                     {[] { return std::make_unique<TEndCentral>(); }, ReadEnd, WriteEnd});
}

} // namespace zorvi
