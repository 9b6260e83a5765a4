// Reads what the flashing batch shows in its console, as the operator reads it: the
// batch is the cmd.exe that ZorviUpdate.exe started. The console's lines are
// followed from the moment the batch appears until it ends, so that lines that
// scroll out of its 20-row buffer are kept too; then they are printed (UTF-8, one a
// line, blanks at their ends removed), each line once, in the order they appeared
// (a line read half written counts as the line it became).
// Attached to the console, this program keeps it open after the batch has ended, so
// the last lines are read as they were left.
//
//   e2e-batch-console [TIMEOUT_MS]   exit 0: printed; 3: no batch in time;
//                                    4: the console could not be read
#include "BatchProcess.h"

#include "win32/base/Handles.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace zorvi::e2e;
using zorvi::TKernelHandle;

/// How often the screen is read while the batch runs.
constexpr DWORD kReadIntervalMs = 20;

/// The console's rows, blanks at their ends removed; nothing when it cannot be read.
bool ReadRows(HANDLE output, std::vector<std::wstring>& rows) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(output, &info)) {
        return false;
    }
    rows.clear();
    const SHORT width = info.dwSize.X;
    std::wstring row(static_cast<std::size_t>(width), L' ');
    for (SHORT y = 0; y < info.dwSize.Y; ++y) {
        DWORD read = 0;
        if (!ReadConsoleOutputCharacterW(output, row.data(), static_cast<DWORD>(width), {0, y},
                                         &read)) {
            return false;
        }
        std::wstring text = row.substr(0, read);
        text.erase(text.find_last_not_of(L' ') + 1);
        rows.push_back(text);
    }
    return true;
}

/// Adds the non-empty rows not yet seen, in screen order. A row read while it was
/// being written is the start of what it becomes: the longer one takes its place.
void Merge(const std::vector<std::wstring>& rows, std::vector<std::wstring>& seen) {
    for (const std::wstring& row : rows) {
        if (row.empty()) {
            continue;
        }
        const auto related = std::find_if(seen.begin(), seen.end(), [&](const std::wstring& old) {
            return row.starts_with(old) || old.starts_with(row);
        });
        if (related == seen.end()) {
            seen.push_back(row);
        } else if (row.size() > related->size()) {
            *related = row;
        }
    }
}

void PrintUtf8(const std::wstring& line) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), bytes.data(), size,
                        nullptr, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fputc('\n', stdout);
}

} // namespace

int main(int argc, char** argv) {
    using namespace std::chrono;
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    const auto end = steady_clock::now() + milliseconds(argc > 1 ? std::atoi(argv[1]) : 60000);
    DWORD batch = 0;
    while ((batch = FindBatch().Batch) == 0) {
        if (steady_clock::now() > end) {
            std::fprintf(stderr, "no batch of ZorviUpdate.exe appeared\n");
            return 3;
        }
        std::this_thread::sleep_for(milliseconds(10));
    }
    const TKernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, batch));
    if (!process.Valid()) {
        std::fprintf(stderr, "the batch's process could not be opened (%lu)\n", GetLastError());
        return 4;
    }
    // A batch that has only just started may not have its console yet.
    FreeConsole();
    bool attached = false;
    for (int attempt = 0; attempt < 100 && !attached; ++attempt) {
        attached = AttachConsole(batch) != 0;
        if (!attached) {
            std::this_thread::sleep_for(milliseconds(kReadIntervalMs));
        }
    }
    if (!attached) {
        std::fprintf(stderr, "the batch's console could not be attached (%lu)\n", GetLastError());
        return 4;
    }
    TKernelHandle output(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                     nullptr));
    std::vector<std::wstring> rows;
    std::vector<std::wstring> seen;
    bool ended = false;
    while (!ended) {
        ended = WaitForSingleObject(process.Get(), kReadIntervalMs) == WAIT_OBJECT_0;
        if (!ReadRows(output.Get(), rows)) {
            std::fprintf(stderr, "the batch's console could not be read\n");
            return 4;
        }
        Merge(rows, seen);
    }
    output.Close();
    FreeConsole();
    for (const std::wstring& line : seen) {
        PrintUtf8(line);
    }
    std::fflush(stdout);
    return 0;
}
