// The application's own window: never seen, it carries the application title, which
// is the text of the program's taskbar entry, and owns the main window, so the main
// window's caption can differ from the title. Minimising the main window minimises
// this one (the taskbar entry); restoring this one brings the main window back.
#pragma once

#include "win32/ui/Window.h"

#include <string>

namespace zorvi {

class TApplicationWindow final : public TWindow {
public:
    static constexpr const wchar_t* kClassName = L"ZorviApplication";

    /// Creates the window; set the title before any other window is created.
    TApplicationWindow(const std::string& title, HICON icon);
    ~TApplicationWindow() override;

    void SetMainWindow(HWND mainWindow) { mainWindow_ = mainWindow; }
    /// Minimises the application (called by the main window's minimise box).
    void Minimize();

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void RestoreMainWindow();

    HWND mainWindow_ = nullptr;
    bool mainWindowHidden_ = false;
};

} // namespace zorvi
