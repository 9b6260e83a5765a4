#include "Commands.h"

#include "Sinks.h"
#include "Terminal.h"
#include "zip/ZipErrors.h"

#include <algorithm>
#include <cstdio>
#include <thread>
#include <utility>

namespace zorvi::cli {
namespace {

// Extractions smaller than this finish before a bar would be worth drawing.
constexpr std::int64_t kProgressBarThreshold = 1 << 20;

std::string SlashName(std::string name) {
    std::replace(name.begin(), name.end(), '\\', '/');
    return name;
}

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(value));
    return text;
}

/// The engine's message boxes, answered without a window: the one that reports an
/// unknown compression method is remembered for the entry's line.
class TConsoleBoxes final : public TMessageBoxes {
public:
    int ShowMessageBox(const std::string& text, const std::string&, unsigned style) override {
        if (text == kTextUnknownMethod) {
            UnknownMethod = true;
        }
        return UnattendedAnswer(style);
    }
    bool UnknownMethod = false;
};

const char* ReasonText(TSkipReason reason) {
    switch (reason) {
    case TSkipReason::srBadPassword:
        return "wrong password";
    case TSkipReason::srNoOverwrite:
        return "file exists, not replaced";
    case TSkipReason::srFileOpenError:
        return "cannot open file";
    case TSkipReason::srCreateError:
        return "cannot create file";
    case TSkipReason::srEmptyName:
        return "empty name";
    }
    return "skipped";
}

const char* FailureText(TEntryFailure failure) {
    switch (failure) {
    case TEntryFailure::efPrematureEnd:
        return "the archive ends inside its data";
    case TEntryFailure::efIncomplete:
        return "damaged data, or data longer than its recorded size";
    case TEntryFailure::efSizeMismatch:
        return "size differs from its recorded size";
    }
    return "failed";
}

} // namespace

int RunExtract(const TOptions& options, std::ostream& out, std::ostream& err) {
    TUnZip unzip;
    TConsoleBoxes boxes;
    TProgressBar bar;
    // -p keeps standard output for the data: what is said about the entries goes to
    // standard error, and only what went wrong.
    std::ostream& report = options.Pipe ? err : out;
    bool barWanted = !options.Quiet && !options.Pipe && StderrIsTerminal();
    int extracted = 0;
    int skipped = 0;
    int failed = 0;
    std::uint64_t dropped = 0;

    const auto line = [&](const std::string& text) {
        if (!options.Quiet) {
            bar.Clear();
            report << text << '\n';
        }
    };

    TDiscardSink discard;
    TStandardOutputSink standardOutput;
    if (options.Test) {
        unzip.Sink = &discard;
    } else if (options.Pipe) {
        unzip.Sink = &standardOutput;
    }
    WatchDirectory(unzip, options.Archive, err, dropped);
    unzip.MessageBoxes = &boxes;
    unzip.SetZipName(options.Archive);
    unzip.IncompleteZipMode = options.Incomplete;
    unzip.SetDestDir(options.DestDir);
    unzip.RecreateDirs = !options.JunkPaths;
    std::string root = options.RootDir;
    std::replace(root.begin(), root.end(), '/', '\\');
    unzip.SetRootDir(root);
    unzip.OverwriteMode = options.Overwrite;
    unzip.DoAll = options.Masks.empty();
    unzip.FilesList = options.Masks;
    unzip.ExcludeList = options.Excludes;
    unzip.Password = options.Password.value_or("");
    unzip.RetainAttributes = true;
    unzip.WorkerCount = options.Threads > 0
                            ? options.Threads
                            : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));

    unzip.OnStartUnZipInfo = [&](TUnZip&, int, std::int64_t totalBytes, bool&) {
        barWanted = barWanted && totalBytes >= kProgressBarThreshold;
    };
    // Only when a bar may be drawn: every call costs a parallel run a record per block.
    if (barWanted) {
        unzip.OnTotalPercentDone = [&](TUnZip&, int percent) {
            if (barWanted) {
                bar.Show(percent);
            }
        };
    }
    // The box of an unknown method comes before its entry's verdict, and the flag is
    // taken back with the verdict. (No OnStartUnZip: it would keep the run on one thread.)
    unzip.OnEndUnZip = [&](TUnZip& sender, int, const std::string&) {
        boxes.UnknownMethod = false;
        ++extracted;
        if (!options.Pipe) {
            line((options.Test ? "     tested: " : "  extracted: ") +
                 SlashName(sender.CurrentHeader.PathName()));
        }
    };
    // An entry without a name is named by its place in the list.
    const auto entryName = [](TUnZip& sender, int index) {
        const std::string name = SlashName(sender.CurrentHeader.PathName());
        return name.empty() ? "entry " + std::to_string(index + 1) : name;
    };
    unzip.OnSkippingFile = [&](TUnZip& sender, TSkipReason reason, const std::string&, int index,
                               bool&) {
        boxes.UnknownMethod = false;
        ++skipped;
        line("    skipped: " + entryName(sender, index) + " (" + ReasonText(reason) + ")");
    };
    const auto unknownMethod = [&](TUnZip& sender, int index) {
        ++skipped;
        line("    skipped: " + entryName(sender, index) + " (unsupported compression method " +
             std::to_string(sender.CurrentHeader.CompressionMethod) + ")");
    };
    unzip.OnBadCRC = [&](TUnZip& sender, std::uint32_t calc, std::uint32_t stored, int index) {
        if (std::exchange(boxes.UnknownMethod, false)) {
            unknownMethod(sender, index);
            return;
        }
        ++failed;
        line("    bad CRC: " + entryName(sender, index) + " (computed " + Hex(calc) + ", stored " +
             Hex(stored) + ")");
    };
    unzip.OnEntryFailed = [&](TUnZip& sender, TEntryFailure failure, const std::string&,
                              int index) {
        if (std::exchange(boxes.UnknownMethod, false)) {
            unknownMethod(sender, index);
            return;
        }
        ++failed;
        line("     failed: " + entryName(sender, index) + " (" + FailureText(failure) + ")");
    };
    unzip.OnPromptForOverwrite = [&](TUnZip&, bool& overwrite, int, std::string& fName) {
        bar.Clear();
        overwrite = StdinIsTerminal() && AskYesNo("replace " + SlashName(fName) + "?");
    };
    if (StdinIsTerminal()) {
        unzip.OnBadPassword = [&](TUnZip& sender, int, std::string& newPassword) {
            bar.Clear();
            const std::string answer =
                AskPassword("password for " + SlashName(sender.CurrentHeader.PathName()) + ": ");
            if (!answer.empty()) {
                newPassword = answer;
            }
        };
    }

    try {
        unzip.ReadZipDirectory();
        if (unzip.Entries() == nullptr) {
            err << "zorvi-unzip: " << options.Archive << ": " << kTextIncompleteZip << '\n';
            return kExitArchiveUnreadable;
        }
        unzip.ExtractFiles();
    } catch (const EZipError& error) {
        bar.Clear();
        err << "zorvi-unzip: " << options.Archive << ": " << error.what() << '\n';
        return kExitArchiveUnreadable;
    }
    bar.Clear();
    if (options.Pipe && !standardOutput.Finish()) {
        err << "zorvi-unzip: " << options.Archive << ": cannot write to standard output\n";
        return kExitArchiveUnreadable;
    }
    if (!options.Quiet && !options.Pipe) {
        out << extracted << (options.Test ? " tested, " : " extracted, ") << skipped << " skipped, "
            << failed + dropped << " failed\n";
    }
    return skipped == 0 && failed == 0 && dropped == 0 ? kExitOk : kExitEntryFailed;
}

} // namespace zorvi::cli
