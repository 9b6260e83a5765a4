// A top-level dialog window that is shown modally: ShowModal disables the owner,
// shows the window and runs the message loop until the modal result is no longer
// kModalNone, then hides the window and enables the owner again. The close box sets
// the result to kModalCancel; a WM_QUIT ends the loop with kModalCancel too (the
// pump keeps the quit for the main loop).
//
// The dialog is laid out in layout pixels (see Dpi.h) and shown at the DPI of its
// monitor; when that changes (WM_DPICHANGED, or SetDpi) it resizes its client area
// and calls OnDpiChanged, where the dialog re-lays its controls.
//
// A dialog derives from TDialogWindow, creates its controls in its constructor (at
// Dpi()) and overrides OnShow / OnModalEnd / OnDpiChanged where it needs them:
//
//     class TAskForm final : public TDialogWindow {
//     public:
//         TAskForm(HWND owner, TWin32MessagePump& pump)
//             : TDialogWindow({owner, "Question", 300, 80}, pump) { ... }
//     };
//     if (form.ShowModal() == kModalResultOk) ...
#pragma once

#include "win32/ui/MessagePump.h"
#include "win32/ui/Window.h"

#include <string>

namespace zorvi {

// Modal results.
inline constexpr int kModalResultNone = 0;
inline constexpr int kModalResultOk = 1;
inline constexpr int kModalResultCancel = 2;

struct TDialogArgs {
    /// The window disabled while the dialog is up (the main window).
    HWND Owner = nullptr;
    std::string Caption;
    /// Client area size in layout pixels; the frame is added around it.
    int ClientWidth = 0;
    int ClientHeight = 0;
    /// A fixed dialog frame with a caption and a close box.
    DWORD Style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    DWORD ExStyle = WS_EX_DLGMODALFRAME;
    /// Window class of the dialog; one class per kind of dialog helps drivers.
    const wchar_t* ClassName = L"ZorviDialog";
};

class TDialogWindow : public TWindow {
public:
    TDialogWindow(const TDialogArgs& args, TWin32MessagePump& pump);
    ~TDialogWindow() override;

    /// Shows the window modally; returns the modal result (never kModalResultNone).
    int ShowModal();
    void SetModalResult(int result) { modalResult_ = result; }
    int ModalResult() const { return modalResult_; }
    bool InModalLoop() const { return inModalLoop_; }

    /// The DPI the dialog is laid out for.
    UINT Dpi() const { return dpi_; }
    /// Lays the dialog out for another DPI; its top left corner stays.
    void SetDpi(UINT dpi);

protected:
    /// Called before the window appears (position it here).
    virtual void OnShow() {}
    /// Called once the modal loop has ended, whatever the result.
    virtual void OnModalEnd() {}
    /// Called once the client area has its size for a new DPI: scale the controls.
    virtual void OnDpiChanged(UINT /*dpi*/) {}

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    /// Sizes the window for dpi with its top left corner at (left, top).
    void ResizeForDpi(UINT dpi, int left, int top);

    TWin32MessagePump& pump_;
    int clientWidth_;
    int clientHeight_;
    DWORD style_;
    DWORD exStyle_;
    UINT dpi_;
    int modalResult_ = kModalResultNone;
    bool inModalLoop_ = false;
};

} // namespace zorvi
