// The connect dialog's window: "Подключение к прибору", a fixed dialog of 370 x 82
// client pixels (layout pixels, scaled to the DPI of the main window it is shown
// over) holding the message panel infoPanel_ on top and panel2_ with the flat abort
// button "Прервать" below, and the one-second checkTimer_. Everything it shows and
// every event it reports belong to TConnectToDeviceForm.
#pragma once

#include "device/ConnectDialogWindow.h"
#include "win32/ui/DialogWindow.h"
#include "win32/ui/FlatButton.h"
#include "win32/ui/Panel.h"
#include "win32/ui/Timer.h"

#include <memory>

namespace zorvi {

class TConnectDialog final : public TDialogWindow, public TConnectDialogWindow {
public:
    /// Window class of the dialog, for drivers that look it up.
    static constexpr const wchar_t* kClassName = L"ZorviConnectToDeviceForm";
    static constexpr int kClientWidth = 370;
    static constexpr int kClientHeight = 82;
    /// Control id of startButton_, for drivers.
    static constexpr int kStartButtonId = 101;

    /// Creates the dialog hidden, owned by the main window.
    TConnectDialog(HWND mainWindow, TWin32MessagePump& pump, TConnectDialogEvents& events);
    ~TConnectDialog() override;

    int ShowModal() override { return TDialogWindow::ShowModal(); }
    void SetModalResult(int result) override { TDialogWindow::SetModalResult(result); }
    void SetInfoCaption(const std::string& text) override;
    void SetInfoFontColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue) override;
    void SetTimerEnabled(bool enabled) override { checkTimer_.SetEnabled(enabled); }
    TWindowBounds MainWindowBounds() const override;
    int OuterWidth() const override;
    /// Places the dialog; see ConnectDialog.cpp for how the top is scaled.
    void MoveTo(int left, int top) override;

    bool TimerEnabled() const { return checkTimer_.Enabled(); }

protected:
    void OnShow() override;
    void OnModalEnd() override { events_.FormClose(); }
    void OnDpiChanged(UINT dpi) override;

private:
    HWND mainWindow_;
    TConnectDialogEvents& events_;
    std::unique_ptr<TPanel> infoPanel_;
    std::unique_ptr<TPanel> panel2_;
    std::unique_ptr<TFlatButton> startButton_;
    TTimer checkTimer_{std::chrono::milliseconds(1000)};
};

/// The abort button's picture: a red diagonal cross, grey when disabled.
void PaintRedCross(HDC dc, int left, int top, int size, bool enabled);

} // namespace zorvi
