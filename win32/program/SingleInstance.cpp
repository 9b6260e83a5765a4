#include "win32/program/SingleInstance.h"

#include "win32/ui/MainForm.h"

namespace zorvi {
namespace {

// A copy started a moment after the first finds the mark before the first's window
// exists; it looks again this often, this many times (5 s in all).
constexpr DWORD kLookInterval = 100;
constexpr int kLooks = 50;

// The mark, and the error its making left: ERROR_ALREADY_EXISTS with a handle when
// another copy made it.
HANDLE ClaimMark(DWORD& error) {
    SetLastError(ERROR_SUCCESS);
    HANDLE mutex = CreateMutexW(nullptr, FALSE, TSingleInstance::kMutexName);
    error = GetLastError();
    return mutex;
}

} // namespace

TSingleInstance::TSingleInstance() {
    DWORD error = ERROR_SUCCESS;
    mutex_ = TKernelHandle(ClaimMark(error));
    // The name exists: another copy holds it. Denied access means the same, a copy
    // started under another account in this session. Any other failure tells
    // nothing of other copies, and this one runs.
    first_ = mutex_.Valid() ? error != ERROR_ALREADY_EXISTS : error != ERROR_ACCESS_DENIED;
}

bool BringRunningCopyToFront() {
    HWND main = nullptr;
    for (int look = 0; look < kLooks && main == nullptr; ++look) {
        if (look > 0) {
            Sleep(kLookInterval);
        }
        main = FindWindowW(TMainForm::kClassName, nullptr);
    }
    if (main == nullptr) {
        return false;
    }
    // Minimised, the program is its application window on the taskbar; restoring
    // that brings the main window back (TApplicationWindow).
    HWND application = GetWindow(main, GW_OWNER);
    if (application != nullptr && IsIconic(application)) {
        ShowWindow(application, SW_RESTORE);
    }
    // A started program may take the foreground once (it was started by the one
    // that has it); the main window, or the box or dialog above it, gets it.
    HWND target = GetLastActivePopup(main);
    if (target == nullptr || !IsWindowVisible(target)) {
        target = main;
    }
    SetForegroundWindow(target);
    return true;
}

} // namespace zorvi
