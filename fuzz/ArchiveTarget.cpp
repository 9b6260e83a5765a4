// Fuzz target: the archive reader with extraction (TUnZip). The input is a whole archive; it
// is written to a file in a RAM-backed folder (ZORVI_FUZZ_WORK_DIR when set, else /dev/shm
// when present, else the system's temporary folder) and extracted with every entry selected,
// folders recreated and existing files replaced, into a fresh destination six folders deep in
// an otherwise empty sandbox. Encrypted entries get the passwords of our test archives one
// after the other (OnBadPassword), so that their data is decrypted and checked too.
//
// Invariants:
//  - archive.contained: every file the engine is about to create lies inside the
//    destination, and after the run the sandbox holds nothing beside it;
//  - archive.extracted: an entry reported extracted (OnEndUnZip) has a method the component
//    decodes, and its file has the declared size and CRC-32;
//  - archive.content: a stored entry's file is the entry's data (decrypted if need be); a
//    deflated entry's file is zlib's output when zlib finishes the entry's data, and zlib
//    finds no more data in it than the file holds;
//  - archive.overlap: no two entries reported extracted share a byte of the archive (their
//    local header, name, extra field and data, on one volume);
//  - archive.leftovers: after the run every file in the destination is one reported extracted;
//  - only the component's own exceptions (EZipError) leave it.
// An output limit keeps bombs from filling memory: no file may grow past 16 MiB (writes
// beyond fail, which the engine reports as a write error), and once 64 MiB are extracted the
// remaining entries are skipped.
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <system_error>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "zip/FileSystemShim.h"
#include "zip/UnZip.h"
#include "zip/ZipErrors.h"

namespace zorvi::fuzz {
namespace {

namespace fs = std::filesystem;

constexpr rlim_t kFileSizeLimit = 16u << 20;
constexpr std::uint64_t kExtractBudget = 64u << 20;
/// The passwords of the encrypted archives in tests/data, tried in this order.
const char* const kPasswords[] = {"12345678", "Pa55 word!", "legacy", "secret", "zip crypto"};
constexpr int kPasswordCount = static_cast<int>(std::size(kPasswords));
/// The folders between the sandbox and the destination: an entry climbing out of the
/// destination lands in one of them, however far it climbs within reach.
constexpr int kSandboxDepth = 6;

/// The work folder of this process, made when first asked for and removed at exit.
class TWorkFolder {
public:
    TWorkFolder() {
        fs::path base;
        if (const char* chosen = std::getenv("ZORVI_FUZZ_WORK_DIR")) {
            base = chosen;
        } else if (std::error_code e; fs::is_directory("/dev/shm", e)) {
            base = "/dev/shm";
        } else {
            base = fs::temp_directory_path();
        }
        RemoveLeftovers(base);
        Path = base / (kPrefix + std::to_string(getpid()));
        fs::create_directories(Path);
        // A file may not pass the limit (SIGXFSZ ignored: the write fails instead), so
        // that a bomb costs a bounded amount of memory.
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{kFileSizeLimit, kFileSizeLimit};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~TWorkFolder() {
        std::error_code e;
        fs::remove_all(Path, e);
    }
    fs::path Path;

private:
    static constexpr const char* kPrefix = "zorvi-fuzz-archive-";

    /// A run that aborts (a broken invariant) leaves its folder behind: the folders of
    /// processes that are gone are removed.
    static void RemoveLeftovers(const fs::path& base) {
        std::error_code e;
        for (const auto& item : fs::directory_iterator(base, e)) {
            const std::string name = item.path().filename().string();
            if (name.rfind(kPrefix, 0) == 0 &&
                !fs::exists("/proc/" + name.substr(std::string_view(kPrefix).size()), e)) {
                fs::remove_all(item.path(), e);
            }
        }
    }
};

const fs::path& WorkFolder() {
    static const TWorkFolder folder;
    return folder.Path;
}

/// The archive file and the sandbox of one input; the sandbox goes when the input is done.
struct TSandbox {
    TSandbox() {
        fs::path folder = Box;
        for (int i = 1; i <= kSandboxDepth; ++i) {
            folder /= std::to_string(i);
        }
        Dest = folder / "dest";
        fs::create_directories(Dest);
    }
    ~TSandbox() {
        std::error_code e;
        fs::remove_all(Box, e);
    }
    fs::path Archive = WorkFolder() / "archive.zip";
    fs::path Box = WorkFolder() / "box";
    fs::path Dest;
};

/// A path of the engine's ("\" between folders) as a normalised path of this system.
fs::path Normal(const std::string& enginePath) {
    return ToFsPath(enginePath).lexically_normal();
}

bool Inside(const fs::path& path, const fs::path& folder) {
    const fs::path relative = path.lexically_relative(folder);
    return !relative.empty() && *relative.begin() != ".." && relative != ".";
}

TBytes ReadFile(const fs::path& path) {
    // An entry made on Unix keeps its permission bits, which may deny its owner reading it.
    std::error_code error;
    fs::permissions(path, fs::perms::owner_read, fs::perm_options::add, error);
    std::ifstream in(path, std::ios::binary);
    return TBytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::uint16_t U16At(std::span<const std::uint8_t> bytes, std::uint64_t at) {
    // Bytes past the end read as zeros, as the engine's local header buffer is cleared first.
    const auto byte = [&](std::uint64_t i) { return i < bytes.size() ? bytes[i] : 0; };
    return static_cast<std::uint16_t>(byte(at) | (byte(at + 1) << 8));
}

/// Where an entry lies in the archive: its local header up to the end of its data.
struct TEntrySpan {
    int Volume = 0;
    std::uint64_t Begin = 0;
    std::uint64_t DataBegin = 0; // past the encryption header of an encrypted entry
    std::uint64_t End = 0;
};

/// One run of the engine over one input, with the checks its events make.
class TArchiveRun {
public:
    TArchiveRun(std::span<const std::uint8_t> archive, const TSandbox& sandbox)
        : archive_(archive), sandbox_(sandbox), dest_(sandbox.Dest.lexically_normal()) {}

    void Extract() {
        std::ofstream(sandbox_.Archive, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(archive_.data()),
                   static_cast<std::streamsize>(archive_.size()));
        TUnZip unzip;
        unzip.SetZipName(sandbox_.Archive.string());
        unzip.SetDestDir(sandbox_.Dest.string());
        unzip.RecreateDirs = true;
        unzip.OverwriteMode = TUZOverwriteMode::Always;
        unzip.IncompleteZipMode = TIncompleteZipMode::izAssumeBad;
        unzip.DoAll = true;
        unzip.Password = kPasswords[0];
        unzip.OnStartUnZip = [this](TUnZip& u, int, std::string& path, bool& skip) {
            StartEntry(u, path, skip);
        };
        unzip.OnBadPassword = [this](TUnZip&, int index, std::string& password) {
            const int tried = ++passwordsTried_[index];
            if (tried < kPasswordCount) {
                password = kPasswords[tried];
            }
        };
        unzip.OnEndUnZip = [this](TUnZip& u, int, const std::string& path) { EndEntry(u, path); };
        try {
            unzip.ReadZipDirectory();
            for (int i = 0; i < unzip.EntryCount(); ++i) {
                unzip.EntryFileName(i);
                unzip.EntryComment(i);
            }
            unzip.ArchiveComment();
            unzip.ExtractFiles();
        } catch (const EZipError&) {
            // A clear error for a bad archive: what the component should give.
        }
        CheckSandbox();
    }

private:
    void StartEntry(TUnZip& u, const std::string& path, bool& skip) {
        Check(Inside(Normal(path), dest_), "archive.contained", [&] {
            return "entry " + u.CurrentHeader.PathName() + " would be created as " + path;
        });
        skip = extractedBytes_ > kExtractBudget;
        // Taken now: the password check lowers the compressed size by the encryption header.
        const TZipHeaderInfo& h = u.CurrentHeader;
        TEntrySpan span;
        span.Volume = u.EndRecord.ThisDisk != 0 ? h.DiskNumberStart : 0;
        span.Begin = h.LocalHeaderOffset;
        span.DataBegin = span.Begin + kLocalHeaderSize +
                         U16At(archive_, span.Begin + local::kNameLength) +
                         U16At(archive_, span.Begin + local::kExtraLength);
        span.End = span.DataBegin + h.CompressedSize;
        if (h.IsEncrypted()) {
            span.DataBegin += kEncryptionHeaderSize;
        }
        current_ = span;
    }

    void EndEntry(TUnZip& u, const std::string& path) {
        const TZipHeaderInfo& h = u.CurrentHeader;
        const TBytes file = ReadFile(Normal(path));
        const std::string name = h.PathName();
        const int method = h.CompressionMethod;
        Check((method <= 6 || method == 8) && file.size() == h.UncompressedSize &&
                  ReferenceCrc32(file) == h.Crc32,
              "archive.extracted", [&] {
                  return "entry " + name + " (method " + std::to_string(method) +
                         ") reported extracted with " + std::to_string(file.size()) +
                         " bytes, CRC " + std::to_string(ReferenceCrc32(file)) + "; declared " +
                         std::to_string(h.UncompressedSize) + " bytes, CRC " +
                         std::to_string(h.Crc32);
              });
        CheckContent(u, name, method, file);
        for (const TEntrySpan& other : extracted_) {
            Check(other.Volume != current_.Volume || other.End <= current_.Begin ||
                      current_.End <= other.Begin,
                  "archive.overlap", [&] {
                      return "entry " + name + " at [" + std::to_string(current_.Begin) + ", " +
                             std::to_string(current_.End) + ") shares bytes with an entry at [" +
                             std::to_string(other.Begin) + ", " + std::to_string(other.End) +
                             ") extracted before";
                  });
        }
        extracted_.push_back(current_);
        extractedFiles_.insert(Normal(path));
        extractedBytes_ += file.size();
    }

    /// Stored and deflated entries of a single volume checked against the archive's bytes.
    void CheckContent(TUnZip& u, const std::string& name, int method, const TBytes& file) {
        if (u.EndRecord.ThisDisk != 0 || (method != 0 && method != 8) ||
            current_.DataBegin > archive_.size()) {
            return;
        }
        const auto available = archive_.size() - current_.DataBegin;
        const auto length = std::min<std::uint64_t>(current_.End - current_.DataBegin, available);
        TBytes data(archive_.begin() + static_cast<std::ptrdiff_t>(current_.DataBegin),
                    archive_.begin() + static_cast<std::ptrdiff_t>(current_.DataBegin + length));
        if (u.CurrentHeader.IsEncrypted()) {
            TReferenceCipher cipher(u.Password);
            for (std::uint64_t i = current_.DataBegin - kEncryptionHeaderSize;
                 i < current_.DataBegin; ++i) {
                cipher.Decrypt(archive_[i]);
            }
            for (std::uint8_t& b : data) {
                b = cipher.Decrypt(b);
            }
        }
        if (method == 0) {
            Check(file == data, "archive.content", [&] {
                return "stored entry " + name + ": " + std::to_string(file.size()) +
                       " bytes written from " + std::to_string(data.size()) + " bytes of data";
            });
            return;
        }
        // Called after archive.extracted: the file has the declared size, at most the limit.
        const TZlibOutcome zlib = ZlibInflate(data, file.size());
        const bool longer = zlib.Output.size() > file.size();
        Check(zlib.Finished ? zlib.Output == file : !longer, "archive.content", [&] {
            return "deflated entry " + name + ": " + std::to_string(file.size()) +
                   " bytes written, " +
                   (longer ? "but its data holds more than that"
                           : "zlib finishes its data with " + std::to_string(zlib.Output.size()) +
                                 " bytes of other content");
        });
    }

    /// Nothing outside the destination; nothing in it but files reported extracted.
    void CheckSandbox() {
        fs::path folder = sandbox_.Box;
        for (int depth = 0; depth <= kSandboxDepth; ++depth) {
            const fs::path expected =
                folder / (depth < kSandboxDepth ? std::to_string(depth + 1) : std::string("dest"));
            for (const auto& item : fs::directory_iterator(folder)) {
                Check(item.path() == expected, "archive.contained", [&] {
                    return "the run left " + item.path().string() + " outside the destination";
                });
            }
            folder = expected;
        }
        for (const auto& item : fs::recursive_directory_iterator(sandbox_.Dest)) {
            Check(item.is_directory() || extractedFiles_.count(item.path().lexically_normal()) != 0,
                  "archive.leftovers", [&] {
                      return item.path().string() + " is in the destination, never reported "
                                                    "extracted";
                  });
        }
    }

    std::span<const std::uint8_t> archive_;
    const TSandbox& sandbox_;
    fs::path dest_;
    TEntrySpan current_;
    std::vector<TEntrySpan> extracted_;
    std::set<fs::path> extractedFiles_;
    std::uint64_t extractedBytes_ = 0;
    std::map<int, int> passwordsTried_;
};

} // namespace
} // namespace zorvi::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zorvi::fuzz;
    return RunInput([&] {
        const TSandbox sandbox;
        TArchiveRun run(std::span<const std::uint8_t>(data, size), sandbox);
        run.Extract();
    });
}
