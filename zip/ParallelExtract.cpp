// The parallel run of ExtractFiles (WorkerCount above 1): the calling thread walks the
// selected entries in the order of a one-thread run, decides each one (its local header
// read and checked, its path placed, its folder made) and hands it to the workers
// (EntryWorkers.h); meanwhile it replays, entry after entry, what the workers recorded as the
// component's events. Everything a caller can see (events, boxes, messages pumped, the
// counts, the files) is what a one-thread run gives, in the same order.
//
// What the calling thread extracts itself, in its turn, the entries before it delivered
// first and those after it not yet handed over (ExtractEntry, exactly as a one-thread run):
//  - an encrypted entry: its password may need asking, and a new password from its retry
//    applies to the entries after it;
//  - an entry without a name, or whose path climbs out of the destination: its skip event;
//  - an entry whose path could name the same file as another (SameFileKey.h gives none);
//  - an entry a worker could not create its file for: one that exists already (so the
//    overwrite mode decides, with a prompt perhaps), or any other failure (the skip event).
//    The worker creates files only anew, so an entry never replaces a file ahead of its turn:
//    when the run stops early, what the files were before it stays.
// An entry whose file, or a folder above its file, is the file of an entry still with the
// workers waits until that entry is delivered: the second of two entries of the same name
// comes second, and a folder is never made where a file was meant to be.
//
// A whole run is one-thread when it would otherwise change what a caller sees: an archive of
// several volumes (volumes are asked for in order), a caller with OnStartUnZip, which
// decides an entry's name before the entry starts, while the entries before it would still
// have events to come, and a run into a Sink (testing, or the data piped out: one stream,
// in order).
//
// When the run ends early (an exception from a handler, from the archive, from a worker), the
// calling thread stops the workers and removes the files of the entries it has not delivered,
// so the run leaves what a one-thread run stopped at the same place leaves.
#include "zip/EntryPath.h"
#include "zip/EntryWorkers.h"
#include "zip/SameFileKey.h"
#include "zip/UnZip.h"
#include "zip/ZipRunState.h"

#include <algorithm>
#include <deque>
#include <filesystem>
#include <set>
#include <system_error>

namespace zorvi {
namespace {

/// The compressed bytes of an entry of at most this size come with its job, read by the
/// calling thread from the block that brought its local header; those of a larger entry the
/// worker reads itself.
constexpr std::uint32_t kHandOverLimit = 64 * 1024;

/// Entries decided ahead of the one whose events are being replayed, per worker. Enough to
/// keep the workers busy behind a long entry; with the bytes handed over, at most
/// 32 × 64 KB = 2 MB per worker.
constexpr std::size_t kJobsAheadPerWorker = 32;

namespace fs = std::filesystem;

bool DirExists(const fs::path& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

bool DirExists(const std::string& path) {
    return DirExists(ToFsPath(path));
}

} // namespace

class TUnZip::TParallelRun {
public:
    TParallelRun(TUnZip& owner, int workers);
    void Run();

private:
    /// An entry decided and not yet delivered: a file with the workers, or a folder (made
    /// already, only counted at its turn).
    struct TPending {
        int Index = 0;
        std::shared_ptr<TEntryJob> Job; // null for a folder
        std::string Key;
        // The folders made for the entry, the outermost first: a one-thread run stopped
        // before the entry would not have made them.
        std::vector<std::filesystem::path> FoldersMade;
    };

    TWorkerSettings Settings() const;
    /// Decides entry `index` and hands it over; false when the calling thread is to extract
    /// it itself.
    bool HandOver(int index);
    std::int64_t LocateData();
    /// True when the file `key` names, or a folder above it, is the file of a pending entry.
    bool InTheWay(const std::string& key) const;
    void DeliverFront();
    void DeliverAll();
    /// Delivers the entries at the front that need no waiting.
    void DeliverDone();
    void Replay(const std::vector<TEntryRecord>& records);
    void Settle(const TEntryJob& job);
    /// After a run that ended early: the files of the entries not delivered go.
    void RemoveUndelivered();

    TUnZip& owner_;
    std::size_t jobsAhead_;
    TEntryWorkers workers_;
    /// Makes the folder (and those above it) as ForceDirs does and returns those it made.
    std::vector<std::filesystem::path> MakeFolder(const std::string& folder);

    std::deque<TPending> pending_;
    bool delivering_ = false;                 // the front entry's events are being replayed
    std::multiset<std::string> pendingFiles_; // keys of the pending files
};

TUnZip::TParallelRun::TParallelRun(TUnZip& owner, int workers)
    : owner_(owner), jobsAhead_(kJobsAheadPerWorker * static_cast<std::size_t>(workers)),
      workers_(workers, Settings()) {}

TWorkerSettings TUnZip::TParallelRun::Settings() const {
    TWorkerSettings settings;
    settings.FileSystem = owner_.fileSystem_;
    settings.ArchivePath = owner_.zipName_;
    settings.FlushFilesOnClose = owner_.FlushFilesOnClose;
    settings.RetainAttributes = owner_.RetainAttributes;
    settings.NewFilePermissions = owner_.fileSystem_->NewFilePermissions();
    settings.Pump = owner_.DoProcessMessages && owner_.ProcessMessages;
    settings.FilePercent = static_cast<bool>(owner_.OnFilePercentDone);
    settings.TotalPercent = static_cast<bool>(owner_.OnTotalPercentDone);
    return settings;
}

void TUnZip::TParallelRun::Run() {
    try {
        TSortedZip& entries = *owner_.sortedEntries_;
        for (int i = 0; i < owner_.EntryCount(); ++i) {
            const bool taken = owner_.DoAll || entries.Entry(i)->Selected;
            if (!taken || owner_.run_->Excluded[static_cast<std::size_t>(i)]) {
                continue;
            }
            DeliverDone();
            if (!HandOver(i)) {
                DeliverAll();
                owner_.ExtractEntry(i);
                while (owner_.run_->Retry) {
                    owner_.ExtractEntry(i);
                }
            }
            // Full: the entries at the front are awaited down to half the room, so that the
            // workers find a queue, and this thread sleeps once per many entries, not per one.
            if (pending_.size() > jobsAhead_) {
                while (pending_.size() > jobsAhead_ / 2) {
                    DeliverFront();
                }
            }
        }
        DeliverAll();
    } catch (...) {
        workers_.Stop();
        RemoveUndelivered();
        throw;
    }
}

bool TUnZip::TParallelRun::HandOver(int index) {
    const TZipHeaderInfo& entry = *owner_.sortedEntries_->Entry(index);
    if (entry.PathName().empty() || entry.IsEncrypted()) {
        return false;
    }
    const bool isFile = !entry.FileName().empty();
    const TEntryPlacement placement = PlaceEntry(
        owner_.destDir_, owner_.rootDir_, owner_.RecreateDirs, entry.Directory(), entry.FileName());
    const std::string path = placement.Folder + entry.FileName();
    const std::optional<std::string> key = SameFileKey(path);
    if (!placement.Safe || !key) {
        return false;
    }
    if (InTheWay(*key)) {
        DeliverAll();
    }
    // CurrentHeader serves as the one-thread steps' scratch here, as every replay sets it
    // anew; the archive's position and the local extra block are the entry's from here on.
    owner_.CurrentHeader.Assign(entry);
    const std::int64_t dataStart = isFile ? LocateData() : 0;
    TPending pending{index, nullptr, *key, {}};
    if (!isFile) {
        if (owner_.RecreateDirs && !DirExists(placement.Folder)) {
            pending.FoldersMade = MakeFolder(placement.Folder);
        }
        pending_.push_back(std::move(pending));
        return true;
    }
    // The folder of the entry before is not looked up again (see TRunState::LastFolder).
    const std::string folder = ExtractFileDir(path);
    std::string& lastFolder = owner_.run_->LastFolder;
    if (!folder.empty() && folder != lastFolder && !DirExists(folder)) {
        pending.FoldersMade = MakeFolder(folder);
    }
    lastFolder = folder;

    auto job = std::make_shared<TEntryJob>();
    job->Index = index;
    job->Header.Assign(owner_.CurrentHeader);
    job->Path = path;
    job->LocalExtra = owner_.run_->LocalExtra;
    job->DataStart = dataStart;
    if (entry.CompressedSize <= kHandOverLimit) {
        // The archive stands at the data, mostly in the block that brought the header.
        job->Compressed.resize(static_cast<std::size_t>(entry.CompressedSize));
        job->Compressed.resize(
            owner_.archiveStream_->Read(job->Compressed.data(), job->Compressed.size()));
        job->HandedOver = true;
    }
    pending.Job = job;
    pending_.push_back(std::move(pending));
    pendingFiles_.insert(*key);
    workers_.Submit(std::move(job));
    return true;
}

std::vector<fs::path> TUnZip::TParallelRun::MakeFolder(const std::string& folder) {
    std::vector<fs::path> missing;
    fs::path start = ToFsPath(folder);
    if (!start.has_filename()) {
        start = start.parent_path(); // the folder's own name, not the empty one after its "\"
    }
    for (fs::path at = start; !at.empty() && !DirExists(at); at = at.parent_path()) {
        missing.insert(missing.begin(), at);
        if (at == at.parent_path()) {
            break;
        }
    }
    owner_.ForceDirs(folder);
    return missing;
}

std::int64_t TUnZip::TParallelRun::LocateData() {
    try {
        return owner_.LocateData();
    } catch (...) {
        // Entries that share bytes end the run where a one-thread run ends it: after the
        // entries before this one.
        DeliverAll();
        throw;
    }
}

bool TUnZip::TParallelRun::InTheWay(const std::string& key) const {
    if (pendingFiles_.empty()) {
        return false;
    }
    if (pendingFiles_.count(key) != 0) {
        return true;
    }
    const std::vector<std::string> folders = EnclosingFolderKeys(key);
    return std::any_of(folders.begin(), folders.end(),
                       [&](const std::string& folder) { return pendingFiles_.count(folder) != 0; });
}

void TUnZip::TParallelRun::DeliverDone() {
    while (!pending_.empty() &&
           (!pending_.front().Job || TEntryWorkers::IsDone(*pending_.front().Job))) {
        DeliverFront();
    }
}

void TUnZip::TParallelRun::DeliverAll() {
    while (!pending_.empty()) {
        DeliverFront();
    }
}

void TUnZip::TParallelRun::DeliverFront() {
    const std::shared_ptr<TEntryJob> job = pending_.front().Job;
    if (!job) {
        owner_.CurrentHeader.Assign(*owner_.sortedEntries_->Entry(pending_.front().Index));
        pending_.pop_front();
        ++owner_.run_->Count;
        return;
    }
    owner_.CurrentHeader.Assign(job->Header);
    delivering_ = true;
    std::vector<TEntryRecord> records;
    for (bool done = false; !done;) {
        done = workers_.Collect(*job, records);
        Replay(records);
    }
    // Off the list before its verdict is told: a file delivered stays, whatever a handler
    // of the verdict does.
    pendingFiles_.erase(pendingFiles_.find(pending_.front().Key));
    pending_.pop_front();
    delivering_ = false;
    Settle(*job);
}

void TUnZip::TParallelRun::Replay(const std::vector<TEntryRecord>& records) {
    for (const TEntryRecord& record : records) {
        switch (record.Kind) {
        case TEntryRecord::TKind::Pump:
            owner_.PumpMessages();
            break;
        case TEntryRecord::TKind::FilePercent:
            owner_.OnFilePercentDone(owner_, static_cast<int>(record.Value));
            break;
        case TEntryRecord::TKind::Written:
            owner_.run_->Decoder.AddBytesDone(record.Value);
            break;
        case TEntryRecord::TKind::ErrorText:
            owner_.ErrorMessage = record.Text;
            break;
        case TEntryRecord::TKind::Box:
            owner_.ShowMessageBox(record.Text, record.Caption, static_cast<unsigned>(record.Value));
            break;
        }
    }
}

void TUnZip::TParallelRun::Settle(const TEntryJob& job) {
    switch (job.Outcome) {
    case TJobOutcome::NotCreated:
        owner_.ExtractEntry(job.Index);
        while (owner_.run_->Retry) {
            owner_.ExtractEntry(job.Index);
        }
        break;
    case TJobOutcome::Extracted:
        if (owner_.OnEndUnZip) {
            owner_.OnEndUnZip(owner_, job.Index, job.Path);
        }
        ++owner_.run_->Count;
        break;
    case TJobOutcome::Failed:
        owner_.ReportFailure(job.Index, job.Failure, job.Path);
        break;
    case TJobOutcome::BadCrc:
        if (owner_.OnBadCRC) {
            owner_.OnBadCRC(owner_, job.Crc, job.Header.Crc32, job.Index);
        }
        break;
    case TJobOutcome::Error:
    case TJobOutcome::Canceled:
        std::rethrow_exception(job.Error);
    case TJobOutcome::Pending:
        break;
    }
}

void TUnZip::TParallelRun::RemoveUndelivered() {
    // The entry whose events were being replayed had started in a one-thread run as well:
    // its folders stay. Its file, and the files and folders of the entries after it, go.
    for (std::size_t k = 0; k < pending_.size(); ++k) {
        const TPending& pending = pending_[k];
        if (pending.Job && pending.Job->Outcome == TJobOutcome::Extracted) {
            owner_.DeleteOutput(pending.Job->Path);
        }
    }
    for (std::size_t k = pending_.size(); k-- > (delivering_ ? 1 : 0);) {
        const std::vector<fs::path>& folders = pending_[k].FoldersMade;
        for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) {
            std::error_code error;
            fs::remove(*folder, error); // only when empty: a folder of someone else's stays
        }
    }
    pending_.clear();
    pendingFiles_.clear();
}

bool TUnZip::ParallelRunAllowed(int numFiles) const {
    return WorkerCount > 1 && numFiles > 1 && EndRecord.ThisDisk == 0 && !OnStartUnZip &&
           Sink == nullptr;
}

void TUnZip::ExtractInParallel(int numFiles) {
    TParallelRun(*this, std::min(WorkerCount, numFiles)).Run();
}

} // namespace zorvi
