#include "win32/ui/Dpi.h"

#include <algorithm>

namespace zorvi {
namespace {

// A function of user32 that older Windows lacks, or nullptr. GCC lets any function
// pointer go through void (*)() without a cast-type warning.
template <typename TFunction>
TFunction User32Function(const char* name) {
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return reinterpret_cast<TFunction>(
        reinterpret_cast<void (*)()>(user32 ? GetProcAddress(user32, name) : nullptr));
}

using TGetDpiForWindow = UINT(WINAPI*)(HWND);
using TAdjustWindowRectExForDpi = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);

} // namespace

int ScaleToDpi(int layoutPixels, UINT dpi) {
    const long long scaled = static_cast<long long>(layoutPixels) * dpi;
    const long long half = kLayoutDpi / 2;
    return static_cast<int>(scaled >= 0 ? (scaled + half) / kLayoutDpi
                                        : -((-scaled + half) / kLayoutDpi));
}

RECT ScaleRectToDpi(const RECT& layout, UINT dpi) {
    return RECT{ScaleToDpi(layout.left, dpi), ScaleToDpi(layout.top, dpi),
                ScaleToDpi(layout.right, dpi), ScaleToDpi(layout.bottom, dpi)};
}

int LineWidthAtDpi(UINT dpi) {
    return std::max(1, static_cast<int>(dpi / kLayoutDpi));
}

UINT WindowDpi(HWND window) {
    const auto getDpiForWindow = User32Function<TGetDpiForWindow>("GetDpiForWindow");
    if (getDpiForWindow && window) {
        if (const UINT dpi = getDpiForWindow(window))
            return dpi;
    }
    const HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : kLayoutDpi;
}

SIZE OuterSizeForClient(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, UINT dpi) {
    const auto adjustForDpi = User32Function<TAdjustWindowRectExForDpi>("AdjustWindowRectExForDpi");
    RECT outer{0, 0, clientWidth, clientHeight};
    if (!adjustForDpi || !adjustForDpi(&outer, style, FALSE, exStyle, dpi))
        AdjustWindowRectEx(&outer, style, FALSE, exStyle);
    return SIZE{outer.right - outer.left, outer.bottom - outer.top};
}

void PlaceWindowAroundClient(HWND window, int left, int top, int clientWidth, int clientHeight,
                             UINT dpi) {
    constexpr UINT kFlags = SWP_NOZORDER | SWP_NOACTIVATE;
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE));
    const SIZE outer = OuterSizeForClient(clientWidth, clientHeight, style, exStyle, dpi);
    SetWindowPos(window, nullptr, left, top, outer.cx, outer.cy, kFlags);
    // The frame actually drawn can differ from the one computed for dpi (a window
    // told of a new DPI before the system has moved it there); the client area is
    // what must come out exact, so any difference goes into the outer size.
    RECT client{};
    GetClientRect(window, &client);
    const int missingWidth = clientWidth - client.right;
    const int missingHeight = clientHeight - client.bottom;
    if (missingWidth != 0 || missingHeight != 0)
        SetWindowPos(window, nullptr, 0, 0, outer.cx + missingWidth, outer.cy + missingHeight,
                     kFlags | SWP_NOMOVE);
}

} // namespace zorvi
