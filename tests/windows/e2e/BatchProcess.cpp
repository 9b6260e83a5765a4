#include "BatchProcess.h"

#include "win32/base/Handles.h"

#include <tlhelp32.h>

#include <cstdio>
#include <thread>

namespace zorvi::e2e {
namespace {

bool SameName(const std::wstring& a, const wchar_t* b) {
    return lstrcmpiW(a.c_str(), b) == 0;
}

} // namespace

std::vector<TProcess> Processes() {
    std::vector<TProcess> all;
    const TKernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.Valid()) {
        return all;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more;
         more = Process32NextW(snapshot.Get(), &entry)) {
        all.push_back({entry.th32ProcessID, entry.th32ParentProcessID, entry.szExeFile});
    }
    return all;
}

TBatchState FindBatch() {
    const std::vector<TProcess> all = Processes();
    for (const TProcess& batch : all) {
        if (!SameName(batch.Name, L"cmd.exe")) {
            continue;
        }
        TBatchState state;
        bool fromWizard = false;
        for (const TProcess& other : all) {
            fromWizard |= other.Id == batch.Parent && SameName(other.Name, L"ZorviUpdate.exe");
            // The console host of the batch's window is its child too, under Wine.
            state.ToolRunning |= other.Parent == batch.Id && !SameName(other.Name, L"conhost.exe");
        }
        if (fromWizard) {
            state.Batch = batch.Id;
            return state;
        }
    }
    return {};
}

DWORD AwaitBatchAtPrompt(std::chrono::steady_clock::time_point end) {
    using namespace std::chrono;
    DWORD toolSeenUnder = 0;
    auto idleSince = steady_clock::now();
    while (steady_clock::now() < end) {
        const TBatchState state = FindBatch();
        if (state.Batch == 0 || state.ToolRunning) {
            toolSeenUnder = state.ToolRunning ? state.Batch : toolSeenUnder;
            idleSince = steady_clock::now();
        } else if (toolSeenUnder == state.Batch || steady_clock::now() - idleSince > seconds(3)) {
            // Give cmd the moment it needs to get from the tool's end to "pause".
            std::this_thread::sleep_for(milliseconds(500));
            return state.Batch;
        }
        std::this_thread::sleep_for(milliseconds(50));
    }
    return 0;
}

DWORD AwaitToolRunning(std::chrono::steady_clock::time_point end) {
    while (std::chrono::steady_clock::now() < end) {
        const TBatchState state = FindBatch();
        if (state.ToolRunning) {
            return state.Batch;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return 0;
}

void ListProcesses() {
    std::fprintf(stderr, "processes:\n");
    for (const TProcess& process : Processes()) {
        std::fprintf(stderr, "  %lu (parent %lu) %ls\n", static_cast<unsigned long>(process.Id),
                     static_cast<unsigned long>(process.Parent), process.Name.c_str());
    }
}

} // namespace zorvi::e2e
