// Running a program in a console window of its own and waiting for its end: how the
// flashing batch is started.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zorvi {

/// How the batch's console window is set up. Its position is the runner's business:
/// the Win32 runner opens it at the middle of the main window.
struct TConsoleLaunch {
    std::string CommandLine; // as given to the system, quoting included
    /// The new process's current folder; empty: the system's Windows folder (for a
    /// batch that changes to its own folder, which may be a network folder).
    std::string CurrentDirectory;
    /// Variables (name, value) the program gets besides the caller's environment,
    /// replacing any of the same name.
    std::vector<std::pair<std::string, std::string>> Environment;
    std::string ConsoleTitle;
    int WidthPixels = 0;
    int HeightPixels = 0;
    int BufferColumns = 0; // console screen buffer, in character cells
    int BufferRows = 0;
};

class TProcessRunner {
public:
    virtual ~TProcessRunner() = default;
    /// Starts the program, waits until it is idle for input and then, with no time
    /// limit, until it ends, handling the window's messages meanwhile (a flashing run
    /// lasts a minute or more). Returns its exit status (1 when the status cannot be
    /// read), or nothing when the process could not be created.
    virtual std::optional<std::uint32_t> RunAndWait(const TConsoleLaunch& launch) = 0;
};

} // namespace zorvi
