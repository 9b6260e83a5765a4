// gui-driver: drives a running ZorviUpdate.exe as a person would, one action per
// run. Run with -h for the commands and exit codes.
#include "tools/gui-driver/Command.h"
#include "tools/gui-driver/Output.h"
#include "tools/gui-driver/WindowQueries.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace zorvi::driver {
namespace {

void PrintHelp() {
    PrintLine("usage: gui-driver COMMAND [ARGUMENTS] [--timeout MS] [--exact] [--raw]");
    PrintLine("");
    PrintLine("commands:");
    for (const TCommand& command : AllCommands()) {
        std::string line = std::string("  ") + command.Name;
        if (*command.Synopsis)
            line += std::string(" ") + command.Synopsis;
        PrintLine(line);
        PrintLine(std::string("      ") + command.Help);
    }
    PrintLine("");
    PrintLine("--timeout MS  how long to wait for a window or a row (default 10000)");
    PrintLine("--raw         log and clipboard: the texts as they are, CR and LF unescaped");
    PrintLine("              (log: every row ended by a NUL byte), for exact comparisons");
    PrintLine("");
    PrintLine("exit codes: 0 done / yes, 1 no / cannot now, 2 usage, 3 not found in time,");
    PrintLine("            4 the program did not answer");
}

int Run(int argc, wchar_t** argv) {
    TArguments arguments;
    std::string name;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = Utf8(argv[i]);
        if (argument == "-h" || argument == "--help") {
            PrintHelp();
            return kExitOk;
        }
        if (argument == "--exact") {
            arguments.Exact = true;
        } else if (argument == "--raw") {
            arguments.Raw = true;
        } else if (argument == "--timeout") {
            if (i + 1 >= argc) {
                PrintError("--timeout needs a value in milliseconds");
                return kExitUsage;
            }
            const std::string value = Utf8(argv[++i]);
            char* end = nullptr;
            const long long ms = std::strtoll(value.c_str(), &end, 10);
            if (!end || *end != '\0' || ms < 0) {
                PrintError("bad --timeout value \"" + value + "\"");
                return kExitUsage;
            }
            arguments.Timeout = std::chrono::milliseconds(ms);
        } else if (name.empty()) {
            name = argument;
        } else {
            arguments.Positional.push_back(argument);
        }
    }
    if (name.empty()) {
        PrintHelp();
        return kExitUsage;
    }
    for (const TCommand& command : AllCommands()) {
        if (name != command.Name)
            continue;
        if (arguments.Positional.size() != command.Arguments) {
            PrintError(name + " takes " + std::to_string(command.Arguments) + " argument(s)");
            return kExitUsage;
        }
        return command.Run(arguments);
    }
    PrintError("unknown command \"" + name + "\" (-h lists them)");
    return kExitUsage;
}

} // namespace
} // namespace zorvi::driver

int wmain(int argc, wchar_t** argv) {
    // A crash of the driver must end it, not wait for a click on a dialog.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    // Window rectangles and pointer positions in the screen's own pixels, as the
    // program (which scales itself) has them, not scaled down to 96 DPI.
    SetProcessDPIAware();
    // UTF-8 bytes out as they are: no LF to CR LF translation.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    return zorvi::driver::Run(argc, argv);
}
