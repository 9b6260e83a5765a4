// Mouse and keyboard as a person uses them: real input through SendInput, which
// reaches whatever window is under the pointer or has the keyboard focus, as a
// hand's would. Used where a posted message cannot stand in for the hand: a
// right-click that opens a menu, a click into an open menu, Ctrl+C (the program
// reads the Ctrl key's state, which only real input sets).
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace zorvi::driver {

enum class TMouseButton { Left, Right };

/// Moves the pointer to a point of the screen and clicks there; true when every
/// event went in.
bool ClickAt(POINT screen, TMouseButton button);

/// The virtual keys of a combination such as "ctrl+c", "shift+f10" or "escape",
/// modifiers first; nullopt for a name it does not know.
std::optional<std::vector<WORD>> ParseKeys(const std::string& combination);

/// Presses the keys in order and releases them in reverse order; true when every
/// event went in.
bool PressKeys(const std::vector<WORD>& keys);

/// Brings a top-level window to the front, where the keyboard input goes.
void BringToFront(HWND window);

} // namespace zorvi::driver
