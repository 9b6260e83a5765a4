// zorvi-unzip run as a user runs it, for the tests of the command line: a real process,
// its output and its exit status.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace zorvi::test {

struct TRun {
    int Status = -1;
    std::string Output;
};

/// Runs a shell command line; standard error joins the output.
inline TRun RunShell(const std::string& command) {
    TRun run;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    char buffer[4096];
    std::size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        run.Output.append(buffer, n);
    }
    const int status = pclose(pipe);
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

/// Runs zorvi-unzip without a terminal on its standard input.
inline TRun RunUnzip(const std::string& arguments) {
    return RunShell(std::string(ZORVI_UNZIP_EXE) + " " + arguments + " </dev/null");
}

inline std::string Quote(const std::filesystem::path& path) {
    return "'" + path.string() + "'";
}

} // namespace zorvi::test
