#include "win32/ui/DialogWindow.h"

namespace zorvi {

TDialogWindow::TDialogWindow(const TDialogArgs& args, TWin32MessagePump& pump)
    : pump_(pump), clientWidth_(args.ClientWidth), clientHeight_(args.ClientHeight),
      style_(args.Style), exStyle_(args.ExStyle),
      // Hidden until shown over its owner, it starts at the owner's DPI.
      dpi_(WindowDpi(args.Owner)) {
    const SIZE outer = OuterSizeForClient(ScaleToDpi(clientWidth_, dpi_),
                                          ScaleToDpi(clientHeight_, dpi_), style_, exStyle_, dpi_);
    TWindowArgs window;
    window.ClassName = args.ClassName;
    window.ClassBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    window.Caption = args.Caption;
    window.Style = args.Style;
    window.ExStyle = args.ExStyle;
    window.Parent = args.Owner;
    window.Left = 0;
    window.Top = 0;
    window.Width = outer.cx;
    window.Height = outer.cy;
    CreateFrom(window);
}

void TDialogWindow::SetDpi(UINT dpi) {
    const RECT bounds = Bounds();
    ResizeForDpi(dpi, bounds.left, bounds.top);
}

void TDialogWindow::ResizeForDpi(UINT dpi, int left, int top) {
    const bool changed = dpi != dpi_;
    dpi_ = dpi;
    PlaceWindowAroundClient(Handle(), left, top, ScaleToDpi(clientWidth_, dpi),
                            ScaleToDpi(clientHeight_, dpi), dpi);
    if (changed)
        OnDpiChanged(dpi);
}

TDialogWindow::~TDialogWindow() {
    Destroy();
}

int TDialogWindow::ShowModal() {
    const HWND owner = GetWindow(Handle(), GW_OWNER);
    const HWND previousActive = GetActiveWindow();
    modalResult_ = kModalResultNone;
    inModalLoop_ = true;
    OnShow();
    ShowWindow(Handle(), SW_SHOW);
    SetActiveWindow(Handle());
    const bool ownerWasEnabled = owner && IsWindowEnabled(owner);
    if (ownerWasEnabled)
        EnableWindow(owner, FALSE);

    while (modalResult_ == kModalResultNone) {
        if (!pump_.HandleMessage())
            modalResult_ = kModalResultCancel;
    }

    // The owner comes back before the dialog goes, so activation returns to it and
    // not to some other program's window.
    if (ownerWasEnabled)
        EnableWindow(owner, TRUE);
    ShowWindow(Handle(), SW_HIDE);
    if (previousActive && IsWindow(previousActive))
        SetActiveWindow(previousActive);
    inModalLoop_ = false;
    OnModalEnd();
    return modalResult_;
}

LRESULT TDialogWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DPICHANGED) {
        // The window moved to a monitor of another scale: Windows suggests where it
        // goes; its size is ours to make exact.
        const auto* suggested = reinterpret_cast<const RECT*>(lParam);
        if (LOWORD(wParam) != dpi_)
            ResizeForDpi(LOWORD(wParam), suggested->left, suggested->top);
        return 0;
    }
    if (message == WM_CLOSE) {
        // The close box cancels a modal dialog; the window itself is kept.
        if (inModalLoop_)
            modalResult_ = kModalResultCancel;
        else
            ShowWindow(Handle(), SW_HIDE);
        return 0;
    }
    return TWindow::HandleMessage(message, wParam, lParam);
}

} // namespace zorvi
