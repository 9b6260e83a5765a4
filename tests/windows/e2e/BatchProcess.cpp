#include "BatchProcess.h"

#include "win32/base/Handles.h"

#include <tlhelp32.h>

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

} // namespace zorvi::e2e
