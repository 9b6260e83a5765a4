// The update workflow plugged into the real program: the main window's Start runs
// it, the connect dialog and the serial link find and recalibrate the instrument,
// the shell, the file system, the process runner and the embedded archive serve
// the work folder. One object for the program's whole run, made after the windows.
// It also saves the log when the technician asks (the log's menu), proposing the
// work folder.
#pragma once

#include "app/UpdateWorkflow.h"
#include "app/adapters/DeviceAdapters.h"
#include "app/adapters/UnZipExtractor.h"
#include "win32/app/ConsoleProcessRunner.h"
#include "win32/app/ResourceArchive.h"
#include "win32/app/ShellPersonalFolder.h"
#include "win32/app/Win32FileSystem.h"
#include "win32/ui/MainForm.h"
#include "zip/UnZip.h"

namespace zorvi::win32app {

class TUpdateWizard {
public:
    /// Installs itself as the main window's Start handler and as what saves its log.
    /// All arguments outlive it.
    TUpdateWizard(TMainForm& mainForm, TConnectToDeviceForm& connectForm, TDeviceLink link,
                  TMessageBoxes& boxes);
    ~TUpdateWizard();
    TUpdateWizard(const TUpdateWizard&) = delete;
    TUpdateWizard& operator=(const TUpdateWizard&) = delete;

    /// The extraction component the main window uses for the whole run.
    TUnZip& UnZip() { return UnZip_; }

private:
    /// The main window's log and Start button, as the Start frame handles them.
    class TMainFormView final : public TStartFrameView {
    public:
        explicit TMainFormView(TMainForm& form) : Form(form) {}
        void ClearLog() override { Form.ClearLog(); }
        void SetStartEnabled(bool enabled) override { Form.SetStartEnabled(enabled); }

    private:
        TMainForm& Form;
    };

    void StartButtonClick();
    void SaveLogClick();

    TMainForm& MainForm_;
    TMessageBoxes& Boxes_;
    TMainFormView View_;
    TConnectDialogDevice Device_;
    TSerialRecalibration Recalibration_;
    TShellPersonalFolder Personal_;
    TWin32FileSystem Files_;
    TResourceArchive Archive_;
    TUnZip UnZip_;
    TUnZipExtractor Extractor_;
    TConsoleProcessRunner Runner_;
    TUpdateWorkflow Workflow_;
};

} // namespace zorvi::win32app
