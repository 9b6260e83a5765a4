// instrument-sim: plays the instrument behind a pseudo-terminal so the program's
// serial code can be tested for real. Prints the slave's path on the first line of
// standard output, then serves until its time limit, a "quit" command or a signal.
#include "Options.h"
#include "Pty.h"
#include "SimLog.h"
#include "Simulator.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <iostream>

namespace {

// Set by SIGINT/SIGTERM so the loop ends and the link is removed.
std::atomic<bool> stopRequested{false};

void RequestStop(int) {
    stopRequested = true;
}

} // namespace

int main(int argc, char** argv) {
    using namespace zorvi::sim;
    TInstrumentOptions options;
    try {
        options = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& error) {
        std::cerr << "instrument-sim: " << error.what() << "\n" << Usage();
        return 2;
    }

    std::signal(SIGINT, RequestStop);
    std::signal(SIGTERM, RequestStop);
    std::signal(SIGPIPE, SIG_IGN);

    try {
        TPseudoTerminal line;
        TSimLog log(options.LogPath);
        if (!options.Link.empty()) {
            std::error_code ignored;
            std::filesystem::remove(options.Link, ignored);
            std::filesystem::create_symlink(line.SlavePath(), options.Link);
        }
        std::cout << line.SlavePath() << std::endl;
        log.Line("serving on " + line.SlavePath());

        TSimulator simulator(options, line, log);
        const int status = simulator.Run(stopRequested);
        if (!options.Link.empty()) {
            std::error_code ignored;
            std::filesystem::remove(options.Link, ignored);
        }
        log.Line("ended");
        return status;
    } catch (const std::exception& error) {
        std::cerr << "instrument-sim: " << error.what() << "\n";
        return 1;
    }
}
