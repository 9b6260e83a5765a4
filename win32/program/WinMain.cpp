// The program's start-up: the application title, the main window, the
// hidden connect dialog and the update workflow, then the message loop until the
// main window closes.
#include "win32/app/UpdateWizard.h"
#include "win32/base/Utf16.h"
#include "win32/device/ConnectToDevice.h"
#include "win32/ui/ApplicationWindow.h"
#include "win32/ui/MainForm.h"
#include "win32/ui/MessageBoxes.h"
#include "win32/ui/MessagePump.h"

#include <windows.h>

#include <commctrl.h>

#include <exception>

namespace zorvi {
namespace {

constexpr const char* kApplicationTitle = "Обновление ЗОРВИ-41K6УФ";
constexpr int kIconResource = 1; // assets/ZorviUpdate.rc.in

int RunProgram() {
    // Common controls 6 (chosen by the manifest) for the themed message boxes.
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_STANDARD_CLASSES;
    InitCommonControlsEx(&controls);

    TWin32MessagePump pump;
    // The title comes first: it belongs to the application, before any window.
    TApplicationWindow application(
        kApplicationTitle, LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kIconResource)));
    TMainForm mainForm(&application, pump);
    application.SetMainWindow(mainForm.Handle());

    // ---- Connect dialog (hidden, owned by mainForm) and the update workflow, which
    // ---- Start runs. The wizard owns the extraction component for the whole run.
    TWin32Clock clock;
    TConnectToDevice connect(mainForm.Handle(), pump, clock, mainForm);
    TWin32MessageBoxes boxes(mainForm.Handle());
    win32app::TUpdateWizard wizard(mainForm, connect.Form(), connect.Link(), boxes);

    mainForm.Show(SW_SHOWNORMAL);
    UpdateWindow(mainForm.Handle());
    return pump.Run();
}

} // namespace
} // namespace zorvi

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    try {
        return zorvi::RunProgram();
    } catch (const std::exception& error) {
        // Only window creation throws; without a window there is nothing to run.
        MessageBoxW(nullptr, zorvi::WideFromUtf8(error.what()).c_str(), L"ZorviUpdate",
                    MB_OK | MB_ICONERROR);
        return 1;
    }
}
