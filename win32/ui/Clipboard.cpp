#include "win32/ui/Clipboard.h"

#include <cstring>

namespace zorvi {
namespace {

// Another program may hold the clipboard open for a moment (a clipboard viewer
// reading what was just put there): a few short tries before giving up.
constexpr int kOpenTries = 10;
constexpr DWORD kOpenRetryMs = 20;

bool OpenClipboardSoon(HWND owner) {
    for (int attempt = 0; attempt < kOpenTries; ++attempt) {
        if (OpenClipboard(owner))
            return true;
        Sleep(kOpenRetryMs);
    }
    return false;
}

} // namespace

bool SetClipboardText(HWND owner, const std::wstring& text) {
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (!memory)
        return false;
    void* target = GlobalLock(memory);
    if (!target) {
        GlobalFree(memory);
        return false;
    }
    std::memcpy(target, text.c_str(), bytes);
    GlobalUnlock(memory);

    if (!OpenClipboardSoon(owner)) {
        GlobalFree(memory);
        return false;
    }
    // The memory belongs to the clipboard once SetClipboardData has taken it.
    const bool placed = EmptyClipboard() && SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
    if (!placed)
        GlobalFree(memory);
    CloseClipboard();
    return placed;
}

std::optional<std::wstring> ClipboardText(HWND owner) {
    if (!OpenClipboardSoon(owner))
        return std::nullopt;
    std::optional<std::wstring> text;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
            // Up to the first NUL, and never past the block.
            const std::size_t limit = GlobalSize(data) / sizeof(wchar_t);
            std::size_t length = 0;
            while (length < limit && chars[length] != L'\0')
                ++length;
            text.emplace(chars, length);
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

} // namespace zorvi
