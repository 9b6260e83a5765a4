// The flashing batch as the end-to-end tools find it from outside: the cmd.exe that
// ZorviUpdate.exe started, and whether a program (the tool) runs under it.
#pragma once

#include <windows.h>

#include <chrono>
#include <string>
#include <vector>

namespace zorvi::e2e {

struct TProcess {
    DWORD Id = 0;
    DWORD Parent = 0;
    std::wstring Name;
};

/// Every process of the prefix now.
std::vector<TProcess> Processes();

/// The batch's cmd.exe (0 while there is none) and whether a tool runs under it.
struct TBatchState {
    DWORD Batch = 0;
    bool ToolRunning = false;
};

TBatchState FindBatch();

/// Waits until the batch waits at its key prompt, that is once the tool it ran has
/// ended (a tool too quick to be seen counts as ended when the batch has had no child
/// for 3 s), and returns the batch; 0 when none did before `end`.
DWORD AwaitBatchAtPrompt(std::chrono::steady_clock::time_point end);

/// Waits until a tool runs under the batch and returns the batch; 0 when none did
/// before `end`.
DWORD AwaitToolRunning(std::chrono::steady_clock::time_point end);

/// Prints every process of the prefix to standard error, after a failed wait.
void ListProcesses();

} // namespace zorvi::e2e
