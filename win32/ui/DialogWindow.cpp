#include "win32/ui/DialogWindow.h"

namespace zorvi {

TDialogWindow::TDialogWindow(const TDialogArgs& args, TWin32MessagePump& pump) : Pump_(pump) {
    RECT outer{0, 0, args.ClientWidth, args.ClientHeight};
    AdjustWindowRectEx(&outer, args.Style, FALSE, args.ExStyle);
    TWindowArgs window;
    window.ClassName = args.ClassName;
    window.ClassBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    window.Caption = args.Caption;
    window.Style = args.Style;
    window.ExStyle = args.ExStyle;
    window.Parent = args.Owner;
    window.Left = 0;
    window.Top = 0;
    window.Width = outer.right - outer.left;
    window.Height = outer.bottom - outer.top;
    CreateFrom(window);
}

TDialogWindow::~TDialogWindow() {
    Destroy();
}

int TDialogWindow::ShowModal() {
    const HWND owner = GetWindow(Handle(), GW_OWNER);
    const HWND previousActive = GetActiveWindow();
    ModalResult_ = kModalResultNone;
    InModalLoop_ = true;
    OnShow();
    ShowWindow(Handle(), SW_SHOW);
    SetActiveWindow(Handle());
    const bool ownerWasEnabled = owner && IsWindowEnabled(owner);
    if (ownerWasEnabled)
        EnableWindow(owner, FALSE);

    while (ModalResult_ == kModalResultNone) {
        if (!Pump_.HandleMessage())
            ModalResult_ = kModalResultCancel;
    }

    // The owner comes back before the dialog goes, so activation returns to it and
    // not to some other program's window.
    if (ownerWasEnabled)
        EnableWindow(owner, TRUE);
    ShowWindow(Handle(), SW_HIDE);
    if (previousActive && IsWindow(previousActive))
        SetActiveWindow(previousActive);
    InModalLoop_ = false;
    OnModalEnd();
    return ModalResult_;
}

LRESULT TDialogWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE) {
        // The close box cancels a modal dialog; the window itself is kept.
        if (InModalLoop_)
            ModalResult_ = kModalResultCancel;
        else
            ShowWindow(Handle(), SW_HIDE);
        return 0;
    }
    return TWindow::HandleMessage(message, wParam, lParam);
}

} // namespace zorvi
