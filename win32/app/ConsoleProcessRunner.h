// Starts a program in a console window of its own, placed beside the main window,
// and blocks until the program ends. No window messages are processed meanwhile.
#pragma once

#include "app/ProcessRunner.h"

#include <windows.h>

#include <functional>

namespace zorvi::win32app {

class TConsoleProcessRunner final : public TProcessRunner {
public:
    /// mainWindow gives the window the console opens beside (may be null: then the
    /// console opens at the screen's top left).
    explicit TConsoleProcessRunner(std::function<HWND()> mainWindow)
        : MainWindow(std::move(mainWindow)) {}
    std::optional<std::uint32_t> RunAndWait(const TConsoleLaunch& launch) override;

private:
    std::function<HWND()> MainWindow;
};

} // namespace zorvi::win32app
