// Presses Enter in the console of the flashing batch, as the operator does to answer
// its "pause" after a failed tool run. The batch is the cmd.exe that ZorviUpdate.exe
// started; the key goes in once the tool it ran has ended, so that it is the
// prompt, not the tool, that reads it.
//
//   e2e-press-key [TIMEOUT_MS [--confirm]]   exit 0: pressed; 3: no such batch in time
//
// With --confirm it prints "waiting" when the batch waits for the key and presses it
// once a line arrives on its input (the test takes its screenshot meanwhile).
#include "BatchProcess.h"

#include "win32/base/Handles.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace {

using namespace zorvi::e2e;
using zorvi::TKernelHandle;

bool PressEnter(DWORD batch) {
    FreeConsole();
    if (!AttachConsole(batch)) {
        return false;
    }
    TKernelHandle input(CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                    nullptr));
    if (!input.Valid()) {
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
    const bool done = WriteConsoleInputW(input.Get(), keys, 2, &written) && written == 2;
    input.Close();
    FreeConsole();
    return done;
}

} // namespace

int main(int argc, char** argv) {
    using namespace std::chrono;
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    const auto end = steady_clock::now() + milliseconds(argc > 1 ? std::atoi(argv[1]) : 60000);
    const bool confirm = argc > 2 && std::string(argv[2]) == "--confirm";
    while (const DWORD batch = AwaitBatchAtPrompt(end)) {
        if (confirm) {
            std::printf("waiting\n");
            std::fflush(stdout);
            char line[16];
            std::fgets(line, sizeof line, stdin);
        }
        if (PressEnter(batch)) {
            return 0;
        }
        std::this_thread::sleep_for(milliseconds(50));
    }
    std::fprintf(stderr, "no batch of ZorviUpdate.exe waiting for a key\n");
    ListProcesses();
    return 3;
}
