// The main window: a title panel with the Start button and the version the update
// brings, and below it the progress log, a list box with one row per step. It is
// the program's TProgressLog. What Start does is plugged in from outside
// (OnStartButtonClick); without a handler, Start only empties the log.
//
// The log can be handed on: a right-click on it opens a menu that copies every row
// to the clipboard or saves the log (OnSaveLogClick), and Ctrl+C copies the selected
// row. Nothing is copied or written unless the technician asks.
//
// Sizes are in layout pixels (see Dpi.h); the window lays itself out at the DPI of
// its monitor, and again when it moves to a monitor of another scale.
#pragma once

#include "common/Clock.h"
#include "common/ProgressLog.h"
#include "common/Version.h"
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
    static constexpr const char* kCaption =
        "ЗОРВИ-41K6УФ. Обновление ПО. Версия " ZORVI_VERSION_TEXT;
    static constexpr const char* kTitleCaption = "Версия ПО: 1V5  ";
    static constexpr const char* kStartCaption = "Старт";
    // The log's menu: item texts and command ids.
    static constexpr const char* kCopyLogItem = "Копировать";
    static constexpr const char* kSaveLogItem = "Сохранить журнал...";
    static constexpr UINT kCopyLogCommand = 1;
    static constexpr UINT kSaveLogCommand = 2;
    // Layout, in layout pixels.
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

    /// Every row to the clipboard, one line per row (see common/LogText.h). False,
    /// after telling the technician in a box, when the clipboard could not be had.
    bool CopyLog();
    /// The selected row to the clipboard (Ctrl+C); false when no row is selected or
    /// the clipboard could not be had (then a box says so).
    bool CopySelectedRow();
    /// Opens the log's menu at a point of the screen and carries out the command
    /// chosen. Both items are grey while the log is empty; "Сохранить журнал..."
    /// also while no OnSaveLogClick is set.
    void ShowLogMenu(POINT screen);

    /// The DPI the window is laid out for.
    UINT Dpi() const { return dpi_; }
    /// Lays the window out for another DPI, its top left corner at (left, top).
    void SetDpi(UINT dpi, int left, int top);

    /// What pressing Start does (the update workflow). The handler runs inside the
    /// click and may process messages; Start is not disabled for it automatically.
    std::function<void()> OnStartButtonClick;
    /// Asked when the operator closes the window (close box, Alt+F4, the taskbar):
    /// false keeps it open. Without a handler the window always closes.
    std::function<bool()> OnCloseQuery;
    /// What "Сохранить журнал..." does: the save dialog and the file.
    std::function<void()> OnSaveLogClick;

    TPanel& TitlePanel() { return *titlePanel_; }
    TOwnerDrawListBox& ActionLB() { return *actionLB_; }
    TFlatButton& StartButton() { return *startButton_; }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void FormCreate();
    void StartButtonClick();
    void ReportClipboardFailure();
    /// The outer size of the window at dpi.
    SIZE OuterSize(UINT dpi) const;

    TApplicationWindow* application_;
    TMessagePump& pump_;
    UINT dpi_ = kLayoutDpi;
    TFontHandle formFont_;
    std::unique_ptr<TPanel> titlePanel_;
    std::unique_ptr<TOwnerDrawListBox> actionLB_;
    std::unique_ptr<TFlatButton> startButton_;
};

} // namespace zorvi
