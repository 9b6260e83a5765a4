// Where a window and its controls are on the screen, for tests that compare a
// layout with the sizes it must have.
#include "tools/gui-driver/Command.h"
#include "tools/gui-driver/Output.h"
#include "tools/gui-driver/WindowQueries.h"

#include <array>

namespace zorvi::driver {
namespace {

std::string RectText(const RECT& rect) {
    return std::to_string(rect.left) + " " + std::to_string(rect.top) + " " +
           std::to_string(rect.right) + " " + std::to_string(rect.bottom);
}

BOOL CALLBACK PrintControl(HWND control, LPARAM) {
    // Each control's rectangle in its parent's client area, as the layout gives it.
    const HWND parent = GetParent(control);
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    PrintLine("control " + std::to_string(GetDlgCtrlID(control)) + " " +
              std::to_string(GetDlgCtrlID(parent)) + " " + Utf8(ClassName(control)) + " " +
              RectText(rect));
    return TRUE;
}

int Controls(const TArguments& arguments) {
    HWND window = AwaitWindow(arguments);
    if (!window)
        return kExitNotFound;
    RECT outer{};
    RECT client{};
    GetWindowRect(window, &outer);
    GetClientRect(window, &client);
    PrintLine("window " + RectText(outer));
    PrintLine("client " + std::to_string(client.right) + " " + std::to_string(client.bottom));
    EnumChildWindows(window, PrintControl, 0);
    return kExitOk;
}

constexpr std::array kCommands = {
    TCommand{"controls", "CAPTION",
             "print a window's screen rectangle (\"window L T R B\"), its client size "
             "(\"client W H\") and every control as \"control ID PARENT-ID "
             "CLASS L T R B\" in "
             "its parent's client area",
             1, Controls},
};

} // namespace

std::span<const TCommand> LayoutCommands() {
    return kCommands;
}

} // namespace zorvi::driver
