// Starts a program in a console window of its own, placed beside the main window,
// and waits until the program ends, handling the thread's window messages meanwhile
// so that the main window repaints and answers for the whole run.
#pragma once

#include "app/ProcessRunner.h"
#include "common/Clock.h"

#include <windows.h>

#include <functional>

namespace zorvi {

class TConsoleProcessRunner final : public TProcessRunner {
public:
    /// mainWindow gives the window the console opens beside (may be null: then the
    /// console opens at the screen's top left); pump handles the messages that come
    /// while the program runs.
    TConsoleProcessRunner(std::function<HWND()> mainWindow, TMessagePump& pump)
        : mainWindow_(std::move(mainWindow)), pump_(pump) {}
    std::optional<std::uint32_t> RunAndWait(const TConsoleLaunch& launch) override;

private:
    std::function<HWND()> mainWindow_;
    TMessagePump& pump_;
};

} // namespace zorvi
