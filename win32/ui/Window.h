// The base of every window of the program: one window procedure for all our window
// classes binds each HWND to its C++ object and dispatches messages to the object's
// HandleMessage. Notifications that system controls send to their parent
// (WM_COMMAND, WM_DRAWITEM, WM_MEASUREITEM) are handed back to the control's
// wrapper, so a control handles its own drawing and clicks.
#pragma once

#include "win32/ui/Dpi.h"

#include <windows.h>

#include <string>

namespace zorvi {

/// A wrapper of a system control that wants its parent's notifications back.
class TNotificationTarget {
public:
    /// Called with a notification the control sent to its parent; returns true and
    /// sets result when it handled it.
    virtual bool HandleNotification(UINT message, WPARAM wParam, LPARAM lParam,
                                    LRESULT& result) = 0;

    /// Binds a control's window to its wrapper (a window property, removed by Unbind).
    static void Bind(HWND control, TNotificationTarget* target);
    static void Unbind(HWND control);
    static TNotificationTarget* FromHandle(HWND control);

protected:
    ~TNotificationTarget() = default;
};

/// Everything needed to create a window of one of our classes.
struct TWindowArgs {
    /// Our class name; registered on first use with the common window procedure.
    const wchar_t* ClassName = nullptr;
    /// Background brush of the class; nullptr: the window paints its background.
    HBRUSH ClassBackground = nullptr;
    HICON ClassIcon = nullptr;
    std::string Caption;
    DWORD Style = WS_OVERLAPPEDWINDOW;
    DWORD ExStyle = 0;
    /// Parent of a child window, owner of a top-level window, HWND_MESSAGE for a
    /// message-only window.
    HWND Parent = nullptr;
    int Left = CW_USEDEFAULT;
    int Top = CW_USEDEFAULT;
    int Width = CW_USEDEFAULT;
    int Height = CW_USEDEFAULT;
    /// Child window id (ignored for top-level windows).
    int Id = 0;
};

/// Where a child control sits: its parent, its place and size in the parent's client
/// area in layout pixels (see Dpi.h), its control id, and the DPI it is shown at.
/// The controls' argument structs start with it.
struct TChildWindowArgs {
    HWND Parent = nullptr;
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    int Id = 0;
    UINT Dpi = kLayoutDpi;
};

/// The window arguments of a child control of one of our classes, at its place
/// scaled to its DPI.
TWindowArgs ChildWindowArgs(const wchar_t* className, const TChildWindowArgs& place,
                            const std::string& caption, DWORD style);

/// The place of a child in its parent's client area at dpi, in screen pixels.
RECT ChildRectAtDpi(const TChildWindowArgs& place, UINT dpi);

/// Moves and sizes a child to its place at dpi.
void MoveChildToDpi(HWND child, const TChildWindowArgs& place, UINT dpi);

class TWindow {
public:
    TWindow() = default;
    TWindow(const TWindow&) = delete;
    TWindow& operator=(const TWindow&) = delete;
    /// Destroys the window if it still exists. A derived class whose message
    /// handling touches its own members must call Destroy() in its own destructor:
    /// by the time this one runs, those members are gone.
    virtual ~TWindow();

    HWND Handle() const { return handle_; }
    /// The object of one of our windows, nullptr for any other window.
    static TWindow* FromHandle(HWND window);

    void Destroy();
    void SetCaption(const std::string& text);
    std::string Caption() const;
    void SetEnabled(bool enabled);
    bool Enabled() const;
    void Show(int command = SW_SHOW);
    bool Visible() const;
    void Invalidate();
    /// Outer rectangle in screen coordinates.
    RECT Bounds() const;
    void MoveTo(int left, int top);

protected:
    /// Creates the window; throws std::runtime_error when Windows refuses.
    void CreateFrom(const TWindowArgs& args);
    /// Handles one message; the default hands control notifications back to the
    /// control's wrapper and everything else to DefWindowProc.
    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND handle_ = nullptr;
};

} // namespace zorvi
