#include "Options.h"

#include "common/Version.h"

#include <algorithm>
#include <map>

namespace zorvi::cli {
namespace {

template <typename T>
bool Lookup(const std::map<std::string, T>& table, const std::string& word, T& value) {
    const auto it = table.find(word);
    if (it == table.end()) {
        return false;
    }
    value = it->second;
    return true;
}

const std::map<std::string, TUZOverwriteMode> kOverwriteModes = {
    {"prompt", TUZOverwriteMode::Prompt},
    {"always", TUZOverwriteMode::Always},
    {"never", TUZOverwriteMode::Never},
    {"ifnewer", TUZOverwriteMode::ifNewer},
    {"ifolder", TUZOverwriteMode::ifOlder}};

const std::map<std::string, TIncompleteZipMode> kIncompleteModes = {
    {"multi", TIncompleteZipMode::izAssumeMulti},
    {"bad", TIncompleteZipMode::izAssumeBad},
    {"notazip", TIncompleteZipMode::izAssumeNotAZip}};

const std::map<std::string, TZipSortMode> kSortModes = {{"name", TZipSortMode::ByName},
                                                        {"filename", TZipSortMode::ByFileName},
                                                        {"dir", TZipSortMode::ByDirectoryName},
                                                        {"date", TZipSortMode::ByDate},
                                                        {"csize", TZipSortMode::ByCompressedSize},
                                                        {"usize", TZipSortMode::ByUnCompressedSize},
                                                        {"rate", TZipSortMode::ByRate},
                                                        {"none", TZipSortMode::ByNone}};

/// A thread count of 1 to kMaxThreads, in decimal digits alone.
bool ParseThreads(const std::string& text, int& threads) {
    constexpr int kMaxThreads = 64;
    if (text.empty() || text.size() > 2 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return false;
    }
    const int value = std::stoi(text);
    if (value < 1 || value > kMaxThreads) {
        return false;
    }
    threads = value;
    return true;
}

} // namespace

std::string UsageText() {
    return "Usage:\n"
           "  zorvi-unzip -l [-i MODE] [-s ORDER] ARCHIVE\n"
           "  zorvi-unzip [-d DIR] [-o MODE] [-j] [-r ROOT] [-i MODE] [-P PASSWORD] [-q]\n"
           "              [-x MASK]... [-T THREADS] ARCHIVE [MASK...]\n"
           "  zorvi-unzip -t [-i MODE] [-P PASSWORD] [-q] [-x MASK]... ARCHIVE [MASK...]\n"
           "  zorvi-unzip -p [-i MODE] [-P PASSWORD] [-x MASK]... ARCHIVE [MASK...]\n"
           "  zorvi-unzip -h | --help | --version\n"
           "\n"
           "Lists, extracts or tests the entries of a ZIP archive.\n"
           "\n"
           "  -l           list the entries: name, method, compressed size, size, CRC-32,\n"
           "               date and time, separated by tabs; then the archive comment\n"
           "  -t           test the entries: decode each and check its CRC-32 and size,\n"
           "               writing nothing; the exit status is that of an extraction\n"
           "  -p           write the entries' data to standard output, one after the\n"
           "               other, and nothing else there (problems go to standard error);\n"
           "               the exit status is that of an extraction\n"
           "  -s ORDER     order of the list: name, filename, dir, date, csize, usize,\n"
           "               rate or none (archive order, the default)\n"
           "  -i MODE      when the archive has no end record: multi (a volume of a\n"
           "               multi-volume archive, an error; the default), bad (rebuild the\n"
           "               list from the local headers) or notazip (an error)\n"
           "  -d DIR       extract into DIR (default: the current folder)\n"
           "  -o MODE      existing files: prompt (ask on the terminal, no without one;\n"
           "               the default), always, never, ifnewer (replace when the entry\n"
           "               is newer), ifolder (replace when the entry is older)\n"
           "  -j           put every file into DIR itself, without the archive's folders\n"
           "  -r ROOT      strip the leading archive folder ROOT from the entries' folders\n"
           "  -P PASSWORD  password of encrypted entries; a wrong one is asked again on a\n"
           "               terminal, and the entry is skipped without one\n"
           "  -q           quiet: no line per entry, no progress bar\n"
           "  -T THREADS   extract up to THREADS entries at once (1 to 64; default: one per\n"
           "               processor core); -T 1 extracts one entry after the other.\n"
           "               Lines and results are the same either way; encrypted entries\n"
           "               and entries whose file exists are extracted one at a time, and\n"
           "               so is every entry of an archive of several volumes, and every\n"
           "               entry with -t or -p\n"
           "  -x MASK      leave out the entries matching MASK (written as the masks\n"
           "               below), whatever the masks select; may be given more than once\n"
           "  -h, --help   this text\n"
           "  --version    the program's version\n"
           "  --           what follows is the archive and masks, even when it begins\n"
           "               with -\n"
           "  MASK         extract only the entries matching one of the masks (* any run,\n"
           "               ? one character, <a-z> one of a set, <!a-z> one not in it;\n"
           "               letter case is ignored); without masks every entry\n"
           "\n"
           "Entries whose names would climb out of DIR (a .. part) are skipped; rooted\n"
           "names and drive letters are placed below DIR; a symbolic link becomes a small\n"
           "file holding its target. The manual page (man zorvi-unzip) tells the rest.\n"
           "\n"
           "Exit status:\n"
           "  0  every selected entry extracted (or listed, or tested); -h, --version\n"
           "  1  some entry was skipped (wrong or no password, file kept, a name refused,\n"
           "     its file not created, an unsupported method) or failed (its CRC-32, its\n"
           "     size, its data, or the archive ends inside it), or was dropped from or is\n"
           "     missing in a damaged directory\n"
           "  2  the run stopped: the archive could not be read (missing, not a ZIP\n"
           "     archive, no end record, entries that overlap: a possible zip bomb; a\n"
           "     volume of it missing), or a file or standard output could not be written\n"
           "  3  bad usage: an unknown option or value, a value or the archive missing,\n"
           "     or more than one of -l, -t and -p\n";
}

std::string VersionText() {
    return std::string("zorvi-unzip ") + kVersionText + "\n";
}

std::optional<TOptions> ParseOptions(const std::vector<std::string>& args, std::string& error) {
    TOptions options;
    const auto value = [&](std::size_t& i,
                           const std::string& option) -> std::optional<std::string> {
        if (i + 1 >= args.size()) {
            error = "option " + option + " needs a value";
            return std::nullopt;
        }
        return args[++i];
    };
    bool optionsDone = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsDone || arg.size() < 2 || arg[0] != '-') {
            if (options.Archive.empty()) {
                options.Archive = arg;
            } else {
                options.Masks.push_back(arg);
            }
            continue;
        }
        if (arg == "--") {
            optionsDone = true;
        } else if (arg == "-h" || arg == "--help") {
            options.Help = true;
        } else if (arg == "--version") {
            options.Version = true;
        } else if (arg == "-l") {
            options.List = true;
        } else if (arg == "-t") {
            options.Test = true;
        } else if (arg == "-p") {
            options.Pipe = true;
        } else if (arg == "-q") {
            options.Quiet = true;
        } else if (arg == "-j") {
            options.JunkPaths = true;
        } else if (arg == "-d" || arg == "-r" || arg == "-P" || arg == "-o" || arg == "-i" ||
                   arg == "-s" || arg == "-x" || arg == "-T") {
            const auto v = value(i, arg);
            if (!v) {
                return std::nullopt;
            }
            bool known = true;
            if (arg == "-d") {
                options.DestDir = *v;
            } else if (arg == "-r") {
                options.RootDir = *v;
            } else if (arg == "-P") {
                options.Password = *v;
            } else if (arg == "-T") {
                known = ParseThreads(*v, options.Threads);
            } else if (arg == "-x") {
                options.Excludes.push_back(*v);
            } else if (arg == "-o") {
                known = Lookup(kOverwriteModes, *v, options.Overwrite);
            } else if (arg == "-i") {
                known = Lookup(kIncompleteModes, *v, options.Incomplete);
            } else {
                known = Lookup(kSortModes, *v, options.Sort);
            }
            if (!known) {
                error = "unknown value '" + *v + "' of option " + arg;
                return std::nullopt;
            }
        } else {
            error = "unknown option " + arg;
            return std::nullopt;
        }
    }
    if (!options.Help && !options.Version && options.Archive.empty()) {
        error = "no archive named";
        return std::nullopt;
    }
    if (int{options.List} + int{options.Test} + int{options.Pipe} > 1) {
        error = "options -l, -t and -p exclude each other";
        return std::nullopt;
    }
    return options;
}

} // namespace zorvi::cli
