// The extraction engine: selection of the entries, then for each one the steps of
// ExtractEntry: locate its data, place it, check the password, open the output, decode (the
// decoder of its method, TEntryDecoder::DecodeEntry), and settle its verdict.
#include "common/CodePage.h"
#include "zip/EntryModes.h"
#include "zip/EntryPath.h"
#include "zip/EntryTimes.h"
#include "zip/PasswordBytes.h"
#include "zip/UnZip.h"
#include "zip/WildcardMatch.h"
#include "zip/ZipErrors.h"
#include "zip/ZipHeaders.h"
#include "zip/ZipRunState.h"

#include <algorithm>
#include <filesystem>
#include <limits>
#include <system_error>
#include <utility>

namespace zorvi {

/// The archive as the decoders read it: a short read moves on to the next volume of
/// a multi-volume archive, and is the premature end of the archive otherwise.
class TUnZip::TArchiveInput final : public TCompressedInput {
public:
    explicit TArchiveInput(TUnZip& owner) : owner_(owner) {}

    std::size_t ReadCompressed(std::uint8_t* buffer, std::size_t count) override {
        std::size_t n = owner_.archiveStream_->Read(buffer, count);
        if (n < count && (owner_.EndRecord.ThisDisk == 0 || !owner_.OnGetNextDisk)) {
            RaiseFatalUnzipError();
        }
        while (n < count) {
            owner_.RequestDisk(owner_.CurrentDisk + 2);
            n += owner_.archiveStream_->Read(buffer + n, count - n);
        }
        return n;
    }

private:
    TUnZip& owner_;
};

/// The extracted file as the decoders write it. Every block is handed to the system
/// before the call returns, so a refusal of the last bytes of a file (a full disk)
/// is a short write the decoding layer reports (ECantWriteUCF) like any other.
/// Since nothing ever waits in the stream's buffer, a block goes to the file in one
/// piece, past the buffer (which would split off all but whole buffers of it).
class TUnZip::TFileOutput final : public TDecodedOutput {
public:
    explicit TFileOutput(TBufferedFileStream& file) : file_(file) {}

    std::size_t WriteDecoded(const std::uint8_t* data, std::size_t count) override {
        std::size_t n = 0;
        if (file_.State() == TBufferedStream::kWriting) {
            n = file_.Write(data, count);
            if (n == count && !file_.FlushBuffer()) {
                n = 0;
            }
        } else {
            n = file_.File().Write(data, count);
            file_.Written = true; // so that FlushFilesOnClose still reaches the disk
        }
        position_ += static_cast<std::int64_t>(n);
        return n;
    }
    std::int64_t DecodedPosition() const override { return position_; }

private:
    TBufferedFileStream& file_;
    std::int64_t position_ = 0;
};

/// The entries' data as a sink takes it, instead of a file.
class TUnZip::TSinkOutput final : public TDecodedOutput {
public:
    explicit TSinkOutput(TEntrySink& sink) : sink_(sink) {}

    std::size_t WriteDecoded(const std::uint8_t* data, std::size_t count) override {
        const std::size_t n = std::min(sink_.TakeDecoded(data, count), count);
        position_ += static_cast<std::int64_t>(n);
        return n;
    }
    std::int64_t DecodedPosition() const override { return position_; }

private:
    TEntrySink& sink_;
    std::int64_t position_ = 0;
};

namespace {

bool PathExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(ToFsPath(path), error);
}

bool DirExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_directory(ToFsPath(path), error);
}

/// The byte strings the password is tried as for the entry, in their order.
std::vector<std::string> EntryPasswordBytes(const std::string& password,
                                            const TZipHeaderInfo& entry) {
    return PasswordCandidates(password, PasswordLikelyUtf8(entry.VersionMadeBy, entry.BitFlags));
}

/// Masks and names meet as 8-bit text, so that "?" stands for one Cyrillic letter.
std::string MatchText(const std::string& utf8) {
    return LowerAscii(FromUtf8(utf8, TCodePage::Windows1251));
}

// The run's total of the selected entries' sizes. Each size is at most 2^63 - 1 (Zip64.h), so
// a sum of them may pass what the total holds: it stays at the largest value instead (only a
// hostile archive gets there, and its percentages then tell little); it never goes below 0.
std::int64_t AddedSize(std::int64_t total, std::uint64_t size) {
    const auto n = static_cast<std::int64_t>(size);
    return n > std::numeric_limits<std::int64_t>::max() - total
               ? std::numeric_limits<std::int64_t>::max()
               : total + n;
}

std::int64_t SubtractedSize(std::int64_t total, std::uint64_t size) {
    return std::max<std::int64_t>(0, total - static_cast<std::int64_t>(size));
}

TArchivePlace EntryStart(bool multiVolume, const TZipHeaderInfo& entry) {
    return {multiVolume ? entry.DiskNumberStart : 0, entry.LocalHeaderOffset};
}

// Entries may not share bytes. An archive whose entries overlap (many central headers for
// one local header, local headers nested in each other's extra fields, data running into
// the next entry) is how a few kilobytes unpack to gigabytes, and no tool writes one.
// Two byte ranges overlap exactly when one holds the other's start; so an entry's range,
// from its local header to the end of its data, is checked against every entry's start
// when its local header has been read, before any of its data is. In archive order the
// first entry of an overlapping pair is the one that finds the other: nothing of the
// shared data is written.
// An entry that goes on in the next volume holds the rest of its own volume.
void CheckOwnBytes(const std::vector<TArchivePlace>& starts, const TArchivePlace& start,
                   std::uint64_t length) {
    // Offsets and sizes are at most 2^63 - 1 (Zip64.h): the sum does not wrap.
    const TArchivePlace end{start.Volume, start.Offset + length};
    const auto first = std::lower_bound(starts.begin(), starts.end(), start);
    const auto last = std::lower_bound(first, starts.end(), end);
    if (last - first > 1) { // the entry's own start is among them
        RaiseOverlappedEntries();
    }
}

} // namespace

// Here, where the run state is a complete type.
TUnZip::TUnZip(TFileSystemShim& fileSystem) : fileSystem_(&fileSystem) {
    OnGetNextDisk = [](TUnZip& sender, int nextDisk, std::string& fName) {
        sender.DefaultGetNextDisk(nextDisk, fName);
    };
}

TUnZip::~TUnZip() {
    ResetArchive();
}

std::int64_t TUnZip::TotalBytes() const {
    return run_ ? run_->Decoder.TotalBytes : 0;
}

std::int64_t TUnZip::BytesDone() const {
    return run_ ? run_->Decoder.BytesDone : 0;
}

std::string TUnZip::EntryDestDir() const {
    return PlaceEntry(destDir_, rootDir_, RecreateDirs, CurrentHeader.Directory(),
                      CurrentHeader.FileName())
        .Folder;
}

bool TUnZip::ForceDirs(const std::string& path) {
    std::error_code error;
    std::filesystem::create_directories(ToFsPath(path), error);
    return !error;
}

void TUnZip::DeleteOutput(const std::string& path) {
    if (Sink != nullptr) {
        return; // a run into a sink has no files: `path` is the entry's name
    }
    // A read-only attribute taken over from the archive must not keep a rejected file.
    if (const auto attributes = fileSystem_->Attributes(path);
        attributes && (*attributes & kAttrReadOnly) != 0) {
        fileSystem_->SetAttributes(path, *attributes & ~kAttrReadOnly);
    }
    std::error_code error;
    std::filesystem::remove(ToFsPath(path), error);
}

void TUnZip::SkipEntry() {
    if (run_) {
        run_->Decoder.TotalBytes =
            SubtractedSize(run_->Decoder.TotalBytes, CurrentHeader.UncompressedSize);
    }
}

int TUnZip::ExtractFiles() {
    if (destDir_ == "?") {
        return 0;
    }
    ReadZipDirectory();
    OpenArchive();
    int count = 0;
    try {
        count = ExtractSelected();
    } catch (...) {
        CloseArchive();
        throw;
    }
    CloseArchive();
    return count;
}

int TUnZip::ExtractSelected() {
    const bool keepZipOpen = KeepZipOpen;
    KeepZipOpen = true;
    run_ = std::make_unique<TRunState>(MakeDecodeHooks());
    run_->NewFileBits = fileSystem_->NewFilePermissions();

    const TZipSortMode sortMode = SortMode;
    const bool resorted = EndRecord.ThisDisk != 0 && SortMode != TZipSortMode::ByNone;
    const auto finish = [&] {
        const int count = run_->Count;
        run_.reset();
        FilesList.clear();
        ExcludeList.clear();
        if (resorted) {
            ApplySortMode(sortMode);
        }
        if (OnUnZipComplete) {
            OnUnZipComplete(*this, count);
        }
        KeepZipOpen = keepZipOpen;
        return count;
    };

    try {
        if (Sink == nullptr && !destDir_.empty() && !DirExists(destDir_)) {
            ForceDirs(destDir_);
        }
        if (resorted) {
            ApplySortMode(TZipSortMode::ByNone); // volumes are visited in order
        }
        CollectEntryStarts();
        TEntryDecoder& decoder = run_->Decoder;
        decoder.TotalBytes = 0;
        decoder.BytesDone = 0;
        const int numFiles = SelectEntries();
        bool stopNow = false;
        if (OnStartUnZipInfo) {
            OnStartUnZipInfo(*this, numFiles, decoder.TotalBytes, stopNow);
        }
        if (numFiles > 0 && !stopNow && ParallelRunAllowed(numFiles)) {
            ExtractInParallel(numFiles);
        } else if (numFiles > 0 && !stopNow) {
            for (int i = 0; i < EntryCount(); ++i) {
                const bool taken = DoAll || sortedEntries_->Entry(i)->Selected;
                if (taken && !run_->Excluded[static_cast<std::size_t>(i)]) {
                    ExtractEntry(i);
                    while (run_->Retry) {
                        ExtractEntry(i);
                    }
                }
            }
        }
    } catch (...) {
        finish();
        throw;
    }
    return finish();
}

TDecodeHooks TUnZip::MakeDecodeHooks() {
    TDecodeHooks hooks;
    if (DoProcessMessages && ProcessMessages) {
        hooks.ProcessMessages = ProcessMessages;
    }
    if (OnFilePercentDone) {
        hooks.OnFilePercentDone = [this](int percent) { OnFilePercentDone(*this, percent); };
    }
    if (OnTotalPercentDone) {
        hooks.OnTotalPercentDone = [this](int percent) { OnTotalPercentDone(*this, percent); };
    }
    hooks.SetErrorMessage = [this](const std::string& text) { ErrorMessage = text; };
    hooks.MessageBoxes = MessageBoxes;
    return hooks;
}

void TUnZip::CollectEntryStarts() {
    const bool multiVolume = EndRecord.ThisDisk != 0;
    run_->EntryStarts.reserve(static_cast<std::size_t>(EntryCount()));
    for (int i = 0; i < EntryCount(); ++i) {
        run_->EntryStarts.push_back(EntryStart(multiVolume, *entries_->Entry(i)));
    }
    std::sort(run_->EntryStarts.begin(), run_->EntryStarts.end());
}

namespace {

/// The masks as they are matched: "/" as "\\", in the text MatchText makes.
std::vector<std::string> MatchMasks(const std::vector<std::string>& lines) {
    std::vector<std::string> masks;
    for (const std::string& mask : lines) {
        std::string m = mask;
        std::replace(m.begin(), m.end(), '/', '\\');
        masks.push_back(MatchText(m));
    }
    return masks;
}

bool MatchesAny(const std::vector<std::string>& masks, const std::string& name) {
    return std::any_of(masks.begin(), masks.end(), [&](const std::string& mask) {
        return MatchPattern(mask, name) == kMatchValid;
    });
}

} // namespace

int TUnZip::SelectEntries() {
    int numFiles = EntryCount();
    const std::vector<std::string> masks = MatchMasks(FilesList);
    const std::vector<std::string> excluded = MatchMasks(ExcludeList);
    run_->Excluded.assign(static_cast<std::size_t>(EntryCount()), false);
    for (int i = 0; i < EntryCount(); ++i) {
        TZipHeaderInfo& entry = *sortedEntries_->Entry(i);
        entry.Selected = DoAll;
        // An entry without any name is no folder: it is counted and processed like a
        // file, so that its run reports it.
        const bool folder = entry.FileName().empty() && !entry.Directory().empty();
        if (folder && !RecreateDirs) {
            entry.Selected = false;
            --numFiles;
            continue;
        }
        const std::string name = MatchText(entry.PathName());
        if (!excluded.empty() && MatchesAny(excluded, name)) {
            entry.Selected = false;
            run_->Excluded[static_cast<std::size_t>(i)] = true;
            --numFiles;
            continue;
        }
        entry.Selected = entry.Selected || MatchesAny(masks, name);
        if (entry.Selected && !folder) {
            run_->Decoder.TotalBytes = AddedSize(run_->Decoder.TotalBytes, entry.UncompressedSize);
        } else {
            --numFiles;
        }
    }
    return numFiles;
}

void TUnZip::NotifySkip(int index, TSkipReason reason, const std::string& name) {
    bool retry = false;
    if (OnSkippingFile) {
        OnSkippingFile(*this, reason, name, index, retry);
    }
}

void TUnZip::SkipFile(int index, TSkipReason reason, const std::string& name) {
    NotifySkip(index, reason, name);
    SkipEntry();
}

void TUnZip::ReportFailure(int index, TEntryFailure failure, const std::string& path) {
    if (OnEntryFailed) {
        OnEntryFailed(*this, failure, path, index);
    }
}

bool TUnZip::PasswordAccepted(int index, std::int64_t dataStart, std::size_t bytesFrom) {
    TStream& archive = *archiveStream_;
    const std::uint8_t expected =
        ExpectedCheckByte(CurrentHeader.BitFlags, CurrentHeader.DosDateTime, CurrentHeader.Crc32);
    for (;;) {
        // An entry too short for its encryption header cannot have a right password.
        std::uint8_t header[kEncryptionHeaderSize];
        archive.Seek(dataStart, kFromBeginning);
        if (CurrentHeader.CompressedSize < kEncryptionHeaderSize ||
            archive.Read(header, sizeof header) != sizeof header) {
            break;
        }
        // Every byte string of the password before another password; the keys stay as the
        // accepted one left them.
        const std::vector<std::string> candidates = EntryPasswordBytes(Password, CurrentHeader);
        for (std::size_t k = bytesFrom; k < candidates.size(); ++k) {
            if (cipher_.DecryptHeader(candidates[k], header) == expected) {
                run_->PasswordBytesUsed = k;
                CurrentHeader.CompressedSize -= kEncryptionHeaderSize;
                return true;
            }
        }
        if (!OnBadPassword) {
            break;
        }
        std::string newPassword = Password;
        OnBadPassword(*this, index, newPassword);
        if (newPassword == Password) {
            break;
        }
        Password = newPassword;
        bytesFrom = 0;
    }
    SkipFile(index, TSkipReason::srBadPassword, CurrentHeader.PathName());
    return false;
}

bool TUnZip::OverwriteAllowed(int index, std::string& path) {
    if (OverwriteMode == TUZOverwriteMode::Always || !PathExists(path)) {
        return true;
    }
    const auto fileDate = [&] {
        const auto time = fileSystem_->FileTime(path);
        return time ? DosDateTimeToDate(PackDosDateTime(*time)) : 0.0;
    };
    const double entryDate = DosDateTimeToDate(CurrentHeader.DosDateTime);
    switch (OverwriteMode) {
    case TUZOverwriteMode::Prompt: {
        if (OnPromptForOverwrite) {
            bool overwrite = false;
            OnPromptForOverwrite(*this, overwrite, index, path);
            return overwrite;
        }
        ErrorMessage = kTextFileExists;
        const std::string text = kTextReplaceFile + EntryFileName(index) + "?";
        return ShowMessageBox(text, ErrorMessage, kMbYesNo) == kIdYes;
    }
    case TUZOverwriteMode::Never:
        return false;
    case TUZOverwriteMode::ifNewer:
        return entryDate > fileDate();
    case TUZOverwriteMode::ifOlder:
        return entryDate < fileDate();
    case TUZOverwriteMode::Always:
        break;
    }
    return true;
}

// One entry: locate its data, place it, check the password, open the output, decode, settle.
// An entry without a file name is a folder, which is only made.
void TUnZip::ExtractEntry(int index) {
    const std::size_t passwordBytesFrom = std::exchange(run_->PasswordBytesFrom, 0);
    run_->Retry = false;
    CurrentHeader.Assign(*sortedEntries_->Entry(index));
    if (CurrentHeader.PathName().empty()) {
        SkipFile(index, TSkipReason::srEmptyName, "");
        return;
    }
    const bool isFile = !CurrentHeader.FileName().empty();
    const std::int64_t dataStart = isFile ? LocateData() : 0;
    if (Sink != nullptr) {
        ExtractToSink(index, isFile, dataStart, passwordBytesFrom);
        return;
    }
    const TEntryPlacement placement = PlaceEntry(
        destDir_, rootDir_, RecreateDirs, CurrentHeader.Directory(), CurrentHeader.FileName());
    std::string path = placement.Folder + CurrentHeader.FileName();
    if (!placement.Safe) {
        SkipFile(index, TSkipReason::srCreateError, path);
        return;
    }
    if (!isFile) {
        if (RecreateDirs && !DirExists(placement.Folder)) {
            ForceDirs(placement.Folder);
        }
        ++run_->Count;
        return;
    }

    bool skip = false;
    if (OnStartUnZip) {
        OnStartUnZip(*this, index, path, skip);
    }
    if (skip) {
        return;
    }
    const std::string folder = ExtractFileDir(path);
    const bool folderKnown = !folder.empty() && folder == run_->LastFolder;
    if (!folder.empty() && !folderKnown && !DirExists(folder)) {
        ForceDirs(folder);
    }
    const bool encrypted = CurrentHeader.IsEncrypted();
    if (encrypted && !PasswordAccepted(index, dataStart, passwordBytesFrom)) {
        return;
    }
    if (!OverwriteAllowed(index, path)) {
        SkipFile(index, TSkipReason::srNoOverwrite, path);
        return;
    }
    std::unique_ptr<TBufferedFileStream> output = OpenOutput(path, folder, folderKnown);
    run_->OutputCreatedAnew = output && output->File().CreatedAnew();
    if (!output) {
        run_->LastFolder.clear();
        SkipFile(index, TSkipReason::srCreateError, path);
        return;
    }
    run_->LastFolder = folder;
    const TDecodeEnd end =
        DecodeToFile(std::move(output), path, dataStart + (encrypted ? kEncryptionHeaderSize : 0));
    SettleEntry(index, path, end);
}

// The same steps into the sink: nothing is placed, asked about or made on disk, and a folder
// entry is only counted.
void TUnZip::ExtractToSink(int index, bool isFile, std::int64_t dataStart,
                           std::size_t passwordBytesFrom) {
    if (!isFile) {
        ++run_->Count;
        return;
    }
    std::string name = CurrentHeader.PathName();
    bool skip = false;
    if (OnStartUnZip) {
        OnStartUnZip(*this, index, name, skip);
    }
    if (skip) {
        return;
    }
    const bool encrypted = CurrentHeader.IsEncrypted();
    if (encrypted && !PasswordAccepted(index, dataStart, passwordBytesFrom)) {
        return;
    }
    TSinkOutput output(*Sink);
    const TDecodeEnd end = Decode(output, dataStart + (encrypted ? kEncryptionHeaderSize : 0));
    SettleEntry(index, name, end);
}

std::int64_t TUnZip::LocateData() {
    const bool multiVolume = EndRecord.ThisDisk != 0;
    if (multiVolume && CurrentHeader.DiskNumberStart != static_cast<std::uint32_t>(CurrentDisk)) {
        RequestDisk(static_cast<int>(CurrentHeader.DiskNumberStart) + 1);
    }
    archiveStream_->Seek(static_cast<std::int64_t>(CurrentHeader.LocalHeaderOffset),
                         kFromBeginning);
    std::uint8_t header[kLocalHeaderSize] = {};
    archiveStream_->Read(header, sizeof header); // signature not checked
    const THeaderTail tail = LocalHeaderTail(header);
    CheckOwnBytes(run_->EntryStarts, EntryStart(multiVolume, CurrentHeader),
                  kLocalHeaderSize + tail.Size() + CurrentHeader.CompressedSize);
    // Read inside the block just read, so the data that follows comes from it.
    archiveStream_->Skip(tail.NameLength);
    ReadRawName(*archiveStream_, tail.ExtraLength, run_->LocalExtra);
    return static_cast<std::int64_t>(CurrentHeader.LocalHeaderOffset) + kLocalHeaderSize +
           static_cast<std::int64_t>(tail.Size());
}

std::unique_ptr<TBufferedFileStream>
TUnZip::OpenOutput(const std::string& path, const std::string& folder, bool folderKnown) {
    std::unique_ptr<TBufferedFileStream> output;
    const auto create = [&] {
        output = std::make_unique<TBufferedFileStream>(path, TFileMode::Create, FlushFilesOnClose,
                                                       FileBufferSize);
    };
    try {
        create();
    } catch (const EFCreateError&) {
        // A read-only file in the way is replaced only when the caller allows it.
        const auto attributes = fileSystem_->Attributes(path);
        if (ReplaceReadOnly && attributes && (*attributes & kAttrReadOnly) != 0) {
            fileSystem_->SetAttributes(path, *attributes & ~kAttrReadOnly);
            try {
                create();
            } catch (const std::exception&) {
            }
        }
    } catch (const std::exception&) {
    }
    // The folder of the entry before may have gone meanwhile.
    if (!output && folderKnown && !DirExists(folder)) {
        ForceDirs(folder);
        try {
            create();
        } catch (const std::exception&) {
        }
    }
    return output;
}

TUnZip::TDecodeEnd TUnZip::Decode(TDecodedOutput& output, std::int64_t dataStart) {
    TEntryDecoder& decoder = run_->Decoder;
    try {
        TArchiveInput input(*this);
        TEntryDecodeParams params;
        params.Input = &input;
        params.Output = &output;
        // Sizes from ZIP64 fields are at most 2^63 - 1 (Zip64.h).
        params.CompressedSize = static_cast<std::int64_t>(CurrentHeader.CompressedSize);
        params.UncompressedSize = static_cast<std::int64_t>(CurrentHeader.UncompressedSize);
        params.BitFlags = CurrentHeader.BitFlags;
        params.Cipher = CurrentHeader.IsEncrypted() ? &cipher_ : nullptr;
        archiveStream_->Seek(dataStart, kFromBeginning);
        decoder.StartEntry(params);
        if (!decoder.DecodeEntry(CurrentHeader.CompressionMethod)) {
            ErrorMessage = kTextUnknownMethod;
            ShowMessageBox(ErrorMessage, kCaptionZipError, kMbOk);
        }
    } catch (const EBiggerThanUncompressed&) {
        return TDecodeEnd::TooLong;
    } catch (const EFatalUnzipError&) {
        return TDecodeEnd::PrematureEnd;
    }
    return TDecodeEnd::Decoded;
}

TUnZip::TDecodeEnd TUnZip::DecodeToFile(std::unique_ptr<TBufferedFileStream> output,
                                        const std::string& path, std::int64_t dataStart) {
    try {
        TFileOutput fileOutput(*output);
        return Decode(fileOutput, dataStart);
    } catch (...) {
        // An incomplete file must never look like an extracted one.
        output.reset();
        DeleteOutput(path);
        throw;
    }
}

void TUnZip::SettleEntry(int index, const std::string& path, TDecodeEnd end) {
    if (end == TDecodeEnd::PrematureEnd) {
        // The archive ends inside this entry's data. The entries after it have data of their
        // own, elsewhere or in the part that is missing, and each gets its own verdict.
        DeleteOutput(path);
        ReportFailure(index, TEntryFailure::efPrematureEnd, path);
        return;
    }
    const bool completed = end == TDecodeEnd::Decoded;
    if (completed && Sink == nullptr) {
        SetExtractedFileTime(*fileSystem_, path, CurrentHeader.DosDateTime,
                             CurrentHeader.ExtraField, run_->LocalExtra);
        if (RetainAttributes) {
            SetExtractedFileAttributes(*fileSystem_, path, CurrentHeader.VersionMadeBy,
                                       CurrentHeader.ExternalAttributes,
                                       run_->OutputCreatedAnew ? run_->NewFileBits : std::nullopt);
        }
    }
    // A matching CRC-32 alone is not enough: an entry cut at some point, or padded out,
    // can have the CRC-32 the archive stores.
    const TEntryDecoder& decoder = run_->Decoder;
    const bool decoded = completed && decoder.EntryFinished();
    const bool wholeSize =
        static_cast<std::uint64_t>(decoder.BytesWritten()) == CurrentHeader.UncompressedSize;
    const std::uint32_t crc = decoder.FinalCrc();
    if (crc == CurrentHeader.Crc32 && decoded && wholeSize) {
        if (OnEndUnZip) {
            OnEndUnZip(*this, index, path);
        }
        ++run_->Count;
        return;
    }
    if (crc == CurrentHeader.Crc32) {
        DeleteOutput(path);
        ReportFailure(index, decoded ? TEntryFailure::efSizeMismatch : TEntryFailure::efIncomplete,
                      path);
        return;
    }
    if (CurrentHeader.IsEncrypted()) {
        // A wrong password that passed the check byte (one in 256 does) shows here.
        AskForRetry(index);
    } else if (OnBadCRC) {
        OnBadCRC(*this, crc, CurrentHeader.Crc32, index);
    }
    DeleteOutput(path);
}

void TUnZip::AskForRetry(int index) {
    // The password's other byte strings come before another password.
    const std::size_t nextBytes = run_->PasswordBytesUsed + 1;
    if (nextBytes < EntryPasswordBytes(Password, CurrentHeader).size()) {
        run_->PasswordBytesFrom = nextBytes;
        run_->Retry = true;
        return;
    }
    if (OnBadPassword) {
        std::string newPassword = Password;
        OnBadPassword(*this, index, newPassword);
        if (newPassword != Password) {
            Password = newPassword;
            run_->Retry = true;
        }
    }
    if (!run_->Retry) {
        NotifySkip(index, TSkipReason::srBadPassword, CurrentHeader.PathName());
    }
}

} // namespace zorvi
