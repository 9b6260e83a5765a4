#include "tools/gui-driver/WindowQueries.h"

#include "win32/base/Utf16.h"

#include <thread>

namespace zorvi::driver {
namespace {

struct TSearch {
    const std::wstring* Text; // nullptr: any text
    const wchar_t* ClassName; // nullptr: any class
    bool VisibleOnly;
    HWND Found = nullptr;
};

bool Matches(HWND window, const TSearch& search) {
    if (search.VisibleOnly && !IsWindowVisible(window))
        return false;
    if (search.ClassName && ClassName(window) != search.ClassName)
        return false;
    if (search.Text) {
        const auto text = WindowText(window);
        if (!text || *text != *search.Text)
            return false;
    }
    return true;
}

BOOL CALLBACK CheckWindow(HWND window, LPARAM state) {
    auto& search = *reinterpret_cast<TSearch*>(state);
    if (!Matches(window, search))
        return TRUE;
    search.Found = window;
    return FALSE;
}

} // namespace

bool WaitUntil(std::chrono::milliseconds timeout, const std::function<bool()>& look) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (look())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(kPollInterval);
    }
}

HWND FindTopLevel(const std::wstring& caption, const wchar_t* className) {
    TSearch search{&caption, className, true};
    EnumWindows(CheckWindow, reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

HWND FindDescendant(HWND parent, const std::wstring& text, const wchar_t* className) {
    TSearch search{&text, className, false};
    EnumChildWindows(parent, CheckWindow, reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

HWND FindDescendantOfClass(HWND parent, const wchar_t* className) {
    TSearch search{nullptr, className, false};
    EnumChildWindows(parent, CheckWindow, reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

std::optional<std::wstring> WindowText(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kAnswerTimeoutMs,
                             &length))
        return std::nullopt;
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                             SMTO_ABORTIFHUNG, kAnswerTimeoutMs, &copied))
        return std::nullopt;
    text.resize(copied < text.size() ? copied : text.size() - 1);
    return text;
}

std::wstring ClassName(HWND window) {
    wchar_t name[256] = {};
    const int length = GetClassNameW(window, name, 256);
    return std::wstring(name, length > 0 ? static_cast<size_t>(length) : 0);
}

std::optional<std::vector<std::wstring>> ListBoxRows(HWND listBox) {
    DWORD_PTR count = 0;
    if (!SendMessageTimeoutW(listBox, LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, kAnswerTimeoutMs,
                             &count))
        return std::nullopt;
    std::vector<std::wstring> rows;
    for (DWORD_PTR row = 0; row < count; ++row) {
        DWORD_PTR length = 0;
        if (!SendMessageTimeoutW(listBox, LB_GETTEXTLEN, row, 0, SMTO_ABORTIFHUNG, kAnswerTimeoutMs,
                                 &length))
            return std::nullopt;
        if (static_cast<LRESULT>(length) == LB_ERR)
            return std::nullopt; // the log changed under us (emptied by Start)
        std::wstring text(length + 1, L'\0');
        DWORD_PTR copied = 0;
        if (!SendMessageTimeoutW(listBox, LB_GETTEXT, row, reinterpret_cast<LPARAM>(text.data()),
                                 SMTO_ABORTIFHUNG, kAnswerTimeoutMs, &copied) ||
            static_cast<LRESULT>(copied) == LB_ERR)
            return std::nullopt;
        text.resize(copied <= length ? copied : length);
        rows.push_back(std::move(text));
    }
    return rows;
}

bool CanPress(HWND control) {
    const HWND top = GetAncestor(control, GA_ROOT);
    return IsWindowVisible(control) && IsWindowEnabled(control) && top && IsWindowVisible(top) &&
           IsWindowEnabled(top);
}

bool PostClick(HWND control) {
    return PostMessageW(control, BM_CLICK, 0, 0) != FALSE;
}

std::wstring Wide(const std::string& utf8) {
    return WideFromUtf8(utf8);
}

std::string Utf8(const std::wstring& wide) {
    return Utf8FromWide(wide);
}

} // namespace zorvi::driver
