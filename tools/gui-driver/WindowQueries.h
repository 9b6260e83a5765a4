// Looking at another program's windows as a person would: finding them by caption,
// reading texts and list rows, and pressing buttons. Every message to the other
// program has a time-out, since it may be busy (it blocks while an external tool
// runs) and must never hang the driver.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zorvi::driver {

/// How long one message to the other program may take.
inline constexpr UINT kAnswerTimeoutMs = 5000;
/// Pause between two looks while waiting.
inline constexpr std::chrono::milliseconds kPollInterval{100};

/// Calls look() every kPollInterval until it returns true or the time is up.
bool WaitUntil(std::chrono::milliseconds timeout, const std::function<bool()>& look);

/// A visible top-level window with that caption (and class, when given).
HWND FindTopLevel(const std::wstring& caption, const wchar_t* className = nullptr);

/// A descendant window with that text (and class, when given).
HWND FindDescendant(HWND parent, const std::wstring& text, const wchar_t* className = nullptr);
/// The first descendant of that class.
HWND FindDescendantOfClass(HWND parent, const wchar_t* className);

/// The window's text through WM_GETTEXT; nullopt when the program did not answer.
std::optional<std::wstring> WindowText(HWND window);
std::wstring ClassName(HWND window);

/// Every row of a list box that keeps its strings; nullopt on no answer.
std::optional<std::vector<std::wstring>> ListBoxRows(HWND listBox);

/// Whether a person could press the control now: it and its top-level window are
/// visible and enabled (a modal box disables the window under it, and a posted
/// BM_CLICK would reach a button of a disabled window all the same).
bool CanPress(HWND control);

/// Posts the click; true when posted.
bool PostClick(HWND control);

std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& wide);

} // namespace zorvi::driver
