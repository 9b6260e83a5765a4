// Reading the archive directory: the end record, the central headers and the comments
// stored in the archive. The properties are in UnZip.cpp, the recovery scan in
// ZipRecovery.cpp, the volume requests in ZipVolumes.cpp.
#include "zip/ArchiveNames.h"
#include "zip/EntryNames.h"
#include "zip/UnZip.h"
#include "zip/WildcardMatch.h"
#include "zip/Zip64.h"
#include "zip/ZipErrors.h"
#include "zip/ZipHeaders.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace zorvi {

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

void TUnZip::ReadZipDirectory() {
    for (;;) {
        const TIncompleteZipMode mode = IncompleteZipMode;
        try {
            OpenArchive();
            break;
        } catch (const EIncompleteZip&) {
            archiveStream_.reset();
            if (!OnInCompleteZip) {
                return;
            }
            // The handler was asked. A new mode is tried; the mode it left as it was has
            // given its answer, and asking again would give the same one for ever.
            if (IncompleteZipMode == mode) {
                throw;
            }
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

std::string TUnZip::LoadText(TStream& stream, std::uint64_t offset, std::size_t skip,
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
        stream.Seek(static_cast<std::int64_t>(entry.CentralHeaderOffset), kFromBeginning);
        stream.Read(header, sizeof header);
        const THeaderTail tail = CentralHeaderTail(header);
        const std::size_t skip = kCentralHeaderSize + tail.NameLength + tail.ExtraLength;
        entry.FileComment = DecodeEntryComment(
            LoadText(stream, entry.CentralHeaderOffset, skip, entry.FileCommentLength),
            entry.VersionMadeBy, entry.ExtraField);
        if (MultiMode() == 0) {
            CloseArchive();
        }
    }
    return *entry.FileComment;
}

std::string TUnZip::ArchiveComment() {
    if (EndRecord.CommentLength == 0) {
        return {};
    }
    if (!EndRecord.ZipComment) {
        OpenArchive();
        EndRecord.ZipComment = DecodeArchiveComment(
            LoadText(*archiveStream_, EndRecord.CommentOffset, 0, EndRecord.CommentLength));
        if (MultiMode() == 0) {
            CloseArchive();
        }
    }
    return *EndRecord.ZipComment;
}

bool TUnZip::FindEndCentral(TStream& stream) {
    const std::int64_t size = stream.Size();
    if (size == 0) {
        EndRecord.Clear(); // an empty file is an archive without entries
        return true;
    }
    if (size < static_cast<std::int64_t>(kEndCentralSize)) {
        return false;
    }
    const auto window =
        static_cast<std::size_t>(std::min<std::int64_t>(size, kEndCentralSearchWindow));
    std::vector<std::uint8_t> tail(window);
    stream.Seek(-static_cast<std::int64_t>(window), kFromEnd);
    if (stream.Read(tail.data(), window) != window) {
        return false;
    }
    const auto pos = FindEndRecord(tail.data(), window);
    if (!pos) {
        return false;
    }
    ParseEndRecord(tail.data() + *pos, EndRecord);
    const std::int64_t endOffset =
        size - static_cast<std::int64_t>(window) + static_cast<std::int64_t>(*pos);
    EndRecord.CommentOffset = static_cast<std::uint64_t>(endOffset) + kEndCentralSize;
    // Counts, sizes and offsets too large for the record are in its ZIP64 record; without
    // one, the record's own values stand (and one that is full leads nowhere: the
    // directory is then rebuilt, or found short).
    ReadZip64EndRecord(stream, endOffset, EndRecord);
    return true;
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
    std::string raw;
    if (n < sizeof h || GetU32(h) != kCentralHeaderSignature ||
        !ReadRawName(*stream, CentralHeaderTail(h).NameLength, raw)) {
        stream->Seek(start, kFromBeginning);
        return false;
    }
    const THeaderTail tail = ParseCentralHeader(h, entry);
    entry.CentralHeaderOffset = static_cast<std::uint64_t>(start);
    // An extra block cut by the end of the file keeps what there is of it (its fields are
    // never read past their block; the comment then reads short too).
    ReadRawName(*stream, tail.ExtraLength, entry.ExtraField);
    ApplyZip64ExtraField(reinterpret_cast<const std::uint8_t*>(entry.ExtraField.data()),
                         entry.ExtraField.size(), true, entry);
    entry.SetPathName(
        DecodeEntryName(raw, entry.VersionMadeBy, entry.BitFlags, false, entry.ExtraField));
    if (MultiMode() != 0 && tail.CommentLength > 0 && !Rebuilt) {
        // On a multi-volume archive the comment is loaded now, while its volume is open.
        std::string comment(tail.CommentLength, '\0');
        comment.resize(stream->Read(comment.data(), comment.size()));
        entry.FileComment = DecodeEntryComment(comment, entry.VersionMadeBy, entry.ExtraField);
    } else {
        stream->Seek(tail.CommentLength, kFromCurrent);
    }
    return true;
}

bool TUnZip::ReadRawName(TStream& stream, std::size_t length, std::string& raw) {
    raw.assign(length, '\0');
    raw.resize(stream.Read(raw.data(), raw.size()));
    return raw.size() == length;
}
// Find, policy, read: the end record in the archive or in its ".zfc" copy; without one the
// caller's policy for a missing directory (which may rebuild the list from the local
// headers); then the central headers. When they cannot be used as they are (a header that
// does not read, two that claim the same local header), the list is rebuilt from the local
// headers and the central headers only add what the local headers lack.
void TUnZip::ReadCentralDirectory() {
    ArchiveDate = FileDateValue(zipName_).value_or(0.0);
    if (EntryCount() > 0) {
        FreeEntries();
    }
    const TDirectorySource source = FindDirectory();
    TStream* stream = archiveStream_.get();
    if (source == TDirectorySource::None) {
        ApplyMissingDirectoryPolicy();
    } else {
        stream = EnterDirectory(source);
    }
    if (EntryCount() == 0) {
        entries_ = std::make_unique<TSortedZip>(TZipSortMode::ByNone, TDuplicates::Reject, true);
        sortedView_.reset();
        sortedEntries_ = entries_.get();
    }

    // As many central headers as the end record gives, also when a rebuild midway puts the
    // count of the local headers it found there: the headers past that count name entries
    // the rebuilt list may lack, which must not go unnoticed.
    const std::uint64_t headerCount = EndRecord.TotalEntries;
    if (!Rebuilt) {
        const THeadersRead read = ReadCentralHeaders(stream, headerCount, DirectoryEnd(source));
        if (read == THeadersRead::Unreadable && MultiMode() != 0) {
            RaiseBadArchive();
        }
        if (read != THeadersRead::All) {
            RebuildOrRaise(); // the local headers are trusted then
            stream = archiveStream_.get();
        }
    }
    std::vector<std::string> unplaced;
    if (Rebuilt) {
        unplaced = EnrichRebuiltEntries(*stream, headerCount);
    }
    FinishDirectory(source);
    if (Rebuilt) {
        ReportRebuild(unplaced, headerCount);
    }
}

TUnZip::TDirectorySource TUnZip::FindDirectory() {
    if (FindEndCentral(*archiveStream_)) {
        return TDirectorySource::Archive;
    }
    // A spanned archive's directory may have been saved beside its first volume.
    const std::string zfcName = ChangeFileExt(zipName_, ".zfc");
    if (!FileExists(zfcName)) {
        return TDirectorySource::None;
    }
    try {
        zfcStream_ = std::make_unique<TBufferedFileStream>(zfcName, TFileMode::OpenRead, false,
                                                           FileBufferSize);
    } catch (const EZipError&) {
        zfcStream_.reset();
    }
    if (zfcStream_ && FindEndCentral(*zfcStream_)) {
        return TDirectorySource::ZfcCopy;
    }
    zfcStream_.reset();
    return TDirectorySource::None;
}

void TUnZip::ApplyMissingDirectoryPolicy() {
    if (OnInCompleteZip) {
        OnInCompleteZip(*this, IncompleteZipMode);
    }
    switch (IncompleteZipMode) {
    case TIncompleteZipMode::izAssumeNotAZip:
        RaiseNotAZipFile();
    case TIncompleteZipMode::izAssumeMulti:
        RaiseIncompleteZip();
    case TIncompleteZipMode::izAssumeBad:
        RebuildOrRaise();
        break;
    }
}

TStream* TUnZip::EnterDirectory(TDirectorySource source) {
    const bool viaZfc = source == TDirectorySource::ZfcCopy;
    CurrentDisk = viaZfc ? 0 : static_cast<int>(EndRecord.ThisDisk);
    if (EndRecord.ThisDisk == 0) {
        SetMultiMode(0);
    } else {
        const bool onDrive = zipName_.size() >= 2 && zipName_[1] == ':';
        SetMultiMode(onDrive && fileSystem_->IsRemovableDrive(zipName_.substr(0, 2)) ? 1 : 2);
    }
    lastVolumeName_ = zipName_;
    TStream* stream = viaZfc ? static_cast<TStream*>(zfcStream_.get()) : archiveStream_.get();
    if (EndRecord.TotalEntries != 0) {
        if (!viaZfc && MultiMode() != 0 &&
            EndRecord.CentralStartDisk != static_cast<std::uint32_t>(CurrentDisk)) {
            RequestDisk(static_cast<int>(EndRecord.CentralStartDisk) + 1);
            stream = archiveStream_.get();
        }
        stream->Seek(viaZfc ? 0 : static_cast<std::int64_t>(EndRecord.CentralOffset),
                     kFromBeginning);
    }
    return stream;
}

std::uint64_t TUnZip::DirectoryEnd(TDirectorySource source) const {
    if (source == TDirectorySource::None || MultiMode() != 0) {
        return 0;
    }
    const std::uint64_t start = source == TDirectorySource::ZfcCopy ? 0 : EndRecord.CentralOffset;
    return start + EndRecord.CentralSize; // both at most kLargestZip64Value
}

TUnZip::THeadersRead TUnZip::ReadCentralHeaders(TStream*& stream, std::uint64_t headerCount,
                                                std::uint64_t directoryEnd) {
    const auto add = [&](std::unique_ptr<TZipHeaderInfo> entry) {
        try {
            entries_->Add(entry.get());
            entry.release();
            return true;
        } catch (const EListError&) {
            return false;
        }
    };
    for (std::uint64_t r = 0; r < headerCount; ++r) {
        auto entry = std::make_unique<TZipHeaderInfo>();
        if (!ReadCentralHeader(stream, *entry, MultiMode() != 0)) {
            return THeadersRead::Unreadable;
        }
        if (!add(std::move(entry))) {
            return THeadersRead::SharedLocalHeader;
        }
    }
    // A writer that knows no ZIP64 records counts more than 65,535 entries modulo 65,536;
    // the headers the count leaves out still lie inside the directory, and are read.
    while (static_cast<std::uint64_t>(stream->Position()) < directoryEnd) {
        auto entry = std::make_unique<TZipHeaderInfo>();
        if (!ReadCentralHeader(stream, *entry, false)) {
            break;
        }
        if (!add(std::move(entry))) {
            return THeadersRead::SharedLocalHeader;
        }
    }
    return THeadersRead::All;
}

std::vector<std::string> TUnZip::EnrichRebuiltEntries(TStream& stream, std::uint64_t headerCount) {
    // Which scanned entry a central header has enriched already, and the names of the
    // central headers that found no entry of their own (see ReportRebuild).
    std::vector<bool> enriched;
    std::vector<std::string> unplaced;
    TStream* source = &stream;
    for (std::uint64_t r = 0; r < headerCount; ++r) {
        TZipHeaderInfo entry;
        if (!ReadCentralHeader(source, entry, false)) {
            break;
        }
        enriched.resize(static_cast<std::size_t>(EntryCount()));
        int index = 0;
        if (entries_->Find(&entry, index) && !enriched[static_cast<std::size_t>(index)]) {
            enriched[static_cast<std::size_t>(index)] = true;
            TZipHeaderInfo& known = *entries_->Entry(index);
            const std::uint64_t offset = known.LocalHeaderOffset;
            known.Assign(entry);
            known.LocalHeaderOffset = offset;
        } else {
            unplaced.push_back(entry.PathName());
        }
    }
    return unplaced;
}

void TUnZip::FinishDirectory(TDirectorySource source) {
    const bool viaZfc = source == TDirectorySource::ZfcCopy;
    if (MultiMode() != 0 && EndRecord.CommentLength > 0) {
        if (!viaZfc && EndRecord.ThisDisk != static_cast<std::uint32_t>(CurrentDisk)) {
            RequestDisk(static_cast<int>(EndRecord.ThisDisk) + 1);
        }
        TStream& comments = viaZfc ? static_cast<TStream&>(*zfcStream_) : *archiveStream_;
        EndRecord.ZipComment = DecodeArchiveComment(
            LoadText(comments, EndRecord.CommentOffset, 0, EndRecord.CommentLength));
        EndRecord.CommentModified = false;
    }
    DiskCount = static_cast<int>(EndRecord.ThisDisk) + 1;
    if (viaZfc) {
        CurrentDisk = 0;
    }
    zfcStream_.reset();
    ApplySortMode(SortMode);
}

void TUnZip::RebuildOrRaise() {
    if (!ScanLocalHeaders()) {
        RaiseBadArchive();
    }
}

void TUnZip::RaiseBadArchive() {
    ResetArchive();
    RaiseBadZipFile();
}

void TUnZip::ReportRebuild(const std::vector<std::string>& unplaced, std::uint64_t promised) {
    if (OnDirectoryRebuilt) {
        OnDirectoryRebuilt(*this);
    }
    // A central header may point at a wrong offset and still name an entry the scan found
    // at its right one; only a name the rebuilt list does not hold is an entry lost.
    std::set<std::string> names;
    for (int i = 0; i < EntryCount(); ++i) {
        names.insert(entries_->Entry(i)->PathName());
    }
    std::uint64_t dropped = 0;
    for (const std::string& name : unplaced) {
        if (names.count(name) == 0) {
            ++dropped;
            if (OnEntryDropped) {
                OnEntryDropped(*this, name);
            }
        }
    }
    // What the end record promises and neither the list holds nor a name above reports:
    // central headers that could not be read, for entries the scan did not find either.
    const std::uint64_t accounted = static_cast<std::uint64_t>(EntryCount()) + dropped;
    if (promised > accounted && OnEntriesMissing) {
        OnEntriesMissing(*this, promised - accounted);
    }
}
} // namespace zorvi
