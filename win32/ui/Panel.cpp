#include "win32/ui/Panel.h"

#include "win32/ui/GdiHandles.h"

namespace zorvi {
namespace {

constexpr wchar_t kPanelClass[] = L"ZorviPanel";

// One bevel line of width w: top and left edges in one colour, bottom and right in
// the other; returns the rectangle inside it.
RECT DrawBevel(HDC dc, RECT rect, int w, COLORREF topLeft, COLORREF bottomRight) {
    auto fill = [dc](int left, int top, int right, int bottom, COLORREF color) {
        const RECT strip{left, top, right, bottom};
        SetBkColor(dc, color);
        ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &strip, nullptr, 0, nullptr);
    };
    fill(rect.left, rect.top, rect.right - w, rect.top + w, topLeft);       // top
    fill(rect.left, rect.top, rect.left + w, rect.bottom - w, topLeft);     // left
    fill(rect.right - w, rect.top, rect.right, rect.bottom, bottomRight);   // right
    fill(rect.left, rect.bottom - w, rect.right, rect.bottom, bottomRight); // bottom
    return RECT{rect.left + w, rect.top + w, rect.right - w, rect.bottom - w};
}

UINT AlignmentFlags(TAlignment alignment) {
    switch (alignment) {
    case TAlignment::Left:
        return DT_LEFT;
    case TAlignment::Right:
        return DT_RIGHT;
    default:
        return DT_CENTER;
    }
}

} // namespace

TPanel::TPanel(const TPanelArgs& args)
    : place_(args), alignment_(args.Alignment), fontSpec_(args.Font),
      font_(CreateFontFromSpec(args.Font, args.Dpi)), fontColor_(args.FontColor),
      background_(args.Background) {
    CreateFrom(ChildWindowArgs(kPanelClass, args, args.Caption,
                               WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS));
}

TPanel::~TPanel() {
    Destroy();
}

void TPanel::SetDpi(UINT dpi) {
    place_.Dpi = dpi;
    font_ = CreateFontFromSpec(fontSpec_, dpi);
    MoveChildToDpi(Handle(), place_, dpi);
    Invalidate();
}

void TPanel::SetFontColor(COLORREF color) {
    fontColor_ = color;
    Invalidate();
}

COLORREF TPanel::FontColor() const {
    return fontColor_ == CLR_INVALID ? GetSysColor(COLOR_WINDOWTEXT) : fontColor_;
}

void TPanel::SetBackground(COLORREF color) {
    background_ = color;
    Invalidate();
}

RECT TPanel::CaptionRect() const {
    RECT rect{};
    GetClientRect(Handle(), &rect);
    const int bevels = 2 * LineWidthAtDpi(place_.Dpi);
    InflateRect(&rect, -bevels, -bevels);
    return rect;
}

void TPanel::Paint(HDC dc) const {
    RECT rect{};
    GetClientRect(Handle(), &rect);
    const COLORREF light = GetSysColor(COLOR_BTNHIGHLIGHT);
    const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
    const int bevel = LineWidthAtDpi(place_.Dpi);
    rect = DrawBevel(dc, rect, bevel, shadow, light); // outer, lowered
    rect = DrawBevel(dc, rect, bevel, light, shadow); // inner, raised
    SetBkColor(dc, background_ == CLR_INVALID ? GetSysColor(COLOR_BTNFACE) : background_);
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);

    const std::wstring caption = [this] {
        const int length = GetWindowTextLengthW(Handle());
        std::wstring text(static_cast<size_t>(length) + 1, L'\0');
        text.resize(static_cast<size_t>(GetWindowTextW(Handle(), text.data(), length + 1)));
        return text;
    }();
    TSelection font(dc, font_.Get());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, FontColor());
    DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &rect,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | AlignmentFlags(alignment_));
}

LRESULT TPanel::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        TPaintDC dc(Handle());
        Paint(dc.Get());
        return 0;
    }
    case WM_ERASEBKGND:
        return 1; // WM_PAINT covers every pixel
    case WM_SETTEXT: {
        const LRESULT result = DefaultHandling(message, wParam, lParam);
        Invalidate();
        return result;
    }
    case WM_SIZE:
        Invalidate();
        return 0;
    default:
        return TWindow::HandleMessage(message, wParam, lParam);
    }
}

} // namespace zorvi
