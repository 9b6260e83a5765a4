// zorvi-unzip: the extraction component without the wizard, on the command line.
#include "Commands.h"
#include "Options.h"

#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

namespace {

int Run(const std::vector<std::string>& args) {
    using namespace zorvi::cli;
    std::string error;
    const auto options = ParseOptions(args, error);
    if (!options) {
        // Its own status: a script can tell a mistyped command from an unreadable archive.
        std::cerr << "zorvi-unzip: " << error << "\nTry 'zorvi-unzip --help' for the options.\n";
        return kExitUsage;
    }
    if (options->Help || options->Version) {
        std::cout << (options->Help ? UsageText() : VersionText()) << std::flush;
        return std::cout ? kExitOk : kExitArchiveUnreadable;
    }
    return options->List ? RunList(*options, std::cout, std::cerr)
                         : RunExtract(*options, std::cout, std::cerr);
}

} // namespace

#ifdef _WIN32
// The wide entry point: arguments arrive as UTF-16 and are turned into UTF-8.
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        const auto utf8 = std::filesystem::path(argv[i]).u8string();
        args.emplace_back(utf8.begin(), utf8.end());
    }
    return Run(args);
}
#else
int main(int argc, char** argv) {
    return Run(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
