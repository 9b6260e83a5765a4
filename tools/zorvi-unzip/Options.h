// The command line of zorvi-unzip, parsed.
#pragma once

#include "zip/UnZip.h"

#include <optional>
#include <string>
#include <vector>

namespace zorvi::cli {

struct TOptions {
    bool Help = false;    // -h, --help
    bool Version = false; // --version
    bool List = false;
    bool Test = false; // -t: decode and check, write nothing
    bool Pipe = false; // -p: the entries' data to standard output
    bool Quiet = false;
    bool JunkPaths = false; // -j: no folders below the destination
    int Threads = 0;        // -T: threads extracting entries; 0: one per processor core
    std::string DestDir = ".";
    std::string RootDir;
    std::optional<std::string> Password;
    TUZOverwriteMode Overwrite = TUZOverwriteMode::Prompt;
    TIncompleteZipMode Incomplete = TIncompleteZipMode::izAssumeMulti;
    TZipSortMode Sort = TZipSortMode::ByNone;
    std::string Archive;
    std::vector<std::string> Masks;
    std::vector<std::string> Excludes; // -x
};

/// Parses the arguments after the program name; on a mistake returns none and sets error.
/// With -h or --version anywhere no archive is needed, but every other word must still be
/// a known option: a mistyped command line is reported, never half obeyed.
std::optional<TOptions> ParseOptions(const std::vector<std::string>& args, std::string& error);

/// The text -h prints.
std::string UsageText();

/// The line --version prints: the program's name and the project's version.
std::string VersionText();

} // namespace zorvi::cli
