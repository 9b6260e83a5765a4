// The worker threads of a parallel extraction (TUnZip::WorkerCount above 1). The calling
// thread decides everything about an entry first (its file's path, its folder made, that it
// is neither encrypted nor in the way of another entry) and hands it over as a TEntryJob;
// a worker creates the file, decodes the entry into it with a decoder of its own and settles
// it as a one-thread run would (dated and given its attributes when whole and right, deleted
// otherwise). It raises no event: what the events would have said it records in the job, in
// their order, and the calling thread replays the records as the component's events, entry
// after entry in archive order (ParallelExtract.cpp). So a caller sees the same events in
// the same order whatever the number of threads.
//
// The compressed bytes of a small entry come with the job: the calling thread has just read
// its local header and has them in the same block. A larger entry's bytes a worker reads
// itself, through a handle of its own on the archive (one per worker, so no position is
// shared); the page cache serves both threads at once.
#pragma once

#include "zip/FileSystemShim.h"
#include "zip/UnZip.h"
#include "zip/ZipRecords.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace zorvi {

/// One thing an event would have reported, as a worker met it.
struct TEntryRecord {
    enum class TKind {
        Pump,        // ProcessMessages, at a refill of the input
        FilePercent, // OnFilePercentDone; Value: the percent
        Written,     // a block written: OnTotalPercentDone; Value: its bytes
        ErrorText,   // ErrorMessage set to Text
        Box,         // a message box: Text, Caption, Value: its style
    };
    explicit TEntryRecord(TKind kind, std::int64_t value = 0, std::string text = {},
                          std::string caption = {})
        : Kind(kind), Value(value), Text(std::move(text)), Caption(std::move(caption)) {}

    TKind Kind;
    std::int64_t Value;
    std::string Text;
    std::string Caption;
};

/// How a worker left an entry.
enum class TJobOutcome {
    Pending,    // not yet done
    NotCreated, // the file could not be created anew (it exists, say): nothing was written,
                // and the calling thread extracts the entry itself, in its turn
    Extracted,  // written whole with the right CRC-32 and size, dated; the file stays
    BadCrc,     // CRC-32 mismatch (Crc holds the computed one); the file is deleted
    Failed,     // Failure says why; the file is deleted
    Error,      // an exception (Error) ended the entry; the file is deleted
    Canceled,   // the run stopped before the entry was done; the file is deleted
};

struct TEntryJob {
    // Set by the calling thread before the job is handed over.
    int Index = 0;
    TZipHeaderInfo Header; // as CurrentHeader is during the entry's events
    std::string Path;      // the file to create
    std::string LocalExtra;
    std::int64_t DataStart = 0; // the first byte of the data in the archive
    bool HandedOver = false;    // Compressed holds the data (as much as the archive had)
    std::vector<std::uint8_t> Compressed;

    // Written by the worker, read by the calling thread, both under the workers' lock;
    // Done is set last, and may be looked at without the lock.
    std::vector<TEntryRecord> Records;
    std::atomic<bool> Done{false};
    TJobOutcome Outcome = TJobOutcome::Pending;
    TEntryFailure Failure = TEntryFailure::efIncomplete;
    std::uint32_t Crc = 0;
    std::exception_ptr Error;
};

/// What the workers take from the component at the start of the run.
struct TWorkerSettings {
    TFileSystemShim* FileSystem = nullptr;
    std::string ArchivePath;
    bool FlushFilesOnClose = false;
    bool RetainAttributes = true;
    std::optional<std::uint32_t> NewFilePermissions; // TFileSystemShim::NewFilePermissions
    // Which records the caller's handlers want (the rest are not made).
    bool Pump = false;
    bool FilePercent = false;
    bool TotalPercent = false;
};

class TEntryWorkers {
public:
    /// Starts `count` threads, each with its decoder's work buffers.
    TEntryWorkers(int count, TWorkerSettings settings);
    /// Stop().
    ~TEntryWorkers();
    TEntryWorkers(const TEntryWorkers&) = delete;
    TEntryWorkers& operator=(const TEntryWorkers&) = delete;

    void Submit(std::shared_ptr<TEntryJob> job);
    /// Waits until the job has records not yet taken (the worker wakes this thread for
    /// several at a time) or is done, and moves the new records
    /// into `records` (emptied first). True when the job is done: its outcome is final and
    /// every record has been taken.
    bool Collect(TEntryJob& job, std::vector<TEntryRecord>& records);
    /// True when the job is done: Collect then returns at once (no lock taken here).
    static bool IsDone(const TEntryJob& job) { return job.Done.load(std::memory_order_acquire); }
    /// Drops the jobs not yet started, makes the running ones stop at their next read of
    /// compressed data (outcome Canceled), and waits for the threads to end.
    void Stop();

private:
    class TWorker;

    void Work(TWorker& worker);
    /// Appends a record to the job the worker holds and wakes the calling thread.
    void Record(TEntryJob& job, TEntryRecord record);
    void Finish(TEntryJob& job, TJobOutcome outcome);

    TWorkerSettings settings_;
    std::mutex mutex_;
    std::condition_variable jobQueued_;  // workers wait here
    std::condition_variable jobChanged_; // the calling thread waits here
    std::deque<std::shared_ptr<TEntryJob>> queue_;
    // The job the calling thread waits for in Collect: only its records and end wake it.
    const TEntryJob* awaited_ = nullptr;
    bool stopping_ = false;
    std::atomic<bool> canceled_{false};
    std::vector<std::unique_ptr<TWorker>> workers_;
    std::vector<std::thread> threads_;
};

} // namespace zorvi
