// A stand-in for the flashing tool in the runner's tests. It notes its arguments and
// current folder in tool-run.txt, then ends with the status written in
// tool-status.txt (decimal, may be negative). Before a failing status it types a key
// into its console, as the operator does to answer the batch's "pause".
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

void PressAKey() {
    HANDLE input =
        CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (input == INVALID_HANDLE_VALUE) {
        return;
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
    WriteConsoleInputW(input, keys, 2, &written);
    CloseHandle(input);
}

} // namespace

int main(int argc, char** argv) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    char folder[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, folder);
    std::ofstream run("tool-run.txt", std::ios::binary);
    run << folder << "\n";
    for (int i = 1; i < argc; ++i) {
        run << argv[i] << "\n";
    }
    run.close();

    int status = 0;
    std::ifstream wanted("tool-status.txt");
    wanted >> status;
    if (status != 0) {
        PressAKey();
    }
    return status;
}
