#include "win32/ui/FlatButton.h"

#include "win32/ui/GdiHandles.h"

#include <windowsx.h>

namespace zorvi {

TFlatButton::TFlatButton(TFlatButtonArgs args)
    : place_(args), fontSpec_(args.Font), fontColor_(args.FontColor),
      glyphPainter_(std::move(args.Glyph)), glyphSize_(args.GlyphSize) {
    MakeDpiResources();
    CreateFrom(
        ChildWindowArgs(kClassName, args, args.Caption, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS));
}

void TFlatButton::MakeDpiResources() {
    font_ = CreateFontFromSpec(fontSpec_, place_.Dpi);
    // The glyph is drawn from its outline at the size it is shown at, never scaled
    // as a bitmap: a stretched bitmap blurs or steps its edges, and its
    // transparent colour would bleed into them (see Glyph.h).
    glyphSizeNow_ = glyphPainter_ ? ScaleToDpi(glyphSize_, place_.Dpi) : 0;
    glyph_ = glyphPainter_ ? MakeTwoStateGlyph(glyphSizeNow_, glyphPainter_) : TBitmapHandle();
}

void TFlatButton::SetDpi(UINT dpi) {
    place_.Dpi = dpi;
    MakeDpiResources();
    MoveChildToDpi(Handle(), place_, dpi);
    Invalidate();
}

TFlatButton::~TFlatButton() {
    Destroy();
}

void TFlatButton::Click() {
    if (!Enabled())
        return;
    // A copy: the handler may replace OnClick while it runs.
    if (auto handler = OnClick)
        handler();
}

bool TFlatButton::CursorInside(LPARAM lParam) const {
    RECT client{};
    GetClientRect(Handle(), &client);
    const POINT cursor{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    return PtInRect(&client, cursor) != FALSE;
}

void TFlatButton::SetHot(bool hot) {
    if (hot_ == hot)
        return;
    hot_ = hot;
    Invalidate();
}

void TFlatButton::Paint(HDC dc) const {
    RECT client{};
    GetClientRect(Handle(), &client);
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &client, nullptr, 0, nullptr);

    const bool enabled = Enabled();
    const bool down = pressed_ && hot_;
    if (enabled && down) {
        RECT edge = client;
        DrawEdge(dc, &edge, BDR_SUNKENOUTER, BF_RECT);
    } else if (enabled && hot_) {
        RECT edge = client;
        DrawEdge(dc, &edge, BDR_RAISEDINNER, BF_RECT);
    }

    // Glyph and caption form one block, centred in the button; a pressed button
    // shifts it one pixel down and right.
    const int length = GetWindowTextLengthW(Handle());
    std::wstring caption(static_cast<size_t>(length) + 1, L'\0');
    caption.resize(static_cast<size_t>(GetWindowTextW(Handle(), caption.data(), length + 1)));
    TSelection font(dc, font_.Get());
    SIZE text{};
    GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &text);
    const int glyphWidth = glyph_ ? glyphSizeNow_ : 0;
    const int gap = (glyph_ && !caption.empty()) ? ScaleToDpi(kSpacing, place_.Dpi) : 0;
    const int line = LineWidthAtDpi(place_.Dpi);
    const int shift = down ? line : 0;
    const int blockLeft = (client.right - (glyphWidth + gap + text.cx)) / 2 + shift;
    if (glyph_) {
        const int glyphTop = (client.bottom - glyphSizeNow_) / 2 + shift;
        DrawGlyph(dc, glyph_.Get(), glyphSizeNow_, enabled ? 0 : 1, blockLeft, glyphTop);
    }
    RECT textRect{blockLeft + glyphWidth + gap, shift, client.right, client.bottom + shift};
    SetBkMode(dc, TRANSPARENT);
    constexpr UINT kTextFlags = DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX;
    if (enabled) {
        SetTextColor(dc, fontColor_ == CLR_INVALID ? GetSysColor(COLOR_WINDOWTEXT) : fontColor_);
        DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &textRect, kTextFlags);
    } else {
        // Etched: a highlight copy one line down and right under a shadow copy.
        RECT etch = textRect;
        OffsetRect(&etch, line, line);
        SetTextColor(dc, GetSysColor(COLOR_BTNHIGHLIGHT));
        DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &etch, kTextFlags);
        SetTextColor(dc, GetSysColor(COLOR_BTNSHADOW));
        DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &textRect, kTextFlags);
    }
}

LRESULT TFlatButton::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        TPaintDC dc(Handle());
        Paint(dc.Get());
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_MOUSEMOVE: {
        if (!hot_ || pressed_) {
            TRACKMOUSEEVENT track{};
            track.cbSize = sizeof(track);
            track.dwFlags = TME_LEAVE;
            track.hwndTrack = Handle();
            TrackMouseEvent(&track);
        }
        SetHot(pressed_ ? CursorInside(lParam) : true);
        return 0;
    }
    case WM_MOUSELEAVE:
        if (!pressed_)
            SetHot(false);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        SetCapture(Handle());
        pressed_ = true;
        hot_ = true;
        Invalidate();
        return 0;
    case WM_LBUTTONUP: {
        const bool click = pressed_ && CursorInside(lParam);
        pressed_ = false;
        ReleaseCapture();
        SetHot(CursorInside(lParam));
        Invalidate();
        if (click)
            Click();
        return 0;
    }
    case WM_CAPTURECHANGED:
        if (pressed_) {
            pressed_ = false;
            Invalidate();
        }
        return 0;
    case BM_CLICK:
        Click();
        return 0;
    case WM_ENABLE:
        if (!wParam) {
            pressed_ = false;
            hot_ = false;
        }
        Invalidate();
        UpdateWindow(Handle()); // show the grey glyph before a long handler runs on
        return 0;
    case WM_SETTEXT: {
        const LRESULT result = DefaultHandling(message, wParam, lParam);
        Invalidate();
        return result;
    }
    default:
        return TWindow::HandleMessage(message, wParam, lParam);
    }
}

} // namespace zorvi
