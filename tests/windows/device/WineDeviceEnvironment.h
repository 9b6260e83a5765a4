// What the Windows device tests find around them, set up by run-device-wine-tests.sh:
// simulated instruments on pseudo-terminals linked as COM5 and COM6, each followed
// through a control file; a folder where screenshots are asked for; the GUI driver
// beside this program.
#pragma once

#include "common/ProgressLog.h"
#include "win32/base/Handles.h"

#include <windows.h>

#include <chrono>
#include <string>
#include <vector>

namespace zorvi::test {

/// A simulated instrument, told what to be through its control file.
class TSimulatedInstrument {
public:
    /// The instrument behind COM5 or COM6.
    explicit TSimulatedInstrument(const std::string& port);
    /// Carries out "set NAME=VALUE" (and the like) and waits until it has taken effect.
    void Command(const std::string& line);
    /// Back to the defaults: answering, model Zorvi-41K6UV, version 1V4.
    void Reset();
    /// The simulator's log so far.
    std::string Log() const;
    /// Whether the log shows `text` beyond its first `from` bytes within a second
    /// (the simulator reads what was written at its next turn).
    bool LogShows(const std::string& text, std::size_t from = 0) const;

private:
    std::string controlPath_;
    std::string logPath_;
    std::size_t sent_ = 0;
};

/// The serial-port list of the registry, written by the test.
void SetSerialComm(const std::vector<std::pair<std::string, std::string>>& values);
/// The same value list with one value of a type other than text added.
void AddSerialCommNumber(const std::string& name, DWORD number);
void DeleteSerialCommKey();

/// Asks the script to take a screenshot named `name` of the display and waits for it.
bool TakeScreenshot(const std::string& name);

/// Starts gui-driver.exe with the arguments (UTF-8); returns the process handle
/// (none when it did not start).
TKernelHandle StartGuiDriver(const std::vector<std::string>& arguments);
/// Waits for a process and returns its exit code (or ~0u on time-out).
DWORD WaitForExit(const TKernelHandle& process, std::chrono::milliseconds timeout);

/// A log that keeps the lines and hands them on (to the main window, when there is one).
class TRecordingLog final : public TProgressLog {
public:
    explicit TRecordingLog(TProgressLog* next = nullptr) : next_(next) {}
    void AddLogLine(const std::string& text) override {
        Lines.push_back(text);
        if (next_ != nullptr) {
            next_->AddLogLine(text);
        }
    }
    int Count(const std::string& text) const;
    std::vector<std::string> Lines;

private:
    TProgressLog* next_;
};

} // namespace zorvi::test
