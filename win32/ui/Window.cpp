#include "win32/ui/Window.h"

#include "win32/base/Utf16.h"

#include <stdexcept>

namespace zorvi {
namespace {

// Name of the window property that ties a system control to its wrapper.
constexpr wchar_t kNotificationTargetProperty[] = L"Zorvi.NotificationTarget";

void RegisterClassOnce(const TWindowArgs& args, WNDPROC procedure) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof(existing);
    if (GetClassInfoExW(instance, args.ClassName, &existing))
        return;
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = args.ClassBackground;
    windowClass.hIcon = args.ClassIcon;
    windowClass.lpszClassName = args.ClassName;
    if (!RegisterClassExW(&windowClass))
        throw std::runtime_error("RegisterClassExW failed");
}

// The child window that sent a notification to its parent, or nullptr.
HWND NotifyingControl(HWND parent, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        return reinterpret_cast<HWND>(lParam); // nullptr for menus and accelerators
    case WM_DRAWITEM:
        return reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)->hwndItem;
    case WM_MEASUREITEM:
        // The only notification that carries no window: find it by its id.
        return GetDlgItem(parent, static_cast<int>(wParam));
    default:
        return nullptr;
    }
}

} // namespace

void TNotificationTarget::Bind(HWND control, TNotificationTarget* target) {
    SetPropW(control, kNotificationTargetProperty, target);
}

void TNotificationTarget::Unbind(HWND control) {
    RemovePropW(control, kNotificationTargetProperty);
}

TNotificationTarget* TNotificationTarget::FromHandle(HWND control) {
    return static_cast<TNotificationTarget*>(GetPropW(control, kNotificationTargetProperty));
}

TWindow::~TWindow() {
    Destroy();
}

TWindow* TWindow::FromHandle(HWND window) {
    if (!window ||
        GetWindowLongPtrW(window, GWLP_WNDPROC) != reinterpret_cast<LONG_PTR>(&TWindow::WindowProc))
        return nullptr;
    return reinterpret_cast<TWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

void TWindow::Destroy() {
    if (handle_)
        DestroyWindow(handle_); // WM_NCDESTROY clears handle_
}

void TWindow::CreateFrom(const TWindowArgs& args) {
    RegisterClassOnce(args, &TWindow::WindowProc);
    const bool child = (args.Style & WS_CHILD) != 0;
    const HWND created =
        CreateWindowExW(args.ExStyle, args.ClassName, WideFromUtf8(args.Caption).c_str(),
                        args.Style, args.Left, args.Top, args.Width, args.Height, args.Parent,
                        child ? reinterpret_cast<HMENU>(static_cast<INT_PTR>(args.Id)) : nullptr,
                        GetModuleHandleW(nullptr), this);
    if (!created)
        throw std::runtime_error("CreateWindowExW failed");
}

void TWindow::SetCaption(const std::string& text) {
    SetWindowTextW(handle_, WideFromUtf8(text).c_str());
}

std::string TWindow::Caption() const {
    const int length = GetWindowTextLengthW(handle_);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(handle_, text.data(), length + 1);
    text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
    return Utf8FromWide(text);
}

void TWindow::SetEnabled(bool enabled) {
    EnableWindow(handle_, enabled ? TRUE : FALSE);
}

bool TWindow::Enabled() const {
    return IsWindowEnabled(handle_) != FALSE;
}

void TWindow::Show(int command) {
    ShowWindow(handle_, command);
}

bool TWindow::Visible() const {
    return IsWindowVisible(handle_) != FALSE;
}

void TWindow::Invalidate() {
    InvalidateRect(handle_, nullptr, TRUE);
}

RECT TWindow::Bounds() const {
    RECT bounds{};
    GetWindowRect(handle_, &bounds);
    return bounds;
}

void TWindow::MoveTo(int left, int top) {
    SetWindowPos(handle_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT TWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (HWND control = NotifyingControl(handle_, message, wParam, lParam)) {
        if (TNotificationTarget* target = TNotificationTarget::FromHandle(control)) {
            LRESULT result = 0;
            if (target->HandleNotification(message, wParam, lParam, result))
                return result;
        }
    }
    return DefaultHandling(message, wParam, lParam);
}

LRESULT TWindow::DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(handle_, message, wParam, lParam);
}

LRESULT CALLBACK TWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        // The first message that carries the object; WM_GETMINMAXINFO comes before
        // it and gets the default handling below.
        auto* self =
            static_cast<TWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->handle_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<TWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->handle_ = nullptr;
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return self->HandleMessage(message, wParam, lParam);
}

TWindowArgs ChildWindowArgs(const wchar_t* className, const TChildWindowArgs& place,
                            const std::string& caption, DWORD style) {
    const RECT rect = ChildRectAtDpi(place, place.Dpi);
    TWindowArgs window;
    window.ClassName = className;
    window.Caption = caption;
    window.Style = style;
    window.Parent = place.Parent;
    window.Left = rect.left;
    window.Top = rect.top;
    window.Width = rect.right - rect.left;
    window.Height = rect.bottom - rect.top;
    window.Id = place.Id;
    return window;
}

RECT ChildRectAtDpi(const TChildWindowArgs& place, UINT dpi) {
    return ScaleRectToDpi(
        RECT{place.Left, place.Top, place.Left + place.Width, place.Top + place.Height}, dpi);
}

void MoveChildToDpi(HWND child, const TChildWindowArgs& place, UINT dpi) {
    const RECT rect = ChildRectAtDpi(place, dpi);
    SetWindowPos(child, nullptr, rect.left, rect.top, rect.right - rect.left,
                 rect.bottom - rect.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace zorvi
