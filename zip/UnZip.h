// TUnZip, the extraction component: it reads the directory of one archive
// (ZipName) into a sorted entry list and extracts the selected entries into DestDir
// with their folders, dates and attributes, checking each entry's CRC-32.
//
// Properties and events carry the names they have always had. Events are
// std::function members; an empty one is an unassigned handler and is not called.
// Parameters passed by reference are the ones a handler may change.
//
// The component reaches the platform only through TFileSystemShim (attributes,
// dates, drives), TMessageBoxes (the boxes it shows; none installed: every box is
// answered with its negative button - No, Cancel - or OK when that is the only one)
// and ProcessMessages (the window message pump; none installed: no pumping).
//
// Paths are UTF-8 texts; the component joins them with "\" and the file system
// shim turns them into paths of the running system.
#pragma once

#include "common/MessageBox.h"
#include "zip/BufferedStream.h"
#include "zip/FileSystemShim.h"
#include "zip/ZipRecords.h"
#include "zip/decoders/EntryDecoder.h"
#include "zip/decoders/ZipCipher.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace zorvi {

enum class TUZOverwriteMode { Prompt, Always, Never, ifNewer, ifOlder };

/// Where ExtractFiles sends the entries' data instead of files (TUnZip::Sink).
class TEntrySink {
public:
    virtual ~TEntrySink() = default;
    /// Takes the next `count` decoded bytes of CurrentHeader's entry; returns how many it
    /// took. Fewer is a failed write, which ends the run (ECantWriteUCF).
    virtual std::size_t TakeDecoded(const std::uint8_t* data, std::size_t count) = 0;
};
enum class TIncompleteZipMode { izAssumeMulti, izAssumeBad, izAssumeNotAZip };
/// srEmptyName: the entry has no name at all, so it is neither a file nor a folder.
enum class TSkipReason {
    srBadPassword,
    srNoOverwrite,
    srFileOpenError,
    srCreateError,
    srEmptyName
};
/// Why an entry whose CRC-32 matched (or that never got as far) is still not extracted.
enum class TEntryFailure {
    efPrematureEnd, // the archive ended inside the entry's data; the run goes on
    efIncomplete,   // the decoder did not reach the regular end of the data: bad data, data
                    // longer than the recorded size, or a method without a decoder
    efSizeMismatch, // the decoded size differs from the recorded uncompressed size
};

// Fixed texts of the engine's message boxes.
inline constexpr const char* kTextUnknownMethod = "Неизвестный метод архивации";
inline constexpr const char* kCaptionZipError = "Ошибка Zip";
inline constexpr const char* kTextFileExists = "Файл уже существует";
inline constexpr const char* kTextReplaceFile = "Заменить существующий файл ";
inline constexpr const char* kTextInsertDisk = "Пожалуйста вставьте диск ";
inline constexpr const char* kTextOfMultiVolume = " многотомного архива.";

class TUnZip {
public:
    /// Version number of the component; writing ThisVersion keeps it.
    static constexpr int kThisVersion = 222;
    /// First offset the recovery scan looks at in a self-extracting archive (.exe):
    /// the extractor program in front of the archive is skipped.
    static constexpr std::uint32_t kSfxScanStart = 14000;
    /// The recovery scan lets the window messages through every this many bytes.
    static constexpr std::uint32_t kScanPumpInterval = 10240;

    explicit TUnZip(TFileSystemShim& fileSystem = SystemFileSystem());
    virtual ~TUnZip();
    TUnZip(const TUnZip&) = delete;
    TUnZip& operator=(const TUnZip&) = delete;

    // ---- Properties -------------------------------------------------------------
    int ThisVersion() const { return kThisVersion; }
    void SetThisVersion(int) {}
    const std::string& ZipName() const { return zipName_; }
    /// A name that differs other than in letter case drops the directory read so far.
    virtual void SetZipName(const std::string& name);
    const std::string& DestDir() const { return destDir_; }
    /// One trailing backslash is removed.
    void SetDestDir(const std::string& dir);
    const std::string& RootDir() const { return rootDir_; }
    /// A non-empty folder gets a trailing backslash.
    void SetRootDir(const std::string& dir);
    /// Order of SortedEntries; writing it takes effect at the next directory read
    /// (ApplySortMode acts at once).
    TZipSortMode SortMode = TZipSortMode::ByNone;
    bool RecreateDirs = false;
    TUZOverwriteMode OverwriteMode = TUZOverwriteMode::Prompt;
    /// Masks of the entries to extract (see WildcardMatch.h); emptied by every run.
    std::vector<std::string> FilesList;
    /// Masks of entries never extracted, whatever FilesList and DoAll select; an entry
    /// they name is not counted in NumFiles or TotalBytes. Emptied by every run.
    std::vector<std::string> ExcludeList;
    /// Null: the entries go to files. Otherwise ExtractFiles decodes each selected file
    /// entry into the sink and checks it as it would a file, and makes nothing on disk: no
    /// folders, no files, no overwrite question, no dates or attributes. Events name the
    /// entry by its name in the archive. Testing an archive, or piping its data, uses it.
    TEntrySink* Sink = nullptr;
    bool DoAll = false;
    TIncompleteZipMode IncompleteZipMode = TIncompleteZipMode::izAssumeMulti;
    bool KeepZipOpen = false;
    bool DoProcessMessages = true;
    bool RetainAttributes = true;
    bool ReplaceReadOnly = false;
    bool FlushFilesOnClose = false;
    /// Threads that extract entries side by side: each creates, decodes and settles whole
    /// entries of its own, while the calling thread reads the directory and the local
    /// headers, makes the folders, decides what needs deciding and raises every event, in
    /// the order a one-thread run raises them (ParallelExtract.cpp tells which entries and
    /// runs are still extracted on the calling thread alone). 1, the default: everything
    /// on the calling thread. Above 1 the file-system shim is called from the workers too,
    /// and must allow calls from several threads at once (the system's does).
    int WorkerCount = 1;

    // ---- Events -------------------------------------------------------------------
    std::function<void(TUnZip& sender, int numFiles, std::int64_t totalBytes, bool& stopNow)>
        OnStartUnZipInfo;
    std::function<void(TUnZip& sender, int percent)> OnFilePercentDone;
    std::function<void(TUnZip& sender, int percent)> OnTotalPercentDone;
    std::function<void(TUnZip& sender, int fileIndex, std::string& fName, bool& skip)> OnStartUnZip;
    std::function<void(TUnZip& sender, int fileIndex, const std::string& fName)> OnEndUnZip;
    std::function<void(TUnZip& sender, bool& overWriteIt, int fileIndex, std::string& fName)>
        OnPromptForOverwrite;
    std::function<void(TUnZip& sender, TSkipReason reason, const std::string& fName, int fileIndex,
                       bool& retry)>
        OnSkippingFile;
    std::function<void(TUnZip& sender, int fileIndex, std::string& newPassword)> OnBadPassword;
    std::function<void(TUnZip& sender, std::uint32_t calcCrc, std::uint32_t storedCrc,
                       int fileIndex)>
        OnBadCRC;
    /// An entry is extracted only when its CRC-32, its size and its decoder's end agree; a
    /// CRC-32 mismatch is OnBadCRC, the rest comes here. The file is deleted either way.
    std::function<void(TUnZip& sender, TEntryFailure failure, const std::string& fName,
                       int fileIndex)>
        OnEntryFailed;
    /// The directory could not be used as the archive stores it and was rebuilt from the
    /// local headers in front of the entries' data (the recovery scan).
    std::function<void(TUnZip& sender)> OnDirectoryRebuilt;
    /// A central header of the archive whose entry the rebuilt directory does not hold: it
    /// names no local header the recovery scan found, or one an earlier header already took.
    std::function<void(TUnZip& sender, const std::string& fName)> OnEntryDropped;
    /// After a rebuild, the number of entries the end record promises beyond those the
    /// rebuilt directory holds and OnEntryDropped named: entries lost without a name (their
    /// central headers could not be read, and the scan did not find them).
    std::function<void(TUnZip& sender, std::uint64_t missing)> OnEntriesMissing;
    std::function<void(TUnZip& sender, TIncompleteZipMode& incompleteMode)> OnInCompleteZip;
    /// Installed by the constructor (see DefaultGetNextDisk); an empty name cancels.
    std::function<void(TUnZip& sender, int nextDisk, std::string& fName)> OnGetNextDisk;
    std::function<void(TUnZip& sender, int fileCount)> OnUnZipComplete;
    /// Extraction to memory buffers; extraction to files never raises it.
    std::function<void(TUnZip& sender, char*& buffer, const std::string& fName, int amountUsed,
                       int bufferNum, bool& quit)>
        OnGetNextBuffer;

    // ---- Platform seams -----------------------------------------------------------
    TMessageBoxes* MessageBoxes = nullptr;
    std::function<void()> ProcessMessages;

    // ---- State --------------------------------------------------------------------
    /// The text used for encrypted entries, tried as its Windows Cyrillic bytes and as its
    /// UTF-8 bytes (PasswordBytes.h).
    std::string Password;
    /// The text of the last message box the engine showed.
    std::string ErrorMessage;
    TEndCentral EndRecord;
    TZipHeaderInfo CurrentHeader;
    /// Date of the archive file when its directory was read (0: none read).
    double ArchiveDate = 0.0;
    bool Rebuilt = false;
    int CurrentDisk = 0;
    int DiskCount = 1;
    std::size_t FileBufferSize = 8192;

    /// 0 single volume, 1 volumes on removable disks, 2 split files.
    virtual int MultiMode() const { return multiMode_; }
    virtual void SetMultiMode(int mode) { multiMode_ = mode; }
    virtual bool CheckDiskLabels() const { return checkDiskLabels_; }
    virtual void SetCheckDiskLabels(bool check) { checkDiskLabels_ = check; }

    /// The entries in archive order (owning); null when no directory has been read.
    TSortedZip* Entries() const { return entries_.get(); }
    /// The entries in SortMode order; the same list as Entries() for ByNone.
    TSortedZip* SortedEntries() const { return sortedEntries_; }
    TBufferedFileStream* ArchiveStream() const { return archiveStream_.get(); }
    /// Bytes of the selected entries and bytes written in the running extraction.
    std::int64_t TotalBytes() const;
    std::int64_t BytesDone() const;

    // ---- Directory (ZipDirectory.cpp, ZipRecovery.cpp, ZipVolumes.cpp) ---------------
    void ReadZipDirectory();
    int EntryCount() const;
    void OpenArchive();
    void CloseArchive();
    void ResetArchive();
    void ApplySortMode(TZipSortMode mode);
    std::string EntryFileName(int index) const;
    std::string EntryComment(int index);
    void SetEntryComment(int index, const std::string& comment);
    std::string ArchiveComment();
    void SetArchiveComment(const std::string& comment);

    /// Fills EndRecord from the last 65,557 bytes of the stream; false when absent.
    bool FindEndCentral(TStream& stream);
    /// Reads the central header at the stream's position; on failure the position is
    /// restored. With allowNextVolume a header cut at a volume's end continues on
    /// the next volume, and `stream` then names the new volume's stream.
    bool ReadCentralHeader(TStream*& stream, TZipHeaderInfo& entry, bool allowNextVolume);
    /// Reads the local header at the stream's position (recovery scan only).
    bool ReadLocalHeader(TStream& stream, TZipHeaderInfo& entry);
    /// Rebuilds the entry list from the local headers; at most once per archive.
    bool ScanLocalHeaders();
    void ReadCentralDirectory();
    /// Opens volume n (1-based) through OnGetNextDisk; EUserCanceled when refused.
    void RequestDisk(int n);
    /// The next-volume handler installed by the constructor.
    void DefaultGetNextDisk(int nextDisk, std::string& fName);

    // ---- Extraction (ZipExtract.cpp) --------------------------------------------------
    /// Extracts the selected entries; returns the number of entries completed: written
    /// whole, with the recorded size and CRC-32. An entry the archive ends inside fails
    /// alone (OnEntryFailed); entries that share bytes refuse the archive (EOverlappedEntries).
    int ExtractFiles();
    /// The folder CurrentHeader is extracted into.
    std::string EntryDestDir() const;

protected:
    /// Shows a box through MessageBoxes, or answers as documented above.
    int ShowMessageBox(const std::string& text, const std::string& caption, unsigned style);
    void PumpMessages();

private:
    class TArchiveInput;
    class TFileOutput;
    class TSinkOutput;
    struct TRunState;
    class TParallelRun;

    void FreeEntries();
    void OpenArchiveStream(const std::string& path);
    std::optional<double> FileDateValue(const std::string& path);
    std::string LoadText(TStream& stream, std::uint64_t offset, std::size_t skip,
                         std::size_t length);
    void CheckEntryIndex(int index) const;
    /// Raises OnDirectoryRebuilt, then OnEntryDropped for each name of `unplaced` (central
    /// headers the rebuilt list had no entry for) that no entry of the list has, then
    /// OnEntriesMissing for what is left of the `promised` count.
    void ReportRebuild(const std::vector<std::string>& unplaced, std::uint64_t promised);
    /// Reads `length` bytes of a header's name (or extra block) into `raw`, as many as
    /// there are; true when all were there.
    static bool ReadRawName(TStream& stream, std::size_t length, std::string& raw);

    // The steps of ReadCentralDirectory (ZipDirectory.cpp).
    enum class TDirectorySource { None, Archive, ZfcCopy };
    enum class THeadersRead { All, Unreadable, SharedLocalHeader };
    TDirectorySource FindDirectory();
    /// The caller's choice (OnInCompleteZip) for an archive without an end record: raise,
    /// or rebuild the list from the local headers.
    void ApplyMissingDirectoryPolicy();
    /// Takes the disk and volume facts from the end record and positions the stream it
    /// returns at the first central header.
    TStream* EnterDirectory(TDirectorySource source);
    /// Where the central directory of a single-volume archive ends, by its recorded size
    /// (0 when there is none to go by).
    std::uint64_t DirectoryEnd(TDirectorySource source) const;
    /// `headerCount` central headers, then those that follow up to `directoryEnd`.
    THeadersRead ReadCentralHeaders(TStream*& stream, std::uint64_t headerCount,
                                    std::uint64_t directoryEnd);
    /// Central headers after a rebuild: each adds its fields to the scanned entry of its
    /// local header; returns the names of those that found none.
    std::vector<std::string> EnrichRebuiltEntries(TStream& stream, std::uint64_t headerCount);
    /// The archive comment of a multi-volume archive, the disk count, the sorted view.
    void FinishDirectory(TDirectorySource source);
    void RebuildOrRaise();
    [[noreturn]] void RaiseBadArchive();

    int ExtractSelected();
    /// Whether the selected entries go to the workers (ParallelExtract.cpp).
    bool ParallelRunAllowed(int numFiles) const;
    /// The run of ExtractSelected with workers: no more of them than files.
    void ExtractInParallel(int numFiles);
    TDecodeHooks MakeDecodeHooks();
    /// Fills the run's EntryStarts (see CheckOwnBytes in ZipExtract.cpp).
    void CollectEntryStarts();
    /// Marks the entries FilesList and DoAll select, sums their bytes into the decoder's
    /// TotalBytes and returns how many files there are to extract.
    int SelectEntries();
    void NotifySkip(int index, TSkipReason reason, const std::string& name);
    /// NotifySkip, and the entry's bytes leave the run's total.
    void SkipFile(int index, TSkipReason reason, const std::string& name);
    void ReportFailure(int index, TEntryFailure failure, const std::string& path);
    void SkipEntry();

    // The steps of ExtractEntry (ZipExtract.cpp).
    enum class TDecodeEnd { Decoded, TooLong, PrematureEnd };
    void ExtractEntry(int index);
    /// Reads CurrentHeader's local header (asking for its volume first) and checks that the
    /// entry's bytes are its own; returns where its data starts, encryption header included.
    std::int64_t LocateData();
    /// Reads the encryption header at `dataStart` and checks the password: its byte strings
    /// from `bytesFrom` on (PasswordBytes.h), then others from OnBadPassword; false when the
    /// entry is skipped.
    bool PasswordAccepted(int index, std::int64_t dataStart, std::size_t bytesFrom);
    bool OverwriteAllowed(int index, std::string& path);
    /// Creates the file, replacing a read-only one when allowed and making a folder that
    /// has gone; null when it cannot be created.
    std::unique_ptr<TBufferedFileStream> OpenOutput(const std::string& path,
                                                    const std::string& folder, bool folderKnown);
    /// The steps of ExtractEntry for a run into Sink (`passwordBytesFrom` as for
    /// PasswordAccepted).
    void ExtractToSink(int index, bool isFile, std::int64_t dataStart,
                       std::size_t passwordBytesFrom);
    /// Decodes the data starting at `dataStart` into `output`; an entry too long and the
    /// premature end of the archive are its result, what else leaves the decoder passes on.
    TDecodeEnd Decode(TDecodedOutput& output, std::int64_t dataStart);
    /// Decode into the file `output` and close it. What else leaves the decoder deletes the
    /// file and passes on.
    TDecodeEnd DecodeToFile(std::unique_ptr<TBufferedFileStream> output, const std::string& path,
                            std::int64_t dataStart);
    /// The entry's verdict: kept with its date and attributes when its CRC-32, size and
    /// decoder's end agree, else deleted and reported.
    void SettleEntry(int index, const std::string& path, TDecodeEnd end);
    /// A CRC-32 mismatch of an encrypted entry: the password's next byte strings, or a new
    /// password from OnBadPassword, repeat it.
    void AskForRetry(int index);
    bool ForceDirs(const std::string& path);
    /// Removes a rejected file (nothing in a run into a sink).
    void DeleteOutput(const std::string& path);

    TFileSystemShim* fileSystem_;
    std::string zipName_;
    std::string destDir_;
    std::string rootDir_;
    std::unique_ptr<TSortedZip> entries_;
    std::unique_ptr<TSortedZip> sortedView_; // when SortMode is not ByNone
    TSortedZip* sortedEntries_ = nullptr;
    std::unique_ptr<TBufferedFileStream> archiveStream_;
    std::unique_ptr<TBufferedFileStream> zfcStream_; // the ".zfc" copy, while read
    std::string lastVolumeName_;                     // the volume holding the end record
    std::set<std::string> missingVolumes_;           // split volumes asked for and absent
    int multiMode_ = 0;
    bool checkDiskLabels_ = true;
    TZipCipher cipher_;
    std::unique_ptr<TRunState> run_; // while ExtractFiles runs
};

} // namespace zorvi
