// A flat push button with a caption and a two-state glyph (see Glyph.h). It shows no
// edge until the mouse is over it (then a raised edge; pressed, a sunken one), draws
// the grey image and an etched caption when disabled, and never takes the focus.
// A click is a press and release of the left button over it, or BM_CLICK, which is
// how a test driver or an accessibility tool presses it; both are ignored while the
// button is disabled.
#pragma once

#include "win32/ui/Fonts.h"
#include "win32/ui/Glyph.h"
#include "win32/ui/Window.h"

#include <functional>
#include <string>

namespace zorvi {

struct TFlatButtonArgs : TChildWindowArgs {
    std::string Caption;
    TFontSpec Font{"MS Sans Serif", 11};
    /// Caption colour; CLR_INVALID: the system's window-text colour.
    COLORREF FontColor = CLR_INVALID;
    /// Draws the glyph's two images (see Glyph.h); empty: no glyph.
    TGlyphPainter Glyph;
    /// Side of the square glyph, in layout pixels.
    int GlyphSize = 24;
};

class TFlatButton final : public TWindow {
public:
    /// Class name of the button's window, for drivers that look it up.
    static constexpr const wchar_t* kClassName = L"ZorviFlatButton";
    /// Layout pixels between the glyph and the caption.
    static constexpr int kSpacing = 4;

    explicit TFlatButton(TFlatButtonArgs args);
    ~TFlatButton() override;

    /// Shows the button at another DPI: its place and font scaled, its glyph drawn
    /// anew at the scaled size.
    void SetDpi(UINT dpi);
    UINT Dpi() const { return place_.Dpi; }
    /// Side of the glyph's square as drawn now, in pixels.
    int GlyphSizeNow() const { return glyphSizeNow_; }

    /// Runs on every click. The handler may run for long (it may process messages).
    std::function<void()> OnClick;

    /// Runs OnClick as a click would, if the button is enabled.
    void Click();

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void Paint(HDC dc) const;
    bool CursorInside(LPARAM lParam) const;
    void SetHot(bool hot);
    void MakeDpiResources();

    TChildWindowArgs place_;
    TFontSpec fontSpec_;
    TFontHandle font_;
    COLORREF fontColor_;
    TGlyphPainter glyphPainter_;
    int glyphSize_;
    // Made for the DPI of place_.
    TBitmapHandle glyph_;
    int glyphSizeNow_ = 0;
    bool hot_ = false;     // the mouse is over the button
    bool pressed_ = false; // the left button went down on it and is still down
};

} // namespace zorvi
