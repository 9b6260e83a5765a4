#include "win32/ui/ApplicationWindow.h"

namespace zorvi {

TApplicationWindow::TApplicationWindow(const std::string& title, HICON icon) {
    TWindowArgs window;
    window.ClassName = kClassName;
    window.ClassIcon = icon;
    window.Caption = title;
    // A visible, unowned window without a frame and of no size: it has a taskbar
    // entry but nothing on the screen.
    window.Style = WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX;
    window.Left = GetSystemMetrics(SM_CXSCREEN) / 2;
    window.Top = GetSystemMetrics(SM_CYSCREEN) / 2;
    window.Width = 0;
    window.Height = 0;
    CreateFrom(window);
    ShowWindow(Handle(), SW_SHOWNOACTIVATE);
}

TApplicationWindow::~TApplicationWindow() {
    Destroy();
}

void TApplicationWindow::Minimize() {
    if (mainWindow_ && IsWindowVisible(mainWindow_)) {
        ShowWindow(mainWindow_, SW_HIDE);
        mainWindowHidden_ = true;
    }
    ShowWindow(Handle(), SW_MINIMIZE);
}

void TApplicationWindow::RestoreMainWindow() {
    if (mainWindowHidden_ && mainWindow_) {
        mainWindowHidden_ = false;
        ShowWindow(mainWindow_, SW_SHOW);
        SetForegroundWindow(mainWindow_);
    }
}

LRESULT TApplicationWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE: {
        const LRESULT result = DefaultHandling(message, wParam, lParam);
        if (wParam == SIZE_RESTORED)
            RestoreMainWindow();
        return result;
    }
    case WM_ACTIVATE:
        // Activation of the invisible window (a click on the taskbar entry) goes on
        // to the main window, or to the modal dialog or box that is above it.
        if (LOWORD(wParam) != WA_INACTIVE && !IsIconic(Handle()) && mainWindow_) {
            const HWND target = GetLastActivePopup(mainWindow_);
            if (target && IsWindowVisible(target) && IsWindowEnabled(target))
                SetActiveWindow(target);
        }
        return 0;
    case WM_CLOSE:
        // Closing the taskbar entry closes the main window, which ends the program.
        if (mainWindow_)
            PostMessageW(mainWindow_, WM_CLOSE, 0, 0);
        return 0;
    default:
        return TWindow::HandleMessage(message, wParam, lParam);
    }
}

} // namespace zorvi
