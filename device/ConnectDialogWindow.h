// The connect dialog's window as its logic sees it: a modal window with a message
// panel, an abort button and a timer. The Win32 layer draws it; tests script it.
#pragma once

#include <cstdint>
#include <string>

namespace zorvi {

// Modal results of a dialog.
inline constexpr int kModalNone = 0;
inline constexpr int kModalOk = 1;
inline constexpr int kModalCancel = 2;

/// Outer rectangle of a window, in screen pixels.
struct TWindowBounds {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
};

/// What the window reports to the dialog's logic. Each call comes from the window's
/// message handling on the GUI thread.
class TConnectDialogEvents {
public:
    virtual ~TConnectDialogEvents() = default;
    /// The window is about to appear.
    virtual void FormShow() = 0;
    /// The modal loop has ended, whatever the result.
    virtual void FormClose() = 0;
    /// The abort button was pressed, or the window's close box.
    virtual void StartButtonClick() = 0;
    /// A tick of the timer, only while it is enabled.
    virtual void CheckTimerTimer() = 0;
};

class TConnectDialogWindow {
public:
    virtual ~TConnectDialogWindow() = default;
    /// Shows the window modally and runs the message loop until the modal result is
    /// not kModalNone; returns that result. Reports FormShow before the window
    /// appears and FormClose once the loop has ended.
    virtual int ShowModal() = 0;
    virtual void SetModalResult(int result) = 0;
    virtual void SetInfoCaption(const std::string& text) = 0;
    virtual void SetInfoFontColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue) = 0;
    /// Starting the timer (again) begins a full interval of 1000 ms.
    virtual void SetTimerEnabled(bool enabled) = 0;
    /// The main window's outer rectangle and the dialog's own outer width.
    virtual TWindowBounds MainWindowBounds() const = 0;
    virtual int OuterWidth() const = 0;
    virtual void MoveTo(int left, int top) = 0;
};

} // namespace zorvi
