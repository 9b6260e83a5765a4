// A parallel run (WorkerCount above 1) against a one-thread run of the same archive into the
// same folder: the same files byte for byte, with the same dates and modes, and the same
// events, boxes, pumped messages and results in the same order, all on the calling thread.
// Built into a test program of its own so that the native-tsan preset runs it under
// ThreadSanitizer without building the rest of the suite.
#include "zip/SameFileKey.h"
#include "zip/UnZip.h"
#include "zip/ZipErrors.h"

#include "TestArchive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <typeinfo>

namespace zorvi {
namespace {

namespace fs = std::filesystem;

/// The system's file system, noting the threads that date files: a parallel run that dates
/// no file on another thread than the caller's has not run in parallel.
class TThreadNotingFileSystem final : public TFileSystemShim {
public:
    std::optional<TLocalDateTime> FileTime(const std::string& path) override {
        return system_.FileTime(path);
    }
    bool SetFileDosTime(const std::string& path, std::uint32_t dosDateTime) override {
        Note();
        return system_.SetFileDosTime(path, dosDateTime);
    }
    bool SetFileUtcTime(const std::string& path, const TUtcTime& time) override {
        Note();
        return system_.SetFileUtcTime(path, time);
    }
    std::optional<std::uint32_t> Attributes(const std::string& path) override {
        return system_.Attributes(path);
    }
    bool SetAttributes(const std::string& path, std::uint32_t attributes) override {
        return system_.SetAttributes(path, attributes);
    }
    bool SetUnixPermissions(const std::string& path, std::uint32_t mode) override {
        return system_.SetUnixPermissions(path, mode);
    }
    std::optional<std::uint32_t> NewFilePermissions() override {
        return system_.NewFilePermissions();
    }
    bool IsRemovableDrive(const std::string& drive) override {
        return system_.IsRemovableDrive(drive);
    }
    std::string VolumeLabel(const std::string& drive) override {
        return system_.VolumeLabel(drive);
    }

    std::set<std::thread::id> Threads() {
        const std::lock_guard lock(mutex_);
        return threads_;
    }

private:
    void Note() {
        const std::lock_guard lock(mutex_);
        threads_.insert(std::this_thread::get_id());
    }

    TFileSystemShim& system_ = SystemFileSystem();
    std::mutex mutex_;
    std::set<std::thread::id> threads_;
};

/// Boxes answered as a person would: yes to every other question, each one noted.
class TNotingBoxes final : public TMessageBoxes {
public:
    explicit TNotingBoxes(std::function<void(const std::string&)> note) : note_(std::move(note)) {}
    int ShowMessageBox(const std::string& text, const std::string& caption,
                       unsigned style) override {
        note_("box " + text + " / " + caption + " / " + std::to_string(style));
        if ((style & 0x0F) == kMbYesNo) {
            return ++questions_ % 2 == 1 ? kIdYes : kIdNo;
        }
        return kIdOk;
    }

private:
    std::function<void(const std::string&)> note_;
    int questions_ = 0;
};

/// Everything a caller sees of a run and what it leaves in the folder.
struct TRunResult {
    std::vector<std::string> Events;
    std::string Ending; // the count, or the exception
    std::map<std::string, std::string> Tree;
    bool EventsOffThread = false;
    bool DatedOffThread = false;
};

/// What the folder holds: every file and folder with its content, time and mode.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
    std::map<std::string, std::string> tree;
    if (!fs::exists(root)) {
        return tree;
    }
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        const std::string name = fs::relative(item.path(), root).generic_string();
        const auto mode = static_cast<unsigned>(fs::status(item.path()).permissions());
        if (item.is_directory()) {
            tree[name] = "folder " + std::to_string(mode);
            continue;
        }
        tree[name] = test::ReadFile(item.path()) + " | mode " + std::to_string(mode) + " | time " +
                     std::to_string(item.last_write_time().time_since_epoch().count());
    }
    return tree;
}

using TSetUp = std::function<void(TUnZip&)>;

/// Extracts with `workers` into dir/out (emptied and made again by `prepare` first), noting
/// every event with what CurrentHeader, BytesDone and TotalBytes say at that moment.
TRunResult Extract(const test::TTempDir& dir, const TSetUp& setUp, int workers,
                   const std::function<void(const fs::path&)>& prepare = {}) {
    const fs::path out = dir.Path() / "out";
    fs::remove_all(out);
    if (prepare) {
        prepare(out);
    }
    TRunResult result;
    TThreadNotingFileSystem fileSystem;
    TUnZip unzip(fileSystem);
    const std::thread::id caller = std::this_thread::get_id();
    const auto note = [&](const std::string& what) {
        result.EventsOffThread = result.EventsOffThread || std::this_thread::get_id() != caller;
        const TZipHeaderInfo& h = unzip.CurrentHeader;
        result.Events.push_back(
            what + " @ " + h.PathName() + " " + std::to_string(h.CompressedSize) + " " +
            std::to_string(unzip.BytesDone()) + "/" + std::to_string(unzip.TotalBytes()) + " [" +
            unzip.ErrorMessage + "]");
    };
    TNotingBoxes boxes(note);
    unzip.MessageBoxes = &boxes;
    unzip.ProcessMessages = [&] { note("pump"); };
    unzip.SetDestDir(out.string());
    unzip.DoAll = true;
    unzip.RecreateDirs = true;
    unzip.OverwriteMode = TUZOverwriteMode::Always;
    unzip.OnStartUnZipInfo = [&](TUnZip&, int n, std::int64_t total, bool&) {
        note("info " + std::to_string(n) + " " + std::to_string(total));
    };
    unzip.OnFilePercentDone = [&](TUnZip&, int p) { note("file% " + std::to_string(p)); };
    unzip.OnTotalPercentDone = [&](TUnZip&, int p) { note("total% " + std::to_string(p)); };
    unzip.OnEndUnZip = [&](TUnZip&, int i, const std::string& path) {
        note("end " + std::to_string(i) + " " + path);
    };
    unzip.OnSkippingFile = [&](TUnZip&, TSkipReason r, const std::string& name, int i, bool&) {
        note("skip " + std::to_string(static_cast<int>(r)) + " " + name + " " + std::to_string(i));
    };
    unzip.OnBadCRC = [&](TUnZip&, std::uint32_t calc, std::uint32_t stored, int i) {
        note("bad crc " + std::to_string(calc) + " " + std::to_string(stored) + " " +
             std::to_string(i));
    };
    unzip.OnEntryFailed = [&](TUnZip&, TEntryFailure f, const std::string& name, int i) {
        note("failed " + std::to_string(static_cast<int>(f)) + " " + name + " " +
             std::to_string(i));
    };
    unzip.OnPromptForOverwrite = [&](TUnZip&, bool& overwrite, int i, std::string& name) {
        note("prompt " + std::to_string(i) + " " + name);
        overwrite = i % 2 == 0;
    };
    unzip.OnUnZipComplete = [&](TUnZip&, int n) { note("complete " + std::to_string(n)); };
    setUp(unzip);
    unzip.WorkerCount = workers;
    try {
        result.Ending = "count " + std::to_string(unzip.ExtractFiles());
    } catch (const std::exception& error) {
        result.Ending = std::string(typeid(error).name()) + ": " + error.what();
    }
    result.Tree = Snapshot(out);
    const auto threads = fileSystem.Threads();
    result.DatedOffThread =
        std::any_of(threads.begin(), threads.end(), [&](auto id) { return id != caller; });
    return result;
}

void ExpectSameTree(const std::map<std::string, std::string>& one,
                    const std::map<std::string, std::string>& parallel) {
    std::set<std::string> names;
    for (const auto* tree : {&one, &parallel}) {
        for (const auto& item : *tree) {
            names.insert(item.first);
        }
    }
    for (const std::string& name : names) {
        const auto a = one.find(name);
        const auto b = parallel.find(name);
        const auto text = [](const auto& it, const auto& tree) {
            return it == tree.end() ? std::string("(none)") : it->second.substr(0, 120);
        };
        if (a == one.end() || b == parallel.end() || a->second != b->second) {
            ADD_FAILURE() << name << " differs:\n  one thread: " << text(a, one)
                          << "\n  parallel:   " << text(b, parallel);
        }
    }
}

/// A one-thread run and a run with three workers give the same; returns whether the
/// workers dated any file (they did the work).
bool ExpectSameAsOneThread(const TSetUp& setUp,
                           const std::function<void(const fs::path&)>& prepare = {}) {
    test::TTempDir dir;
    const TRunResult one = Extract(dir, setUp, 1, prepare);
    const TRunResult three = Extract(dir, setUp, 3, prepare);
    EXPECT_FALSE(one.DatedOffThread);
    EXPECT_FALSE(three.EventsOffThread) << "an event was raised on a worker";
    EXPECT_EQ(one.Ending, three.Ending);
    EXPECT_EQ(one.Events.size(), three.Events.size());
    const std::size_t n = std::min(one.Events.size(), three.Events.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (one.Events[i] != three.Events[i]) {
            ADD_FAILURE() << "event " << i << " differs:\n  one thread: " << one.Events[i]
                          << "\n  parallel:   " << three.Events[i];
            break;
        }
    }
    ExpectSameTree(one.Tree, three.Tree);
    return three.DatedOffThread;
}

TEST(ParallelExtract, EveryCorpusArchiveAsOnOneThread) {
    std::map<std::string, std::string> passwords;
    for (const test::TCorpusRow& row : test::ReadCorpusManifest()) {
        passwords[row.Archive] = row.Password;
    }
    ASSERT_EQ(passwords.size(), test::kCorpusArchives);
    int parallel = 0;
    for (const auto& [archive, password] : passwords) {
        SCOPED_TRACE(archive);
        const std::string path = test::TestDataPath("corpus/" + archive).string();
        // Damaged directories are rebuilt; encrypted entries get the right password, and
        // the wrong one first where an archive has several entries.
        parallel += ExpectSameAsOneThread([&](TUnZip& unzip) {
            unzip.IncompleteZipMode = TIncompleteZipMode::izAssumeBad;
            unzip.SetZipName(path);
            unzip.Password = password == "-" ? "" : "wrong";
            unzip.OnBadPassword = [password](TUnZip&, int, std::string& newPassword) {
                newPassword = password;
            };
        });
    }
    EXPECT_GE(parallel, 20) << "archives the workers extracted entries of";
}

TEST(ParallelExtract, HostileArchivesAsOnOneThread) {
    int tried = 0;
    for (const auto& item : fs::recursive_directory_iterator(test::TestDataPath("hostile"))) {
        const std::string extension = item.path().extension().string();
        if (!item.is_regular_file() || (extension != ".zip" && extension != ".notzip")) {
            continue;
        }
        SCOPED_TRACE(item.path().filename().string());
        ++tried;
        ExpectSameAsOneThread([&](TUnZip& unzip) {
            unzip.IncompleteZipMode = TIncompleteZipMode::izAssumeBad;
            unzip.SetZipName(item.path().string());
            unzip.Password = "12345678";
        });
    }
    EXPECT_EQ(tried, 30);
}

/// Many small entries of every kind the workers meet (more than the entries decided ahead),
/// with the names that must wait for each other: the same file twice, names differing in
/// letter case only, a file where a later entry wants a folder, one with a short-name "~".
std::vector<test::TTestEntry> ManyEntries() {
    std::vector<test::TTestEntry> entries;
    for (int i = 0; i < 300; ++i) {
        test::TTestEntry e;
        e.Name = "d" + std::to_string(i % 7) + "/f" + std::to_string(i) + ".txt";
        e.Data =
            std::string(static_cast<std::size_t>(i * 37 % 5000), static_cast<char>('a' + i % 26)) +
            std::to_string(i);
        e.Method = i % 3 == 0 ? 0 : 8;
        e.DosDateTime = test::kDos20050202 + static_cast<std::uint32_t>(i % 30);
        // Windows attributes, read-only among them, and Unix modes.
        constexpr std::uint32_t kAttributes[] = {0x20, 0x21, 0100644u << 16, 0100755u << 16,
                                                 0100600u << 16};
        e.ExternalAttributes = kAttributes[i % 5];
        if (i % 50 == 7) {
            e.Crc = 0x12345678; // a bad CRC-32
        }
        if (i % 60 == 11) {
            e.UncompressedSize = static_cast<std::uint32_t>(e.Data.size() + 1);
        }
        entries.push_back(e);
    }
    const auto add = [&](std::size_t at, std::string name, std::string data) {
        test::TTestEntry e;
        e.Name = std::move(name);
        e.Data = std::move(data);
        e.Method = 8;
        entries.insert(entries.begin() + static_cast<std::ptrdiff_t>(at), e);
    };
    add(10, "same.txt", "first");
    add(12, "same.txt", "second, replacing the first");
    add(20, "Case.TXT", "upper");
    add(21, "case.txt", "lower");
    add(30, "clash", "a file");
    add(31, "clash/inside.txt", "wants clash as a folder");
    add(40, "LONGNA~1.TXT", "short name");
    add(41, "big/large.bin", std::string(300000, 'x') + std::string(70000, 'y'));
    add(42, "sub/", "");
    add(43, "sub/in-folder.txt", "in a folder entry's folder");
    add(44, "", "no name");
    add(45, "../escape.txt", "outside");
    return entries;
}

TEST(ParallelExtract, ManyEntriesAndNamesThatMeetAsOnOneThread) {
    test::TTempDir archiveDir;
    const fs::path archive = archiveDir.Path() / "many.zip";
    test::WriteFile(archive, test::BuildArchive(ManyEntries()).Bytes);
    const TSetUp setUp = [&](TUnZip& unzip) { unzip.SetZipName(archive.string()); };
    EXPECT_TRUE(ExpectSameAsOneThread(setUp));
    // Masks that leave out, of every entry and of those masks select.
    for (const bool all : {true, false}) {
        EXPECT_TRUE(ExpectSameAsOneThread([&](TUnZip& unzip) {
            setUp(unzip);
            unzip.DoAll = all;
            unzip.FilesList = {"d*", "*.txt"};
            unzip.ExcludeList = {"d3/*", "same.txt", "*7.txt"};
        }));
    }
    // Over what a first run left, with every overwrite mode; a file in the way of a folder.
    const auto existing = [&](const fs::path& out) {
        TUnZip first;
        first.SetZipName(archive.string());
        first.SetDestDir(out.string());
        first.RecreateDirs = true;
        first.FilesList = {"d1/*", "same.txt", "case.txt"};
        first.ExtractFiles();
        test::WriteFile(out / "d2", "a file where a folder goes");
        fs::last_write_time(out / "d2", fs::file_time_type{});
    };
    for (const auto mode : {TUZOverwriteMode::Prompt, TUZOverwriteMode::Never,
                            TUZOverwriteMode::ifNewer, TUZOverwriteMode::Always}) {
        SCOPED_TRACE(static_cast<int>(mode));
        ExpectSameAsOneThread(
            [&](TUnZip& unzip) {
                setUp(unzip);
                unzip.OverwriteMode = mode;
                unzip.ReplaceReadOnly = true;
            },
            existing);
    }
    // Prompts answered by the boxes, without a handler.
    ExpectSameAsOneThread(
        [&](TUnZip& unzip) {
            setUp(unzip);
            unzip.OverwriteMode = TUZOverwriteMode::Prompt;
            unzip.OnPromptForOverwrite = nullptr;
        },
        existing);
}

TEST(ParallelExtract, ARunStoppedByAHandlerLeavesWhatAOneThreadRunLeaves) {
    test::TTempDir archiveDir;
    const fs::path archive = archiveDir.Path() / "many.zip";
    test::WriteFile(archive, test::BuildArchive(ManyEntries()).Bytes);
    for (const int stopAt : {0, 5, 150}) {
        SCOPED_TRACE(stopAt);
        ExpectSameAsOneThread([&](TUnZip& unzip) {
            unzip.SetZipName(archive.string());
            auto noted = unzip.OnEndUnZip;
            unzip.OnEndUnZip = [noted, stopAt, ended = 0](TUnZip& sender, int i,
                                                          const std::string& path) mutable {
                noted(sender, i, path);
                if (ended++ == stopAt) {
                    throw std::runtime_error("stopped by the caller");
                }
            };
        });
        // Stopped in the middle of an entry's percent events, with entries after it done.
        ExpectSameAsOneThread([&](TUnZip& unzip) {
            unzip.SetZipName(archive.string());
            auto noted = unzip.OnFilePercentDone;
            unzip.OnFilePercentDone = [noted, stopAt, calls = 0](TUnZip& sender, int p) mutable {
                noted(sender, p);
                if (calls++ == stopAt * 2) {
                    throw std::runtime_error("stopped by the caller");
                }
            };
        });
    }
}

TEST(ParallelExtract, OneFileKeyForEverySpellingOfAPath) {
    EXPECT_EQ(SameFileKey("out\\Dir/./sub//File.TXT"), SameFileKey("out/dir/sub/file.txt"));
    EXPECT_EQ(SameFileKey("out\\Файл.txt"), SameFileKey("out\\фАЙЛ.TXT"));
    EXPECT_EQ(SameFileKey("out\\Ёлка ё"), SameFileKey("out\\ёлка Ё"));
    EXPECT_EQ(SameFileKey("out\\Été"), SameFileKey("out\\éTÉ"));
    EXPECT_EQ(SameFileKey("out\\name. . "), SameFileKey("out\\name"));
    EXPECT_NE(SameFileKey("out\\a\\b"), SameFileKey("out\\ab"));
    EXPECT_EQ(SameFileKey("/tmp/x"), std::optional<std::string>("\\TMP\\X"));
    EXPECT_EQ(SameFileKey("C:\\x"), std::optional<std::string>("C:\\X"));
    // What a case-insensitive system may fold in ways not followed here, short names and
    // streams have no key.
    for (const std::string path :
         {"out\\LONGNA~1.TXT", "out\\file.txt:stream", "out\\ǅ", "out\\ı", "out\\ß", "out\\Ω"}) {
        EXPECT_FALSE(SameFileKey(path)) << path;
    }
    EXPECT_EQ(EnclosingFolderKeys("\\A\\B\\C"), (std::vector<std::string>{"\\A", "\\A\\B"}));
}

} // namespace
} // namespace zorvi
