// A stand-in for the flashing tool in the runner's tests. It notes its arguments and
// current folder in tool-run.txt, then ends with the status written in
// tool-status.txt (decimal, may be negative). Before a failing status it types a key
// into its console, as the operator does to answer the batch's "pause".
// Started with --startup-info it only writes the STARTUPINFO it was given to
// tool-startup.txt: flags, show, x, y, width, height, columns, rows, title; with
// --sleep MS it only waits that long (a long tool run).
#include "win32/base/Handles.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

using zorvi::TKernelHandle;

void PressAKey() {
    TKernelHandle input(CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                    nullptr));
    if (!input.Valid()) {
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
    WriteConsoleInputW(input.Get(), keys, 2, &written);
}

} // namespace

void WriteStartupInfo() {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    GetStartupInfoW(&startup);
    char title[256] = {};
    if (startup.lpTitle != nullptr) {
        WideCharToMultiByte(CP_UTF8, 0, startup.lpTitle, -1, title, sizeof title, nullptr, nullptr);
    }
    std::ofstream out("tool-startup.txt", std::ios::binary);
    out << startup.dwFlags << "\n"
        << startup.wShowWindow << "\n"
        << startup.dwX << "\n"
        << startup.dwY << "\n"
        << startup.dwXSize << "\n"
        << startup.dwYSize << "\n"
        << startup.dwXCountChars << "\n"
        << startup.dwYCountChars << "\n"
        << title << "\n";
}

int main(int argc, char** argv) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    if (argc == 2 && std::string(argv[1]) == "--startup-info") {
        WriteStartupInfo();
        return 0;
    }
    if (argc == 3 && std::string(argv[1]) == "--sleep") {
        Sleep(static_cast<DWORD>(std::atoi(argv[2])));
        return 0;
    }
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
