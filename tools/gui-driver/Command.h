// The driver's commands: each is one entry of a table (name, arguments, help, run
// function) kept by the file that implements it. A new group of commands goes in a
// new file with its own table, listed once in CommandTable.cpp.
#pragma once

#include <windows.h>

#include <chrono>
#include <span>
#include <string>
#include <vector>

namespace zorvi::driver {

// Exit codes of every command.
inline constexpr int kExitOk = 0;       // done, or the condition holds
inline constexpr int kExitNo = 1;       // the condition does not hold / not allowed now
inline constexpr int kExitUsage = 2;    // bad command line
inline constexpr int kExitNotFound = 3; // the window or row did not appear in time
inline constexpr int kExitNoAnswer = 4; // the program did not answer a message in time

/// A command's arguments, UTF-8, with "--timeout MS" already taken out.
struct TArguments {
    std::vector<std::string> Positional;
    std::chrono::milliseconds Timeout{10000};
    bool Exact = false; // "--exact": whole-row comparison instead of substring
    bool Raw = false;   // "--raw": texts as they are (log rows each ended by a NUL)
};

struct TCommand {
    const char* Name;
    /// Positional arguments, as shown in the help.
    const char* Synopsis;
    const char* Help;
    /// Number of positional arguments it needs.
    size_t Arguments;
    int (*Run)(const TArguments& arguments);
};

/// The program's main window, once it shows (MainWindowCommands.cpp); prints why not
/// and returns nullptr when it does not within the time-out.
HWND AwaitMainWindow(const TArguments& arguments);
/// The visible top-level window captioned by the first argument, once it shows
/// (WindowCommands.cpp); prints why not and returns nullptr on time-out.
HWND AwaitWindow(const TArguments& arguments);

std::span<const TCommand> MainWindowCommands();
std::span<const TCommand> MessageBoxCommands();
std::span<const TCommand> WindowCommands();
std::span<const TCommand> LogMenuCommands();
std::span<const TCommand> LayoutCommands();

/// Every command of the driver, in help order.
std::vector<TCommand> AllCommands();

} // namespace zorvi::driver
