#include "win32/ui/MessageBoxes.h"

#include "win32/base/Utf16.h"

namespace zorvi {

int TWin32MessageBoxes::ShowMessageBox(const std::string& text, const std::string& caption,
                                       unsigned style) {
    HWND owner = GetActiveWindow();
    if (!owner || !IsWindowVisible(owner))
        owner = fallbackOwner_;
    return MessageBoxW(owner, WideFromUtf8(text).c_str(), WideFromUtf8(caption).c_str(),
                       style | MB_APPLMODAL);
}

} // namespace zorvi
