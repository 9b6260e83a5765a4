// Reading the archive directory: the component's properties, the end record, the
// central headers, the sorted views and the comments. The recovery scan is in
// ZipRecovery.cpp, the volume requests in ZipVolumes.cpp.
#include "common/CodePage.h"
#include "zip/ArchiveNames.h"
#include "zip/UnZip.h"
#include "zip/WildcardMatch.h"
#include "zip/ZipErrors.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace zorvi {
namespace {

/// Comments are kept as UTF-8: taken as they are when they are valid UTF-8, else
/// read in the code page of the host that wrote them (an archive comment has no
/// host of its own and is read as Windows Cyrillic).
std::string DecodeComment(const std::string& raw, bool msDosHost) {
    if (IsValidUtf8(raw)) {
        return raw;
    }
    return ToUtf8(raw, msDosHost ? TCodePage::Dos866 : TCodePage::Windows1251);
}

} // namespace

void TUnZip::SetZipName(const std::string& name) {
    if (SameFileName(name, zipName_)) {
        return;
    }
    zipName_ = name;
    FreeEntries();
    ArchiveDate = 0.0;
    EndRecord.Clear();
    archiveStream_.reset();
    Rebuilt = false;
    missingVolumes_.clear();
}

void TUnZip::SetDestDir(const std::string& dir) {
    destDir_ = dir;
    if (!destDir_.empty() && destDir_.back() == '\\') {
        destDir_.pop_back();
    }
}

void TUnZip::SetRootDir(const std::string& dir) {
    rootDir_ = dir;
    if (!rootDir_.empty() && rootDir_.back() != '\\') {
        rootDir_ += '\\';
    }
}

int TUnZip::ShowMessageBox(const std::string& text, const std::string& caption, unsigned style) {
    if (MessageBoxes != nullptr) {
        return MessageBoxes->ShowMessageBox(text, caption, style);
    }
    switch (style & 0x0F) {
    case kMbYesNo:
        return kIdNo;
    case kMbOkCancel:
        return kIdCancel;
    default:
        return kIdOk;
    }
}

void TUnZip::PumpMessages() {
    if (DoProcessMessages && ProcessMessages) {
        ProcessMessages();
    }
}

void TUnZip::FreeEntries() {
    sortedView_.reset();
    sortedEntries_ = nullptr;
    entries_.reset();
}

void TUnZip::OpenArchiveStream(const std::string& path) {
    archiveStream_ = std::make_unique<TBufferedFileStream>(path, TFileMode::OpenRead,
                                                           FlushFilesOnClose, FileBufferSize);
}

std::optional<double> TUnZip::FileDateValue(const std::string& path) {
    const auto time = fileSystem_->FileTime(path);
    if (!time) {
        return std::nullopt;
    }
    return DateTimeValue(*time);
}

int TUnZip::EntryCount() const {
    return entries_ ? entries_->Count() : 0;
}

void TUnZip::ReadZipDirectory() {
    for (;;) {
        try {
            OpenArchive();
            break;
        } catch (const EIncompleteZip&) {
            archiveStream_.reset();
            if (OnInCompleteZip) {
                continue; // the handler was asked (and may have changed the mode)
            }
            return;
        } catch (...) {
            ResetArchive();
            throw;
        }
    }
    CloseArchive();
}

void TUnZip::OpenArchive() {
    if (!archiveStream_) {
        OpenArchiveStream(zipName_);
    }
    if (!entries_ || FileDateValue(zipName_).value_or(0.0) != ArchiveDate) {
        ReadCentralDirectory();
    }
}

void TUnZip::CloseArchive() {
    if (!KeepZipOpen) {
        archiveStream_.reset();
    }
}

void TUnZip::ResetArchive() {
    archiveStream_.reset();
    zfcStream_.reset();
    FreeEntries();
    EndRecord.Clear();
    Rebuilt = false;
    ArchiveDate = 0.0;
    DiskCount = 1;
    SetMultiMode(0);
    zipName_.clear();
    missingVolumes_.clear();
}

void TUnZip::ApplySortMode(TZipSortMode mode) {
    sortedView_.reset();
    if (mode == TZipSortMode::ByNone || !entries_) {
        sortedEntries_ = entries_.get();
    } else {
        sortedView_ = std::make_unique<TSortedZip>(mode, TDuplicates::Accept, false);
        for (int i = 0; i < entries_->Count(); ++i) {
            sortedView_->Add(entries_->Get(i));
        }
        sortedEntries_ = sortedView_.get();
    }
    SortMode = mode;
}

void TUnZip::CheckEntryIndex(int index) const {
    if (index < 0 || index >= EntryCount()) {
        RaiseListError(kTextIndexOutOfRange, index);
    }
}

std::string TUnZip::EntryFileName(int index) const {
    CheckEntryIndex(index);
    return sortedEntries_->Entry(index)->FileName();
}

std::string TUnZip::LoadText(TStream& stream, std::uint32_t offset, std::size_t skip,
                             std::size_t length) {
    stream.Seek(static_cast<std::int64_t>(offset) + static_cast<std::int64_t>(skip),
                kFromBeginning);
    std::string raw(length, '\0');
    raw.resize(stream.Read(raw.data(), length));
    return raw;
}

std::string TUnZip::EntryComment(int index) {
    CheckEntryIndex(index);
    TZipHeaderInfo& entry = *sortedEntries_->Entry(index);
    if (!entry.HasComment()) {
        return {};
    }
    if (!entry.FileComment) {
        OpenArchive();
        TStream& stream = *archiveStream_;
        std::uint8_t header[kCentralHeaderSize] = {};
        stream.Seek(entry.CentralHeaderOffset, kFromBeginning);
        stream.Read(header, sizeof header);
        const std::size_t skip = kCentralHeaderSize + GetU16(header + central::kNameLength) +
                                 GetU16(header + central::kExtraLength);
        entry.FileComment = DecodeComment(
            LoadText(stream, entry.CentralHeaderOffset, skip, entry.FileCommentLength),
            IsMsDosHost(entry.VersionMadeBy));
        if (MultiMode() == 0) {
            CloseArchive();
        }
    }
    return *entry.FileComment;
}

void TUnZip::SetEntryComment(int index, const std::string& comment) {
    CheckEntryIndex(index);
    TZipHeaderInfo& entry = *sortedEntries_->Entry(index);
    if (entry.FileComment.value_or("") != comment) {
        entry.FileComment = comment;
        entry.FileCommentLength =
            static_cast<std::uint16_t>(std::min<std::size_t>(comment.size(), 0xFFFF));
        EndRecord.CommentModified = true;
    }
}

std::string TUnZip::ArchiveComment() {
    if (EndRecord.CommentLength == 0) {
        return {};
    }
    if (!EndRecord.ZipComment) {
        OpenArchive();
        EndRecord.ZipComment = DecodeComment(
            LoadText(*archiveStream_, EndRecord.CommentOffset, 0, EndRecord.CommentLength), false);
        if (MultiMode() == 0) {
            CloseArchive();
        }
    }
    return *EndRecord.ZipComment;
}

void TUnZip::SetArchiveComment(const std::string& comment) {
    if (EndRecord.ZipComment.value_or("") != comment) {
        EndRecord.ZipComment = comment;
        EndRecord.CommentLength =
            static_cast<std::uint16_t>(std::min<std::size_t>(comment.size(), 0xFFFF));
        EndRecord.CommentModified = true;
    }
}

bool TUnZip::FindEndCentral(TStream& stream) {
    const std::int64_t size = stream.Size();
    if (size < static_cast<std::int64_t>(kEndCentralSize)) {
        if (size == 0) {
            EndRecord.Clear(); // an empty file is an archive without entries
            return true;
        }
        return false;
    }
    const auto window =
        static_cast<std::size_t>(std::min<std::int64_t>(size, kEndCentralSearchWindow));
    std::vector<std::uint8_t> tail(window);
    stream.Seek(-static_cast<std::int64_t>(window), kFromEnd);
    if (stream.Read(tail.data(), window) != window) {
        return false;
    }
    for (std::size_t pos = window - kEndCentralSize + 1; pos-- > 0;) {
        const std::uint8_t* p = tail.data() + pos;
        if (p[0] != 0x50 || GetU32(p) != kEndCentralSignature) {
            continue;
        }
        EndRecord.Clear();
        EndRecord.ThisDisk = GetU16(p + endrecord::kThisDisk);
        EndRecord.CentralStartDisk = GetU16(p + endrecord::kCentralStartDisk);
        EndRecord.EntriesThisDisk = GetU16(p + endrecord::kEntriesThisDisk);
        EndRecord.TotalEntries = GetU16(p + endrecord::kTotalEntries);
        EndRecord.CentralSize = GetU32(p + endrecord::kCentralSize);
        EndRecord.CentralOffset = GetU32(p + endrecord::kCentralOffset);
        EndRecord.CommentLength = GetU16(p + endrecord::kCommentLength);
        EndRecord.CommentOffset =
            static_cast<std::uint32_t>(size - static_cast<std::int64_t>(window) +
                                       static_cast<std::int64_t>(pos + kEndCentralSize));
        return true;
    }
    return false;
}

std::string TUnZip::DecodeName(const std::string& raw, std::uint16_t versionMadeBy,
                               std::uint16_t bitFlags, bool fromLocalHeader) const {
    std::string name = raw;
    std::replace(name.begin(), name.end(), '/', '\\');
    // Flag bit 11 promises UTF-8; a name that breaks the promise is read as 8-bit text.
    if ((bitFlags & kFlagUtf8Name) != 0 && IsValidUtf8(name)) {
        return name;
    }
    const bool msDos = fromLocalHeader || IsMsDosHost(versionMadeBy);
    return ToUtf8(name, msDos ? TCodePage::Dos866 : TCodePage::Windows1251);
}

bool TUnZip::ReadCentralHeader(TStream*& stream, TZipHeaderInfo& entry, bool allowNextVolume) {
    const std::int64_t start = stream->Position();
    std::uint8_t h[kCentralHeaderSize] = {};
    std::size_t n = stream->Read(h, sizeof h);
    // A header cut by the end of a volume goes on at the start of the next one.
    if (allowNextVolume &&
        (n == 0 || (n >= 4 && n < sizeof h && GetU32(h) == kCentralHeaderSignature))) {
        RequestDisk(CurrentDisk + 2);
        stream = archiveStream_.get();
        n += stream->Read(h + n, sizeof h - n);
    }
    if (n < sizeof h || GetU32(h) != kCentralHeaderSignature) {
        stream->Seek(start, kFromBeginning);
        return false;
    }
    std::string raw(GetU16(h + central::kNameLength), '\0');
    if (stream->Read(raw.data(), raw.size()) != raw.size()) {
        stream->Seek(start, kFromBeginning);
        return false;
    }
    const std::uint16_t extraLength = GetU16(h + central::kExtraLength);
    const std::uint16_t commentLength = GetU16(h + central::kCommentLength);
    entry.VersionMadeBy = GetU16(h + central::kVersionMadeBy);
    entry.VersionNeeded = GetU16(h + central::kVersionNeeded);
    entry.BitFlags = GetU16(h + central::kBitFlags);
    entry.CompressionMethod = GetU16(h + central::kMethod);
    entry.DosDateTime = FixDosDateTime(GetU32(h + central::kDosDateTime));
    entry.Crc32 = GetU32(h + central::kCrc32);
    entry.CompressedSize = GetU32(h + central::kCompressedSize);
    entry.UncompressedSize = GetU32(h + central::kUncompressedSize);
    entry.ExtraFieldLength = extraLength;
    entry.LocalExtraFieldLength = 0;
    entry.FileCommentLength = commentLength;
    entry.DiskNumberStart = GetU16(h + central::kDiskNumberStart);
    entry.InternalAttributes = GetU16(h + central::kInternalAttributes);
    entry.ExternalAttributes = GetU32(h + central::kExternalAttributes);
    entry.LocalHeaderOffset = GetU32(h + central::kLocalHeaderOffset);
    entry.CentralHeaderOffset = static_cast<std::uint32_t>(start);
    entry.SetPathName(DecodeName(raw, entry.VersionMadeBy, entry.BitFlags, false));
    entry.FileComment.reset();
    entry.Selected = false;
    if (MultiMode() != 0 && commentLength > 0 && !Rebuilt) {
        // On a multi-volume archive the comment is loaded now, while its volume is open.
        stream->Seek(extraLength, kFromCurrent);
        std::string comment(commentLength, '\0');
        comment.resize(stream->Read(comment.data(), comment.size()));
        entry.FileComment = DecodeComment(comment, IsMsDosHost(entry.VersionMadeBy));
    } else {
        stream->Seek(static_cast<std::int64_t>(extraLength) + commentLength, kFromCurrent);
    }
    return true;
}
void TUnZip::ReadCentralDirectory() {
    ArchiveDate = FileDateValue(zipName_).value_or(0.0);
    if (EntryCount() > 0) {
        FreeEntries();
    }
    TStream* stream = archiveStream_.get();
    bool viaZfc = false;
    bool found = FindEndCentral(*stream);
    if (!found) {
        // A spanned archive's directory may have been saved beside its first volume.
        const std::string zfcName = ChangeFileExt(zipName_, ".zfc");
        if (FileExists(zfcName)) {
            try {
                zfcStream_ = std::make_unique<TBufferedFileStream>(zfcName, TFileMode::OpenRead,
                                                                   false, FileBufferSize);
            } catch (const EZipError&) {
                zfcStream_.reset();
            }
            if (zfcStream_ && FindEndCentral(*zfcStream_)) {
                viaZfc = found = true;
                stream = zfcStream_.get();
            } else {
                zfcStream_.reset();
            }
        }
    }
    if (!found) {
        if (OnInCompleteZip) {
            OnInCompleteZip(*this, IncompleteZipMode);
        }
        switch (IncompleteZipMode) {
        case TIncompleteZipMode::izAssumeNotAZip:
            RaiseNotAZipFile();
        case TIncompleteZipMode::izAssumeMulti:
            RaiseIncompleteZip();
        case TIncompleteZipMode::izAssumeBad:
            if (!ScanLocalHeaders()) {
                ResetArchive();
                RaiseBadZipFile();
            }
            break;
        }
    } else {
        CurrentDisk = viaZfc ? 0 : EndRecord.ThisDisk;
        if (EndRecord.ThisDisk == 0) {
            SetMultiMode(0);
        } else {
            const bool onDrive = zipName_.size() >= 2 && zipName_[1] == ':';
            SetMultiMode(onDrive && fileSystem_->IsRemovableDrive(zipName_.substr(0, 2)) ? 1 : 2);
        }
        lastVolumeName_ = zipName_;
        if (EndRecord.TotalEntries != 0) {
            if (!viaZfc && MultiMode() != 0 && EndRecord.CentralStartDisk != CurrentDisk) {
                RequestDisk(EndRecord.CentralStartDisk + 1);
                stream = archiveStream_.get();
            }
            stream->Seek(viaZfc ? 0 : EndRecord.CentralOffset, kFromBeginning);
        }
    }

    if (EntryCount() == 0) {
        entries_ = std::make_unique<TSortedZip>(TZipSortMode::ByNone, TDuplicates::Reject, true);
        sortedView_.reset();
        sortedEntries_ = entries_.get();
    }

    // After a rebuild: which scanned entry a central header has enriched already, and the
    // names of the central headers that found no entry of their own (see ReportRebuild).
    std::vector<bool> enriched;
    std::vector<std::string> unplaced;
    // As many central headers as the end record gives, also when a rebuild midway puts the
    // count of the local headers it found there: the headers past that count name entries
    // the rebuilt list may lack, which must not go unnoticed.
    const int headerCount = EndRecord.TotalEntries;
    for (int r = 0; r < headerCount; ++r) {
        auto entry = std::make_unique<TZipHeaderInfo>();
        const bool read = ReadCentralHeader(stream, *entry, MultiMode() != 0 && !Rebuilt);
        if (read && !Rebuilt) {
            try {
                entries_->Add(entry.get());
                entry.release();
            } catch (const EListError&) {
                // Two headers claim the same local header: trust the local headers.
                if (!ScanLocalHeaders()) {
                    ResetArchive();
                    RaiseBadZipFile();
                }
                stream = archiveStream_.get();
                r = -1;
            }
        } else if (read) {
            enriched.resize(static_cast<std::size_t>(EntryCount()));
            int index = 0;
            if (entries_->Find(entry.get(), index) && !enriched[static_cast<std::size_t>(index)]) {
                enriched[static_cast<std::size_t>(index)] = true;
                TZipHeaderInfo& known = *entries_->Entry(index);
                const std::uint32_t offset = known.LocalHeaderOffset;
                known.Assign(*entry);
                known.LocalHeaderOffset = offset;
            } else {
                unplaced.push_back(entry->PathName());
            }
        } else if (Rebuilt) {
            break;
        } else {
            if (MultiMode() != 0 || !ScanLocalHeaders()) {
                ResetArchive();
                RaiseBadZipFile();
            }
            stream = archiveStream_.get();
            r = -1;
        }
    }

    if (MultiMode() != 0 && EndRecord.CommentLength > 0) {
        if (!viaZfc && EndRecord.ThisDisk != CurrentDisk) {
            RequestDisk(EndRecord.ThisDisk + 1);
        }
        TStream& source = viaZfc ? static_cast<TStream&>(*zfcStream_) : *archiveStream_;
        EndRecord.ZipComment = DecodeComment(
            LoadText(source, EndRecord.CommentOffset, 0, EndRecord.CommentLength), false);
        EndRecord.CommentModified = false;
    }
    DiskCount = EndRecord.ThisDisk + 1;
    if (viaZfc) {
        CurrentDisk = 0;
    }
    zfcStream_.reset();
    ApplySortMode(SortMode);
    if (Rebuilt) {
        ReportRebuild(unplaced);
    }
}

void TUnZip::ReportRebuild(const std::vector<std::string>& unplaced) {
    if (OnDirectoryRebuilt) {
        OnDirectoryRebuilt(*this);
    }
    if (!OnEntryDropped) {
        return;
    }
    // A central header may point at a wrong offset and still name an entry the scan found
    // at its right one; only a name the rebuilt list does not hold is an entry lost.
    std::set<std::string> names;
    for (int i = 0; i < EntryCount(); ++i) {
        names.insert(entries_->Entry(i)->PathName());
    }
    for (const std::string& name : unplaced) {
        if (names.count(name) == 0) {
            OnEntryDropped(*this, name);
        }
    }
}
} // namespace zorvi
