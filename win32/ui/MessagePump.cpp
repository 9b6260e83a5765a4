#include "win32/ui/MessagePump.h"

#include <windows.h>

namespace zorvi {

void TWin32MessagePump::Dispatch(const void* message) {
    const MSG& msg = *static_cast<const MSG*>(message);
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

void TWin32MessagePump::ProcessMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            quitRequested_ = true;
            exitCode_ = static_cast<int>(msg.wParam);
            return;
        }
        Dispatch(&msg);
    }
}

bool TWin32MessagePump::HandleMessage() {
    if (quitRequested_)
        return false;
    MSG msg;
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
        quitRequested_ = true;
        exitCode_ = static_cast<int>(msg.wParam);
        return false;
    }
    if (got == -1) {
        // Only an invalid window filter makes GetMessage fail; stop rather than spin.
        quitRequested_ = true;
        return false;
    }
    Dispatch(&msg);
    return true;
}

int TWin32MessagePump::Run() {
    while (HandleMessage()) {
    }
    return exitCode_;
}

void TWin32Clock::Sleep(std::chrono::milliseconds duration) {
    ::Sleep(duration.count() > 0 ? static_cast<DWORD>(duration.count()) : 0);
}

std::chrono::milliseconds TWin32Clock::Now() const {
    // The performance counter behind steady_clock; the tick count of GetTickCount64
    // advances in steps of one scheduler tick (10 to 16 ms).
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
}

} // namespace zorvi
