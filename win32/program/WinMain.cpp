// The program's entry: the common controls, the one copy of the session
// (SingleInstance.h), then the program's objects (Program.h) and the message loop
// until the main window closes.
#include "win32/base/Utf16.h"
#include "win32/program/Program.h"
#include "win32/program/SingleInstance.h"

#include <windows.h>

#include <commctrl.h>

#include <exception>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // Common controls 6 (chosen by the manifest) for the themed message boxes.
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_STANDARD_CLASSES;
    InitCommonControlsEx(&controls);
    // One copy per session: a second start shows the running copy instead.
    const zorvi::TSingleInstance instance;
    if (!instance.FirstCopy()) {
        zorvi::BringRunningCopyToFront();
        return 0;
    }
    try {
        zorvi::TProgram program;
        return program.Run();
    } catch (const std::exception& error) {
        // Only window creation throws; without a window there is nothing to run.
        MessageBoxW(nullptr, zorvi::WideFromUtf8(error.what()).c_str(), L"ZorviUpdate",
                    MB_OK | MB_ICONERROR);
        return 1;
    }
}
