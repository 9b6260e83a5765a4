#include "win32/app/ShellPersonalFolder.h"

#include "win32/base/Utf16.h"

#include <shlobj.h>

namespace zorvi {

std::string TShellPersonalFolder::GetPersonalFolder() {
    HWND owner = owner_ ? owner_() : nullptr;
    LPITEMIDLIST items = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(owner, CSIDL_PERSONAL, &items)) || items == nullptr) {
        return {};
    }
    wchar_t buffer[MAX_PATH] = {};
    const BOOL named = SHGetPathFromIDListW(items, buffer);
    CoTaskMemFree(items);
    if (!named) {
        return {};
    }
    std::wstring path(buffer); // up to the first NUL
    // Wine answers with a trailing backslash; the work folder adds its own, so keep
    // one only where it belongs to the path: a drive's root (C:\).
    while (path.size() > 3 && path.back() == L'\\') {
        path.pop_back();
    }
    return Utf8FromWide(path);
}

} // namespace zorvi
