// Closes the console window of the flashing batch with its close box, as an operator
// does who gives up on a flashing: at the batch's key prompt after a failed tool run,
// or while the tool runs (a tool that hangs). The batch is the cmd.exe that
// ZorviUpdate.exe started; its console window is found by attaching to its console.
//
//   e2e-close-console TIMEOUT_MS at-prompt|while-tool [--confirm]
//       exit 0: the window was closed and the batch ended; 3: no batch in that
//       state in time; 4: its console window was not found; 5: the batch did not
//       end after the close
//
// With --confirm it prints "ready" once the batch is in that state and closes the
// window when a line arrives on its input (the test does its part meanwhile).
#include "BatchProcess.h"

#include "win32/base/Handles.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using namespace zorvi::e2e;
using zorvi::TKernelHandle;

/// How long the batch may take to end once its window was closed.
constexpr DWORD kEndAfterCloseMs = 10000;

HWND ConsoleWindowOf(DWORD batch) {
    FreeConsole();
    if (!AttachConsole(batch)) {
        return nullptr;
    }
    HWND window = GetConsoleWindow();
    // Detached at once: the close goes to the batch and its tool, not to us.
    FreeConsole();
    return window;
}

} // namespace

int main(int argc, char** argv) {
    using namespace std::chrono;
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    if (argc < 3) {
        std::fprintf(stderr, "usage: e2e-close-console TIMEOUT_MS at-prompt|while-tool "
                             "[--confirm]\n");
        return 2;
    }
    const auto end = steady_clock::now() + milliseconds(std::atoi(argv[1]));
    const std::string when = argv[2];
    const bool confirm = argc > 3 && std::string(argv[3]) == "--confirm";
    const DWORD batch = when == "at-prompt" ? AwaitBatchAtPrompt(end) : AwaitToolRunning(end);
    if (batch == 0) {
        std::fprintf(stderr, "no batch of ZorviUpdate.exe %s\n",
                     when == "at-prompt" ? "waiting for a key" : "running a tool");
        ListProcesses();
        return 3;
    }
    const TKernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, batch));
    HWND window = ConsoleWindowOf(batch);
    if (!process.Valid() || window == nullptr) {
        std::fprintf(stderr, "the batch's console window was not found (%lu)\n", GetLastError());
        return 4;
    }
    if (confirm) {
        std::printf("ready\n");
        std::fflush(stdout);
        char line[16];
        std::fgets(line, sizeof line, stdin);
    }
    // The close box: the system's close command, which the window turns into WM_CLOSE.
    PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    if (WaitForSingleObject(process.Get(), kEndAfterCloseMs) != WAIT_OBJECT_0) {
        std::fprintf(stderr, "the batch did not end after its window was closed\n");
        return 5;
    }
    std::printf("closed\n");
    return 0;
}
