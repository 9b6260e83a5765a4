// Commands on any window: wait for one by caption, press a button in it by caption,
// list the top-level windows, tell which window is in the foreground.
#include "tools/gui-driver/Command.h"
#include "tools/gui-driver/Output.h"
#include "tools/gui-driver/WindowQueries.h"

#include <array>

namespace zorvi::driver {

HWND AwaitWindow(const TArguments& arguments) {
    const std::wstring caption = Wide(arguments.Positional[0]);
    HWND window = nullptr;
    if (!WaitUntil(arguments.Timeout,
                   [&] { return (window = FindTopLevel(caption)) != nullptr; })) {
        PrintError("no window \"" + arguments.Positional[0] + "\" appeared");
        return nullptr;
    }
    return window;
}

namespace {

int Find(const TArguments& arguments) {
    HWND window = AwaitWindow(arguments);
    if (!window)
        return kExitNotFound;
    PrintLine(Utf8(ClassName(window)));
    return kExitOk;
}

int Press(const TArguments& arguments) {
    HWND window = AwaitWindow(arguments);
    if (!window)
        return kExitNotFound;
    HWND button = FindDescendant(window, Wide(arguments.Positional[1]));
    if (!button) {
        PrintError("no control \"" + arguments.Positional[1] + "\" in the window");
        return kExitNotFound;
    }
    if (!CanPress(button)) {
        PrintError("the control cannot be pressed now");
        return kExitNo;
    }
    return PostClick(button) ? kExitOk : kExitNoAnswer;
}

BOOL CALLBACK PrintWindow(HWND window, LPARAM) {
    if (!IsWindowVisible(window))
        return TRUE;
    const auto text = WindowText(window);
    PrintLine(Utf8(ClassName(window)) + "\t" + (IsWindowEnabled(window) ? "enabled" : "disabled") +
              "\t" + EscapeLineBreaks(Utf8(text.value_or(L"?"))));
    return TRUE;
}

int ListWindows(const TArguments&) {
    EnumWindows(PrintWindow, 0);
    return kExitOk;
}

int Foreground(const TArguments&) {
    HWND window = GetForegroundWindow();
    if (!window) {
        PrintError("no window is in the foreground");
        return kExitNotFound;
    }
    const auto text = WindowText(window);
    if (!text)
        return kExitNoAnswer;
    PrintLine(Utf8(ClassName(window)) + "\t" + EscapeLineBreaks(Utf8(*text)));
    return kExitOk;
}

constexpr std::array kCommands = {
    TCommand{"find", "CAPTION", "wait for a visible top-level window; print its class", 1, Find},
    TCommand{"press", "CAPTION CONTROL",
             "press the control captioned CONTROL in the window CAPTION", 2, Press},
    TCommand{"windows", "", "list visible top-level windows: class, state, caption", 0,
             ListWindows},
    TCommand{"foreground", "", "print the class and caption of the window in the foreground", 0,
             Foreground},
};

} // namespace

std::span<const TCommand> WindowCommands() {
    return kCommands;
}

} // namespace zorvi::driver
