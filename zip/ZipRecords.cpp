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

int CompareTextAnsi(const std::string& a, const std::string& b) {
    const std::string x = LowerAscii(FromUtf8(a, TCodePage::Windows1251));
    const std::string y = LowerAscii(FromUtf8(b, TCodePage::Windows1251));
    const int c = x.compare(y);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

namespace {

int Ratio(const TZipHeaderInfo& e) {
    if (static_cast<std::int32_t>(e.UncompressedSize) <= 0) {
        return 0;
    }
    const double ratio = std::nearbyint(static_cast<double>(e.CompressedSize) * 100.0 /
                                        static_cast<double>(e.UncompressedSize));
    return ratio > 100.0 ? 100 : static_cast<int>(ratio);
}

int LargerFirst(std::int32_t difference) {
    return difference > 0 ? 1 : -1;
}

} // namespace

int TSortedZip::Compare(const TPersistentObject* a, const TPersistentObject* b) const {
    const auto& x = *static_cast<const TZipHeaderInfo*>(a);
    const auto& y = *static_cast<const TZipHeaderInfo*>(b);
    switch (SortMode) {
    case TZipSortMode::ByName:
        return CompareTextAnsi(x.PathName(), y.PathName());
    case TZipSortMode::ByFileName:
        return CompareTextAnsi(x.FileName(), y.FileName());
    case TZipSortMode::ByDirectoryName:
        return CompareTextAnsi(x.Directory(), y.Directory());
    case TZipSortMode::ByDate:
        return DosDateTimeToDate(y.DosDateTime) > DosDateTimeToDate(x.DosDateTime) ? 1 : -1;
    case TZipSortMode::ByCompressedSize:
        return LargerFirst(static_cast<std::int32_t>(y.CompressedSize - x.CompressedSize));
    case TZipSortMode::ByUnCompressedSize:
        return LargerFirst(static_cast<std::int32_t>(y.UncompressedSize - x.UncompressedSize));
    case TZipSortMode::ByRate:
        return Ratio(y) - Ratio(x);
    case TZipSortMode::ByNone:
        break;
    }
    if (x.DiskNumberStart != y.DiskNumberStart) {
        return x.DiskNumberStart - y.DiskNumberStart;
    }
    const auto ox = static_cast<std::int32_t>(x.LocalHeaderOffset);
    const auto oy = static_cast<std::int32_t>(y.LocalHeaderOffset);
    return ox < oy ? -1 : (ox > oy ? 1 : 0);
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
    WriteU32(s, e.CompressedSize);
    WriteU32(s, e.UncompressedSize);
    WriteU16(s, e.ExtraFieldLength);
    WriteU16(s, e.LocalExtraFieldLength);
    WriteU16(s, e.FileCommentLength);
    WriteU16(s, e.DiskNumberStart);
    WriteU16(s, e.InternalAttributes);
    WriteU32(s, e.ExternalAttributes);
    WriteU32(s, e.LocalHeaderOffset);
    WriteU32(s, e.CentralHeaderOffset);
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
    e.CompressedSize = ReadU32(s);
    e.UncompressedSize = ReadU32(s);
    e.ExtraFieldLength = ReadU16(s);
    e.LocalExtraFieldLength = ReadU16(s);
    e.FileCommentLength = ReadU16(s);
    e.DiskNumberStart = ReadU16(s);
    e.InternalAttributes = ReadU16(s);
    e.ExternalAttributes = ReadU32(s);
    e.LocalHeaderOffset = ReadU32(s);
    e.CentralHeaderOffset = ReadU32(s);
    e.SetDirectory(ReadOptionalText(s).value_or(""));
    e.SetFileName(ReadOptionalText(s).value_or(""));
    e.FileComment = ReadOptionalText(s);
    e.ExtraField = ReadOptionalText(s).value_or("");
    e.Selected = ReadU8(s) != 0;
}

void WriteEnd(const TPersistentObject& item, TStream& s) {
    const auto& e = static_cast<const TEndCentral&>(item);
    WriteU32(s, e.Signature);
    WriteU16(s, e.ThisDisk);
    WriteU16(s, e.CentralStartDisk);
    WriteU16(s, e.EntriesThisDisk);
    WriteU16(s, e.TotalEntries);
    WriteU32(s, e.CentralSize);
    WriteU32(s, e.CentralOffset);
    WriteU16(s, e.CommentLength);
    WriteOptionalText(s, e.ZipComment);
    WriteU32(s, e.CommentOffset);
    WriteU8(s, e.CommentModified ? 1 : 0);
}

void ReadEnd(TPersistentObject& item, TStream& s) {
    auto& e = static_cast<TEndCentral&>(item);
    e.Signature = ReadU32(s);
    e.ThisDisk = ReadU16(s);
    e.CentralStartDisk = ReadU16(s);
    e.EntriesThisDisk = ReadU16(s);
    e.TotalEntries = ReadU16(s);
    e.CentralSize = ReadU32(s);
    e.CentralOffset = ReadU32(s);
    e.CommentLength = ReadU16(s);
    e.ZipComment = ReadOptionalText(s);
    e.CommentOffset = ReadU32(s);
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
