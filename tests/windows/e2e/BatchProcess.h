// The flashing batch as the end-to-end tools find it from outside: the cmd.exe that
// ZorviUpdate.exe started, and whether a program (the tool) runs under it.
#pragma once

#include <windows.h>

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

} // namespace zorvi::e2e
