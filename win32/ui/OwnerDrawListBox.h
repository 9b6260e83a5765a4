// A list box of one-line text rows of a fixed height, drawn by us: each row shows its
// text on one line (carriage returns and line feeds inside it do not break it),
// vertically centred, a few pixels from the left edge; the selected row is drawn
// in the highlight colours. The list box keeps its strings (LBS_HASSTRINGS), so
// another process can read the rows with LB_GETTEXT.
#pragma once

#include "win32/ui/Fonts.h"
#include "win32/ui/Window.h"

#include <string>
#include <vector>

namespace zorvi {

struct TListBoxArgs : TChildWindowArgs {
    /// Row height in layout pixels.
    int ItemHeight = 24;
    /// Layout pixels between the left edge of a row and its text.
    int TextIndent = 2;
    TFontSpec Font{"MS Sans Serif", 11};
    /// Text colour of unselected rows; CLR_INVALID: the system's window-text colour.
    COLORREF FontColor = CLR_INVALID;
    /// The parent sees every key first, as WM_VKEYTOITEM (LBS_WANTKEYBOARDINPUT).
    bool ReportKeys = false;
};

class TOwnerDrawListBox final : public TNotificationTarget {
public:
    explicit TOwnerDrawListBox(const TListBoxArgs& args);
    TOwnerDrawListBox(const TOwnerDrawListBox&) = delete;
    TOwnerDrawListBox& operator=(const TOwnerDrawListBox&) = delete;
    ~TOwnerDrawListBox();

    HWND Handle() const { return handle_; }

    /// Appends a row; returns its index, or -1 when the list box is out of memory.
    int Add(const std::string& text);
    void Clear();
    int Count() const;
    std::string Text(int index) const;
    /// Every row, first to last.
    std::vector<std::string> Rows() const;
    /// Selects a row and scrolls it into view; -1 removes the selection.
    void Select(int index);
    int SelectedIndex() const;
    int ItemHeight(int index) const;

    /// Shows the list box at another DPI: place, font, row height and indent scaled.
    void SetDpi(UINT dpi);
    UINT Dpi() const { return place_.Dpi; }

    bool HandleNotification(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void DrawItem(const DRAWITEMSTRUCT& item) const;

    HWND handle_ = nullptr;
    TChildWindowArgs place_;
    // In layout pixels.
    int itemHeight_;
    int textIndent_;
    TFontSpec fontSpec_;
    TFontHandle font_;
    COLORREF fontColor_;
};

} // namespace zorvi
