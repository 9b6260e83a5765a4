// The worker side of a parallel extraction: the steps of a one-thread run from the file's
// creation to the entry's verdict (ZipExtract.cpp: OpenOutput, DecodeToFile, SettleEntry),
// with every event turned into a record of the job.
#include "zip/EntryWorkers.h"

#include "common/MessageBox.h"
#include "zip/EntryModes.h"
#include "zip/EntryTimes.h"
#include "zip/FileStream.h"
#include "zip/ZipErrors.h"
#include "zip/decoders/DecodeErrors.h"
#include "zip/decoders/EntryDecoder.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace zorvi {
namespace {

/// The compressed data of a job: the bytes handed over, or the archive read through the
/// worker's own handle. A short read is the premature end of the archive, as on the calling
/// thread (a parallel run has one volume).
class TJobInput final : public TCompressedInput {
public:
    TJobInput(const TEntryJob& job, TFileStream* archive) : job_(job), archive_(archive) {}

    std::size_t ReadCompressed(std::uint8_t* buffer, std::size_t count) override {
        std::size_t n = 0;
        if (job_.HandedOver) {
            n = std::min(count, job_.Compressed.size() - used_);
            std::memcpy(buffer, job_.Compressed.data() + used_, n);
            used_ += n;
        } else {
            n = archive_->Read(buffer, count);
        }
        if (n < count) {
            RaiseFatalUnzipError();
        }
        return n;
    }

private:
    const TEntryJob& job_;
    TFileStream* archive_;
    std::size_t used_ = 0;
};

/// The new file, written block by block as the decoder hands the blocks over.
class TJobOutput final : public TDecodedOutput {
public:
    explicit TJobOutput(TFileStream& file) : file_(file) {}

    std::size_t WriteDecoded(const std::uint8_t* data, std::size_t count) override {
        const std::size_t n = file_.Write(data, count);
        position_ += static_cast<std::int64_t>(n);
        return n;
    }
    std::int64_t DecodedPosition() const override { return position_; }

private:
    TFileStream& file_;
    std::int64_t position_ = 0;
};

/// A rejected file goes, a read-only attribute taken over from the archive notwithstanding.
void DeleteFile(TFileSystemShim& fileSystem, const std::string& path) {
    if (const auto attributes = fileSystem.Attributes(path);
        attributes && (*attributes & kAttrReadOnly) != 0) {
        fileSystem.SetAttributes(path, *attributes & ~kAttrReadOnly);
    }
    std::error_code error;
    std::filesystem::remove(ToFsPath(path), error);
}

} // namespace

/// One thread's decoder and archive handle, and the job it holds.
class TEntryWorkers::TWorker final : public TMessageBoxes {
public:
    TWorker(TEntryWorkers& owner) : owner_(owner), decoder_(MakeHooks()) {}

    void Extract(TEntryJob& job);

    /// The boxes of the decoding layer (out of memory) as records; the box has an OK button
    /// alone, and that is the answer.
    int ShowMessageBox(const std::string& text, const std::string& caption,
                       unsigned style) override {
        owner_.Record(*job_, TEntryRecord{TEntryRecord::TKind::Box, style, text, caption});
        return kIdOk;
    }

private:
    enum class TDecodeEnd { Decoded, TooLong, PrematureEnd };

    TDecodeHooks MakeHooks();
    TDecodeEnd Decode(TFileStream& file);
    void Settle(TDecodeEnd end);

    TEntryWorkers& owner_;
    TEntryDecoder decoder_;
    std::unique_ptr<TFileStream> archive_; // opened for the first entry not handed over
    TEntryJob* job_ = nullptr;
    std::int64_t bytesRecorded_ = 0; // of the job's bytes, those in Written records
};

TDecodeHooks TEntryWorkers::TWorker::MakeHooks() {
    const TWorkerSettings& settings = owner_.settings_;
    TDecodeHooks hooks;
    // Installed whatever the caller has: a stopped run is seen here, at every refill.
    hooks.ProcessMessages = [this, pump = settings.Pump] {
        if (owner_.canceled_.load(std::memory_order_relaxed)) {
            // The one exception inflate lets out of a block.
            throw EUserCanceled();
        }
        if (pump) {
            owner_.Record(*job_, TEntryRecord{TEntryRecord::TKind::Pump});
        }
    };
    if (settings.FilePercent) {
        hooks.OnFilePercentDone = [this](int percent) {
            owner_.Record(*job_, TEntryRecord{TEntryRecord::TKind::FilePercent, percent});
        };
    }
    if (settings.TotalPercent) {
        hooks.OnTotalPercentDone = [this](int) {
            const std::int64_t written = decoder_.BytesWritten();
            owner_.Record(*job_,
                          TEntryRecord{TEntryRecord::TKind::Written, written - bytesRecorded_});
            bytesRecorded_ = written;
        };
    }
    hooks.SetErrorMessage = [this](const std::string& text) {
        owner_.Record(*job_, TEntryRecord{TEntryRecord::TKind::ErrorText, 0, text});
    };
    hooks.MessageBoxes = this;
    return hooks;
}

void TEntryWorkers::TWorker::Extract(TEntryJob& job) {
    job_ = &job;
    bytesRecorded_ = 0;
    std::unique_ptr<TFileStream> file;
    try {
        file = std::make_unique<TFileStream>(job.Path, TFileMode::CreateNew);
    } catch (const std::exception&) {
        owner_.Finish(job, TJobOutcome::NotCreated);
        return;
    }
    TDecodeEnd end = TDecodeEnd::Decoded;
    try {
        end = Decode(*file);
        if (owner_.settings_.FlushFilesOnClose && decoder_.BytesWritten() > 0) {
            file->FlushToDisk();
        }
        file.reset();
    } catch (...) {
        // An incomplete file must never look like an extracted one.
        file.reset();
        DeleteFile(*owner_.settings_.FileSystem, job.Path);
        job.Error = std::current_exception();
        owner_.Finish(job, owner_.canceled_ ? TJobOutcome::Canceled : TJobOutcome::Error);
        return;
    }
    Settle(end);
}

TEntryWorkers::TWorker::TDecodeEnd TEntryWorkers::TWorker::Decode(TFileStream& file) {
    TEntryJob& job = *job_;
    try {
        if (!job.HandedOver) {
            if (!archive_) {
                archive_ = std::make_unique<TFileStream>(owner_.settings_.ArchivePath,
                                                         TFileMode::OpenRead);
            }
            archive_->Seek(job.DataStart, kFromBeginning);
        }
        TJobInput input(job, archive_.get());
        TJobOutput output(file);
        TEntryDecodeParams params;
        params.Input = &input;
        params.Output = &output;
        // Sizes from ZIP64 fields are at most 2^63 - 1 (Zip64.h).
        params.CompressedSize = static_cast<std::int64_t>(job.Header.CompressedSize);
        params.UncompressedSize = static_cast<std::int64_t>(job.Header.UncompressedSize);
        params.BitFlags = job.Header.BitFlags;
        decoder_.StartEntry(params);
        if (!decoder_.DecodeEntry(job.Header.CompressionMethod)) {
            owner_.Record(job, TEntryRecord{TEntryRecord::TKind::ErrorText, 0, kTextUnknownMethod});
            owner_.Record(job, TEntryRecord{TEntryRecord::TKind::Box, kMbOk, kTextUnknownMethod,
                                            kCaptionZipError});
        }
    } catch (const EBiggerThanUncompressed&) {
        return TDecodeEnd::TooLong;
    } catch (const EFatalUnzipError&) {
        return TDecodeEnd::PrematureEnd;
    }
    return TDecodeEnd::Decoded;
}

// The verdict of SettleEntry (ZipExtract.cpp) for an entry that is not encrypted.
void TEntryWorkers::TWorker::Settle(TDecodeEnd end) {
    TEntryJob& job = *job_;
    TFileSystemShim& fileSystem = *owner_.settings_.FileSystem;
    const TZipHeaderInfo& header = job.Header;
    if (end == TDecodeEnd::PrematureEnd) {
        DeleteFile(fileSystem, job.Path);
        job.Failure = TEntryFailure::efPrematureEnd;
        owner_.Finish(job, TJobOutcome::Failed);
        return;
    }
    const bool completed = end == TDecodeEnd::Decoded;
    if (completed) {
        SetExtractedFileTime(fileSystem, job.Path, header.DosDateTime, header.ExtraField,
                             job.LocalExtra);
        if (owner_.settings_.RetainAttributes) {
            // The file is new: its permissions are the system's for a new file.
            SetExtractedFileAttributes(fileSystem, job.Path, header.VersionMadeBy,
                                       header.ExternalAttributes,
                                       owner_.settings_.NewFilePermissions);
        }
    }
    const bool decoded = completed && decoder_.EntryFinished();
    const bool wholeSize =
        static_cast<std::uint64_t>(decoder_.BytesWritten()) == header.UncompressedSize;
    job.Crc = decoder_.FinalCrc();
    if (job.Crc == header.Crc32 && decoded && wholeSize) {
        owner_.Finish(job, TJobOutcome::Extracted);
        return;
    }
    DeleteFile(fileSystem, job.Path);
    if (job.Crc == header.Crc32) {
        job.Failure = decoded ? TEntryFailure::efSizeMismatch : TEntryFailure::efIncomplete;
        owner_.Finish(job, TJobOutcome::Failed);
        return;
    }
    owner_.Finish(job, TJobOutcome::BadCrc);
}

TEntryWorkers::TEntryWorkers(int count, TWorkerSettings settings) : settings_(std::move(settings)) {
    for (int i = 0; i < count; ++i) {
        workers_.push_back(std::make_unique<TWorker>(*this));
    }
    try {
        for (auto& worker : workers_) {
            threads_.emplace_back([this, w = worker.get()] { Work(*w); });
        }
    } catch (...) {
        Stop();
        throw;
    }
}

TEntryWorkers::~TEntryWorkers() {
    Stop();
}

void TEntryWorkers::Submit(std::shared_ptr<TEntryJob> job) {
    // A sleeping worker is woken for a few jobs at a time, not for each: a small entry
    // takes less time than a switch of threads. Collect wakes the workers for what is
    // left whenever the calling thread itself is about to wait.
    constexpr std::size_t kJobsPerWake = 4;
    bool wake = false;
    {
        const std::lock_guard lock(mutex_);
        queue_.push_back(std::move(job));
        wake = queue_.size() >= kJobsPerWake;
    }
    if (wake) {
        jobQueued_.notify_one();
    }
}

void TEntryWorkers::Work(TWorker& worker) {
    for (;;) {
        std::shared_ptr<TEntryJob> job;
        {
            std::unique_lock lock(mutex_);
            jobQueued_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
            if (stopping_) {
                return;
            }
            job = std::move(queue_.front());
            queue_.pop_front();
        }
        try {
            worker.Extract(*job);
        } catch (...) {
            // Only a record that could not be stored (memory) comes here.
            job->Error = std::current_exception();
            Finish(*job, TJobOutcome::Error);
        }
    }
}

void TEntryWorkers::Record(TEntryJob& job, TEntryRecord record) {
    // A few records per wake-up of the calling thread: one per 32 KB block would cost a
    // switch of threads each; kRecordsPerWake blocks are still well under a millisecond's
    // decoding, so progress and the message pump stay prompt.
    constexpr std::size_t kRecordsPerWake = 16;
    bool awaited = false;
    {
        const std::lock_guard lock(mutex_);
        job.Records.push_back(std::move(record));
        awaited = &job == awaited_ && job.Records.size() >= kRecordsPerWake;
    }
    if (awaited) {
        jobChanged_.notify_one();
    }
}

void TEntryWorkers::Finish(TEntryJob& job, TJobOutcome outcome) {
    bool awaited = false;
    {
        const std::lock_guard lock(mutex_);
        job.Outcome = outcome;
        job.Done.store(true, std::memory_order_release);
        awaited = &job == awaited_;
    }
    if (awaited) {
        jobChanged_.notify_one();
    }
}

bool TEntryWorkers::Collect(TEntryJob& job, std::vector<TEntryRecord>& records) {
    records.clear();
    std::unique_lock lock(mutex_);
    const bool waiting = job.Records.empty() && job.Outcome == TJobOutcome::Pending;
    if (waiting && !queue_.empty()) {
        jobQueued_.notify_all(); // the jobs queued since the last wake-up, this one perhaps
    }
    awaited_ = &job;
    jobChanged_.wait(lock,
                     [&] { return !job.Records.empty() || job.Outcome != TJobOutcome::Pending; });
    awaited_ = nullptr;
    records.swap(job.Records);
    return job.Outcome != TJobOutcome::Pending && job.Records.empty();
}

void TEntryWorkers::Stop() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        queue_.clear();
    }
    canceled_ = true;
    jobQueued_.notify_all();
    for (std::thread& thread : threads_) {
        if (thread.joinable()) {
            thread.join();
        }
    }
}

} // namespace zorvi
