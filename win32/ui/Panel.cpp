#include "win32/ui/Panel.h"

#include "win32/ui/Handles.h"

namespace zorvi {
namespace {

constexpr wchar_t kPanelClass[] = L"ZorviPanel";

// One bevel line of width 1: top and left edges in one colour, bottom and right in
// the other; returns the rectangle inside it.
RECT DrawBevel(HDC dc, RECT rect, COLORREF topLeft, COLORREF bottomRight) {
    auto fill = [dc](int left, int top, int right, int bottom, COLORREF color) {
        const RECT strip{left, top, right, bottom};
        SetBkColor(dc, color);
        ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &strip, nullptr, 0, nullptr);
    };
    fill(rect.left, rect.top, rect.right - 1, rect.top + 1, topLeft);       // top
    fill(rect.left, rect.top, rect.left + 1, rect.bottom - 1, topLeft);     // left
    fill(rect.right - 1, rect.top, rect.right, rect.bottom, bottomRight);   // right
    fill(rect.left, rect.bottom - 1, rect.right, rect.bottom, bottomRight); // bottom
    return RECT{rect.left + 1, rect.top + 1, rect.right - 1, rect.bottom - 1};
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
    : Alignment_(args.Alignment), Font_(CreateFontFromSpec(args.Font)), FontColor_(args.FontColor),
      Background_(args.Background) {
    CreateFrom(ChildWindowArgs(kPanelClass, args, args.Caption,
                               WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS));
}

TPanel::~TPanel() {
    Destroy();
}

void TPanel::SetFontColor(COLORREF color) {
    FontColor_ = color;
    Invalidate();
}

COLORREF TPanel::FontColor() const {
    return FontColor_ == CLR_INVALID ? GetSysColor(COLOR_WINDOWTEXT) : FontColor_;
}

void TPanel::SetBackground(COLORREF color) {
    Background_ = color;
    Invalidate();
}

RECT TPanel::CaptionRect() const {
    RECT rect{};
    GetClientRect(Handle(), &rect);
    InflateRect(&rect, -2 * kBevelWidth, -2 * kBevelWidth);
    return rect;
}

void TPanel::Paint(HDC dc) const {
    RECT rect{};
    GetClientRect(Handle(), &rect);
    const COLORREF light = GetSysColor(COLOR_BTNHIGHLIGHT);
    const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
    rect = DrawBevel(dc, rect, shadow, light); // outer, lowered
    rect = DrawBevel(dc, rect, light, shadow); // inner, raised
    SetBkColor(dc, Background_ == CLR_INVALID ? GetSysColor(COLOR_BTNFACE) : Background_);
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);

    const std::wstring caption = [this] {
        const int length = GetWindowTextLengthW(Handle());
        std::wstring text(static_cast<size_t>(length) + 1, L'\0');
        text.resize(static_cast<size_t>(GetWindowTextW(Handle(), text.data(), length + 1)));
        return text;
    }();
    TSelection font(dc, Font_.Get());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, FontColor());
    DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &rect,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | AlignmentFlags(Alignment_));
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
