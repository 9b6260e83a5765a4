// The program's objects, made and wired in one place for its whole run: the
// application window with its title, the main window, the connect dialog on the
// Windows serial port and registry list, and the update workflow behind Start with
// the parts it works with (the shell's documents folder, the work folder's files,
// the console process runner, the embedded archive, the extraction component). The
// main window's log menu saves the log through the same folder and files.
#pragma once

#include "app/UpdateWorkflow.h"
#include "app/adapters/DeviceAdapters.h"
#include "app/adapters/UnZipExtractor.h"
#include "win32/app/ConsoleProcessRunner.h"
#include "win32/app/ResourceArchive.h"
#include "win32/app/ShellPersonalFolder.h"
#include "win32/app/Win32FileSystem.h"
#include "win32/device/ConnectToDevice.h"
#include "win32/ui/ApplicationWindow.h"
#include "win32/ui/MainForm.h"
#include "win32/ui/MessageBoxes.h"
#include "win32/ui/MessagePump.h"
#include "zip/UnZip.h"

namespace zorvi {

class TProgram {
public:
    /// Makes every object, the windows hidden, and installs the main window's
    /// handlers. Throws std::runtime_error when a window cannot be created.
    TProgram();
    ~TProgram();
    TProgram(const TProgram&) = delete;
    TProgram& operator=(const TProgram&) = delete;

    /// Shows the main window and runs the message loop until it closes; the exit code.
    int Run();

private:
    /// The main window's log and Start button, as the Start frame handles them.
    class TMainFormView final : public TStartFrameView {
    public:
        explicit TMainFormView(TMainForm& form) : form_(form) {}
        void ClearLog() override { form_.ClearLog(); }
        void SetStartEnabled(bool enabled) override { form_.SetStartEnabled(enabled); }

    private:
        TMainForm& form_;
    };

    void SaveLogClick();

    // In the order of making: the title belongs to the application before any
    // window exists, and the connect dialog is owned by the main window.
    TWin32MessagePump pump_;
    TApplicationWindow application_;
    TMainForm mainForm_;
    TWin32Clock clock_;
    TConnectToDevice connect_;
    TWin32MessageBoxes boxes_;
    TMainFormView view_;
    TConnectDialogDevice device_;
    TSerialRecalibration recalibration_;
    TShellPersonalFolder personal_;
    TWin32FileSystem files_;
    TResourceArchive archive_;
    TUnZip unZip_;
    TUnZipExtractor extractor_;
    TConsoleProcessRunner runner_;
    TUpdateWorkflow workflow_;
};

} // namespace zorvi
