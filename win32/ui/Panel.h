// A panel: a child window with a lowered outer and a raised inner bevel, a solid
// background and a one-line caption, aligned left, centred or right within the
// bevels and centred vertically. It may hold other child windows (a title bar with
// a button, for one).
#pragma once

#include "win32/ui/Fonts.h"
#include "win32/ui/Window.h"

#include <string>

namespace zorvi {

enum class TAlignment { Left, Center, Right };

struct TPanelArgs : TChildWindowArgs {
    std::string Caption;
    TAlignment Alignment = TAlignment::Center;
    TFontSpec Font{"MS Sans Serif", 11};
    /// Caption colour; CLR_INVALID: the system's window-text colour.
    COLORREF FontColor = CLR_INVALID;
    /// Background; CLR_INVALID: the system's button-face colour.
    COLORREF Background = CLR_INVALID;
};

class TPanel final : public TWindow {
public:
    explicit TPanel(const TPanelArgs& args);
    ~TPanel() override;

    /// Shows the panel at another DPI: its place, its bevels and its font scaled.
    void SetDpi(UINT dpi);
    UINT Dpi() const { return place_.Dpi; }

    void SetFontColor(COLORREF color);
    COLORREF FontColor() const;
    void SetBackground(COLORREF color);
    /// The rectangle the caption is laid out in: the client area inside both bevels.
    RECT CaptionRect() const;
    HFONT Font() const { return font_.Get(); }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void Paint(HDC dc) const;

    TChildWindowArgs place_;
    TAlignment alignment_;
    TFontSpec fontSpec_;
    TFontHandle font_;
    COLORREF fontColor_;
    COLORREF background_;
};

} // namespace zorvi
