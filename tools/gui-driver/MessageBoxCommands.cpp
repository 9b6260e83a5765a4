// Commands on message boxes: wait for one by caption, read its text, answer it.
// Buttons are pressed by their id, never by caption: their captions are those of
// the system's language.
#include "tools/gui-driver/Command.h"
#include "tools/gui-driver/Output.h"
#include "tools/gui-driver/WindowQueries.h"

#include <array>
#include <cstdlib>

namespace zorvi::driver {
namespace {

// Window class of message boxes and system dialogs.
constexpr wchar_t kDialogClass[] = L"#32770";
// Id of the static control that holds a message box's text.
constexpr int kMessageTextId = 0xFFFF;

HWND AwaitBox(const TArguments& arguments) {
    const std::wstring caption = Wide(arguments.Positional[0]);
    HWND box = nullptr;
    if (!WaitUntil(arguments.Timeout,
                   [&] { return (box = FindTopLevel(caption, kDialogClass)) != nullptr; })) {
        PrintError("no message box \"" + arguments.Positional[0] + "\" appeared");
        return nullptr;
    }
    return box;
}

int PrintBoxText(HWND box) {
    HWND text = GetDlgItem(box, kMessageTextId);
    if (!text)
        return kExitNotFound;
    const auto message = WindowText(text);
    if (!message)
        return kExitNoAnswer;
    PrintLine(EscapeLineBreaks(Utf8(*message)));
    return kExitOk;
}

int WaitBox(const TArguments& arguments) {
    HWND box = AwaitBox(arguments);
    return box ? PrintBoxText(box) : kExitNotFound;
}

// "ok", "cancel", "yes", "no" or a number; 0 when it is none of these.
int ButtonId(const std::string& name) {
    if (name == "ok")
        return IDOK;
    if (name == "cancel")
        return IDCANCEL;
    if (name == "yes")
        return IDYES;
    if (name == "no")
        return IDNO;
    char* end = nullptr;
    const long id = std::strtol(name.c_str(), &end, 10);
    return (end && *end == '\0' && id > 0 && id < 0x10000) ? static_cast<int>(id) : 0;
}

int PressBox(const TArguments& arguments) {
    const int id = ButtonId(arguments.Positional[1]);
    if (id == 0) {
        PrintError("unknown button \"" + arguments.Positional[1] + "\"");
        return kExitUsage;
    }
    HWND box = AwaitBox(arguments);
    if (!box)
        return kExitNotFound;
    HWND button = GetDlgItem(box, id);
    if (!button) {
        PrintError("the box has no button " + arguments.Positional[1]);
        return kExitNo;
    }
    if (!CanPress(button)) {
        PrintError("the button cannot be pressed now");
        return kExitNo;
    }
    return PostClick(button) ? kExitOk : kExitNoAnswer;
}

constexpr std::array kCommands = {
    TCommand{"wait-box", "CAPTION", "wait for a message box with that caption; print its text", 1,
             WaitBox},
    TCommand{"press-box", "CAPTION BUTTON",
             "press a button of that box by id: ok, cancel, yes, no or a number", 2, PressBox},
};

} // namespace

std::span<const TCommand> MessageBoxCommands() {
    return kCommands;
}

} // namespace zorvi::driver
