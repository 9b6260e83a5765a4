// Presses Enter in the console of the flashing batch, as the operator does to answer
// its "pause" after a failed tool run. The batch is the cmd.exe that ZorviUpdate.exe
// started; the key goes in once the tool it ran has ended, so that it is the
// prompt, not the tool, that reads it.
//
//   e2e-press-key [TIMEOUT_MS [--confirm]]   exit 0: pressed; 3: no such batch in time
//
// With --confirm it prints "waiting" when the batch waits for the key and presses it
// once a line arrives on its input (the test takes its screenshot meanwhile).
#include <windows.h>

#include <tlhelp32.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

struct TProcess {
    DWORD Id = 0;
    DWORD Parent = 0;
    std::wstring Name;
};

std::vector<TProcess> Processes() {
    std::vector<TProcess> all;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return all;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        all.push_back({entry.th32ProcessID, entry.th32ParentProcessID, entry.szExeFile});
    }
    CloseHandle(snapshot);
    return all;
}

bool SameName(const std::wstring& a, const wchar_t* b) {
    return lstrcmpiW(a.c_str(), b) == 0;
}

// The batch's cmd.exe (0 while there is none) and whether a tool runs under it.
struct TBatchState {
    DWORD Batch = 0;
    bool ToolRunning = false;
};

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

bool PressEnter(DWORD batch) {
    FreeConsole();
    if (!AttachConsole(batch)) {
        return false;
    }
    HANDLE input =
        CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (input == INVALID_HANDLE_VALUE) {
        return false;
    }
    INPUT_RECORD keys[2] = {};
    for (int i = 0; i < 2; ++i) {
        keys[i].EventType = KEY_EVENT;
        keys[i].Event.KeyEvent.bKeyDown = i == 0;
        keys[i].Event.KeyEvent.wRepeatCount = 1;
        keys[i].Event.KeyEvent.wVirtualKeyCode = VK_RETURN;
        keys[i].Event.KeyEvent.uChar.UnicodeChar = L'\r';
    }
    DWORD written = 0;
    const bool done = WriteConsoleInputW(input, keys, 2, &written) && written == 2;
    CloseHandle(input);
    FreeConsole();
    return done;
}

} // namespace

int main(int argc, char** argv) {
    using namespace std::chrono;
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    const auto end = steady_clock::now() + milliseconds(argc > 1 ? std::atoi(argv[1]) : 60000);
    const bool confirm = argc > 2 && std::string(argv[2]) == "--confirm";
    // The batch waits at its prompt once the tool it ran has ended; a tool too quick
    // to be seen counts as ended when the batch has had no child for a while.
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
            if (confirm) {
                std::printf("waiting\n");
                std::fflush(stdout);
                char line[16];
                std::fgets(line, sizeof line, stdin);
            }
            if (PressEnter(state.Batch)) {
                return 0;
            }
        }
        std::this_thread::sleep_for(milliseconds(50));
    }
    std::fprintf(stderr, "no batch of ZorviUpdate.exe waiting for a key; processes:\n");
    for (const TProcess& process : Processes()) {
        std::fprintf(stderr, "  %lu (parent %lu) %ls\n", static_cast<unsigned long>(process.Id),
                     static_cast<unsigned long>(process.Parent), process.Name.c_str());
    }
    return 3;
}
