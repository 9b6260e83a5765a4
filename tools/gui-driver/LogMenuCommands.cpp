// Commands for handing the log on, done with the mouse and the keyboard as a person
// would: click a row, right-click a row and choose an item of the log's menu, press
// keys, read the clipboard, answer the save dialog.
#include "tools/gui-driver/Command.h"
#include "tools/gui-driver/Input.h"
#include "tools/gui-driver/Output.h"
#include "tools/gui-driver/WindowQueries.h"

#include "win32/ui/Clipboard.h"
#include "win32/ui/MainForm.h"

#include <array>
#include <cstdlib>
#include <dlgs.h>

namespace zorvi::driver {
namespace {

// Window class of popup menus.
constexpr wchar_t kMenuClass[] = L"#32768";
// Window class of system dialogs, the save dialog among them.
constexpr wchar_t kDialogClass[] = L"#32770";

// The items of the log's menu, top to bottom, as the program makes it. A menu of
// another process cannot be read under Wine (its items live in the program's own
// memory there), so the driver knows the order and clicks by place.
constexpr std::array kLogMenuItems = {TMainForm::kCopyLogItem, TMainForm::kSaveLogItem};

std::optional<int> ParseIndex(const std::string& text) {
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || !end || *end != '\0' || value < 0)
        return std::nullopt;
    return static_cast<int>(value);
}

// The centre of a row of the log on the screen, when the row is in view.
std::optional<POINT> RowCentre(HWND log, int row) {
    RECT rect{};
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(log, LB_GETITEMRECT, static_cast<WPARAM>(row),
                             reinterpret_cast<LPARAM>(&rect), SMTO_ABORTIFHUNG, kAnswerTimeoutMs,
                             &result) ||
        static_cast<LRESULT>(result) == LB_ERR)
        return std::nullopt;
    RECT client{};
    GetClientRect(log, &client);
    POINT centre{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    if (!PtInRect(&client, centre))
        return std::nullopt;
    ClientToScreen(log, &centre);
    return centre;
}

// Clicks a row of the log with a mouse button; prints why not and returns an exit
// code other than kExitOk when it could not.
int ClickRow(const TArguments& arguments, TMouseButton button) {
    const auto row = ParseIndex(arguments.Positional[0]);
    if (!row) {
        PrintError("bad row number \"" + arguments.Positional[0] + "\"");
        return kExitUsage;
    }
    HWND main = AwaitMainWindow(arguments);
    if (!main)
        return kExitNotFound;
    HWND log = FindDescendantOfClass(main, L"ListBox");
    if (!log || !CanPress(log)) {
        PrintError("the log cannot be clicked now");
        return kExitNo;
    }
    const auto centre = RowCentre(log, *row);
    if (!centre) {
        PrintError("row " + arguments.Positional[0] + " is not in view");
        return kExitNotFound;
    }
    BringToFront(main);
    return ClickAt(*centre, button) ? kExitOk : kExitNoAnswer;
}

int ClickLogRow(const TArguments& arguments) {
    return ClickRow(arguments, TMouseButton::Left);
}

// The popup menu on the screen, once it shows.
HWND AwaitMenu(std::chrono::milliseconds timeout) {
    HWND menu = nullptr;
    WaitUntil(timeout, [&] {
        menu = FindWindowW(kMenuClass, nullptr);
        return menu && IsWindowVisible(menu);
    });
    return menu && IsWindowVisible(menu) ? menu : nullptr;
}

int LogMenu(const TArguments& arguments) {
    const std::string& item = arguments.Positional[1];
    std::size_t index = 0;
    while (index < kLogMenuItems.size() && item != kLogMenuItems[index])
        ++index;
    if (index == kLogMenuItems.size()) {
        PrintError("the log's menu has no item \"" + item + "\"");
        return kExitUsage;
    }
    if (const int clicked = ClickRow(arguments, TMouseButton::Right); clicked != kExitOk)
        return clicked;
    HWND menu = AwaitMenu(arguments.Timeout);
    if (!menu) {
        PrintError("no menu opened");
        return kExitNotFound;
    }
    // The items share the menu's height; the middle of an item's share lies well
    // inside it, clear of the menu's frame.
    RECT rect{};
    GetWindowRect(menu, &rect);
    const LONG count = static_cast<LONG>(kLogMenuItems.size());
    const POINT target{(rect.left + rect.right) / 2,
                       rect.top + (rect.bottom - rect.top) * (2 * static_cast<LONG>(index) + 1) /
                                      (2 * count)};
    if (!ClickAt(target, TMouseButton::Left))
        return kExitNoAnswer;
    // Done once the menu has closed (the program then carries the command out).
    if (!WaitUntil(arguments.Timeout, [&] { return !IsWindowVisible(menu); })) {
        PrintError("the menu stayed open");
        return kExitNo;
    }
    return kExitOk;
}

int Key(const TArguments& arguments) {
    const auto keys = ParseKeys(arguments.Positional[0]);
    if (!keys) {
        PrintError("unknown key in \"" + arguments.Positional[0] + "\"");
        return kExitUsage;
    }
    HWND main = AwaitMainWindow(arguments);
    if (!main)
        return kExitNotFound;
    BringToFront(GetLastActivePopup(main));
    return PressKeys(*keys) ? kExitOk : kExitNoAnswer;
}

int Clipboard(const TArguments& arguments) {
    const auto text = ClipboardText(nullptr);
    if (!text) {
        PrintError("the clipboard holds no text");
        return kExitNo;
    }
    if (arguments.Raw)
        PrintRaw(Utf8(*text));
    else
        PrintLine(EscapeLineBreaks(Utf8(*text)));
    return kExitOk;
}

// The save dialog over the main window: a system dialog it owns that has a file
// name field.
HWND FileNameField(HWND dialog) {
    // Explorer-style dialogs keep the name in a combo box's edit, older ones in an
    // edit of their own.
    if (HWND combo = GetDlgItem(dialog, cmb13)) {
        if (HWND edit = FindDescendantOfClass(combo, L"Edit"))
            return edit;
        return combo;
    }
    return GetDlgItem(dialog, edt1);
}

struct TOwnedDialogSearch {
    HWND Owner;
    HWND Found = nullptr;
};

BOOL CALLBACK CheckOwnedDialog(HWND window, LPARAM state) {
    auto& search = *reinterpret_cast<TOwnedDialogSearch*>(state);
    if (IsWindowVisible(window) && GetWindow(window, GW_OWNER) == search.Owner &&
        ClassName(window) == kDialogClass && FileNameField(window)) {
        search.Found = window;
        return FALSE;
    }
    return TRUE;
}

HWND AwaitSaveDialog(const TArguments& arguments) {
    HWND main = AwaitMainWindow(arguments);
    if (!main)
        return nullptr;
    TOwnedDialogSearch search{main};
    if (!WaitUntil(arguments.Timeout, [&] {
            EnumWindows(CheckOwnedDialog, reinterpret_cast<LPARAM>(&search));
            return search.Found != nullptr;
        })) {
        PrintError("no save dialog appeared");
    }
    return search.Found;
}

int WaitSaveDialog(const TArguments& arguments) {
    HWND dialog = AwaitSaveDialog(arguments);
    if (!dialog)
        return kExitNotFound;
    const auto name = WindowText(FileNameField(dialog));
    if (!name)
        return kExitNoAnswer;
    PrintLine(Utf8(*name));
    return kExitOk;
}

int PressSaveDialog(const TArguments& arguments) {
    const std::string& answer = arguments.Positional[0];
    if (answer != "ok" && answer != "cancel") {
        PrintError("answer ok or cancel, not \"" + answer + "\"");
        return kExitUsage;
    }
    HWND dialog = AwaitSaveDialog(arguments);
    if (!dialog)
        return kExitNotFound;
    HWND button = GetDlgItem(dialog, answer == "ok" ? IDOK : IDCANCEL);
    if (!button || !CanPress(button)) {
        PrintError("the button cannot be pressed now");
        return kExitNo;
    }
    if (!PostClick(button))
        return kExitNoAnswer;
    if (!WaitUntil(arguments.Timeout,
                   [&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); })) {
        PrintError("the save dialog stayed open");
        return kExitNo;
    }
    return kExitOk;
}

constexpr std::array kCommands = {
    TCommand{"click-log-row", "ROW", "click row ROW (from 0) of the log with the left button", 1,
             ClickLogRow},
    TCommand{"log-menu", "ROW ITEM",
             "right-click row ROW of the log, then click the menu item ITEM; done when the "
             "menu has closed",
             2, LogMenu},
    TCommand{"key", "KEYS",
             "press keys in the main window (or the dialog over it), e.g. ctrl+c, escape", 1, Key},
    TCommand{"clipboard", "", "print the clipboard's text (CR, LF as \\r, \\n; --raw: as it is)", 0,
             Clipboard},
    TCommand{"wait-save-dialog", "", "wait for the save dialog; print the file name it proposes", 0,
             WaitSaveDialog},
    TCommand{"press-save-dialog", "ok|cancel",
             "press Save or Cancel in the save dialog; done when it has closed", 1,
             PressSaveDialog},
};

} // namespace

std::span<const TCommand> LogMenuCommands() {
    return kCommands;
}

} // namespace zorvi::driver
