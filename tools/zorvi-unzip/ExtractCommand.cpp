#include "Commands.h"

#include "Terminal.h"
#include "zip/ZipErrors.h"

#include <algorithm>
#include <cstdio>

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
        switch (style & 0x0F) {
        case kMbYesNo:
            return kIdNo;
        case kMbOkCancel:
            return kIdCancel;
        default:
            return kIdOk;
        }
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
    }
    return "skipped";
}

} // namespace

int RunExtract(const TOptions& options, std::ostream& out, std::ostream& err) {
    TUnZip unzip;
    TConsoleBoxes boxes;
    TProgressBar bar;
    bool barWanted = !options.Quiet && StderrIsTerminal();
    int extracted = 0;
    int skipped = 0;
    int failed = 0;

    const auto line = [&](const std::string& text) {
        if (!options.Quiet) {
            bar.Clear();
            out << text << '\n';
        }
    };

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
    unzip.Password = options.Password.value_or("");
    unzip.RetainAttributes = true;

    unzip.OnStartUnZipInfo = [&](TUnZip&, int, std::int64_t totalBytes, bool&) {
        barWanted = barWanted && totalBytes >= kProgressBarThreshold;
    };
    unzip.OnTotalPercentDone = [&](TUnZip&, int percent) {
        if (barWanted) {
            bar.Show(percent);
        }
    };
    unzip.OnStartUnZip = [&](TUnZip&, int, std::string&, bool&) { boxes.UnknownMethod = false; };
    unzip.OnEndUnZip = [&](TUnZip& sender, int, const std::string&) {
        ++extracted;
        line("  extracted: " + SlashName(sender.CurrentHeader.PathName()));
    };
    unzip.OnSkippingFile = [&](TUnZip& sender, TSkipReason reason, const std::string&, int, bool&) {
        ++skipped;
        line("    skipped: " + SlashName(sender.CurrentHeader.PathName()) + " (" +
             ReasonText(reason) + ")");
    };
    unzip.OnBadCRC = [&](TUnZip& sender, std::uint32_t calc, std::uint32_t stored, int) {
        const std::string name = SlashName(sender.CurrentHeader.PathName());
        if (boxes.UnknownMethod) {
            ++skipped;
            line("    skipped: " + name + " (unsupported compression method " +
                 std::to_string(sender.CurrentHeader.CompressionMethod) + ")");
        } else {
            ++failed;
            line("    bad CRC: " + name + " (computed " + Hex(calc) + ", stored " + Hex(stored) +
                 ")");
        }
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
    if (!options.Quiet) {
        out << extracted << " extracted, " << skipped << " skipped, " << failed
            << " failed the CRC-32 check\n";
    }
    return skipped == 0 && failed == 0 ? kExitOk : kExitEntryFailed;
}

} // namespace zorvi::cli
