// The main window: a title panel with the Start button and the version the update
// brings, and below it the progress log, a list box with one row per step. It is
// the program's TProgressLog. What Start does is plugged in from outside
// (OnStartButtonClick); without a handler, Start only empties the log.
#pragma once

#include "common/Clock.h"
#include "common/ProgressLog.h"
#include "win32/ui/FlatButton.h"
#include "win32/ui/OwnerDrawListBox.h"
#include "win32/ui/Panel.h"
#include "win32/ui/Window.h"

#include <functional>
#include <memory>
#include <string>

namespace zorvi {

class TApplicationWindow;

class TMainForm final : public TWindow, public TProgressLog {
public:
    static constexpr const wchar_t* kClassName = L"ZorviMainForm";
    static constexpr const char* kCaption = "ЗОРВИ-41K6УФ. Обновление ПО. Версия 1.008.14.08.2015";
    static constexpr const char* kTitleCaption = "Версия ПО: 1V5  ";
    static constexpr const char* kStartCaption = "Старт";
    // Layout, in pixels.
    static constexpr int kClientWidth = 705;
    static constexpr int kClientHeight = 532;
    static constexpr int kTitleHeight = 41;
    static constexpr int kLogRowHeight = 24;
    // Child window ids.
    static constexpr int kTitlePanelId = 100;
    static constexpr int kActionListId = 101;
    static constexpr int kStartButtonId = 102;

    /// Creates the window hidden and runs FormCreate. The application window, when
    /// given, owns it and carries its taskbar entry.
    TMainForm(TApplicationWindow* application, TMessagePump& pump);
    ~TMainForm() override;

    /// One blank and the text as a new last row, selected (and so scrolled into
    /// view); then the pending window messages are processed.
    void AddLogLine(const std::string& text) override;
    void ClearLog();
    void SetStartEnabled(bool enabled);
    bool StartEnabled() const;

    /// What pressing Start does (the update workflow). The handler runs inside the
    /// click and may process messages; Start is not disabled for it automatically.
    std::function<void()> OnStartButtonClick;
    /// Asked when the operator closes the window (close box, Alt+F4, the taskbar):
    /// false keeps it open. Without a handler the window always closes.
    std::function<bool()> OnCloseQuery;

    TPanel& TitlePanel() { return *TitlePanel_; }
    TOwnerDrawListBox& ActionLB() { return *ActionLB_; }
    TFlatButton& StartButton() { return *StartButton_; }

    /// The work folder, always ending in a backslash.
    std::string WorkDir;
    /// Full path of the written update archive.
    std::string ArchivePath;
    bool UpdateRequested = false;

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void FormCreate();
    void StartButtonClick();

    TApplicationWindow* Application_;
    TMessagePump& Pump_;
    TFontHandle FormFont_;
    std::unique_ptr<TPanel> TitlePanel_;
    std::unique_ptr<TOwnerDrawListBox> ActionLB_;
    std::unique_ptr<TFlatButton> StartButton_;
};

} // namespace zorvi
