// The clipboard as the log's menu uses it: Unicode text put there, and read back.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace zorvi {

/// Replaces the clipboard's contents with the text (CF_UNICODETEXT), owner being the
/// window that empties it. False, changing nothing, when the clipboard stays busy
/// (another program holds it open) or the system refuses the text.
bool SetClipboardText(HWND owner, const std::wstring& text);

/// The clipboard's Unicode text; nullopt when it holds none or stays busy.
std::optional<std::wstring> ClipboardText(HWND owner);

} // namespace zorvi
