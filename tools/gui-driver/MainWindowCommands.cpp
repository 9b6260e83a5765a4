// Commands on the program's main window: its caption, the log rows, Start.
#include "tools/gui-driver/Command.h"
#include "tools/gui-driver/Output.h"
#include "tools/gui-driver/WindowQueries.h"

#include "win32/ui/FlatButton.h"
#include "win32/ui/MainForm.h"

#include <array>
#include <chrono>

namespace zorvi::driver {
namespace {

// The main window is found by its class and its caption, the Start button by its
// class and caption within it, the log as its list box.
HWND MainWindow() {
    return FindTopLevel(Wide(TMainForm::kCaption), TMainForm::kClassName);
}

HWND StartButton(HWND main) {
    return FindDescendant(main, Wide(TMainForm::kStartCaption), TFlatButton::kClassName);
}

HWND LogListBox(HWND main) {
    return FindDescendantOfClass(main, L"ListBox");
}

int WaitMain(const TArguments& arguments) {
    HWND main = AwaitMainWindow(arguments);
    if (!main)
        return kExitNotFound;
    const auto caption = WindowText(main);
    if (!caption)
        return kExitNoAnswer;
    PrintLine(Utf8(*caption));
    return kExitOk;
}

int Caption(const TArguments& arguments) {
    return WaitMain(arguments);
}

int Log(const TArguments& arguments) {
    HWND main = AwaitMainWindow(arguments);
    if (!main)
        return kExitNotFound;
    const auto rows = ListBoxRows(LogListBox(main));
    if (!rows)
        return kExitNoAnswer;
    for (const std::wstring& row : *rows) {
        if (arguments.Raw)
            PrintRaw(Utf8(row) + std::string(1, '\0'));
        else
            PrintLine(EscapeLineBreaks(Utf8(row)));
    }
    return kExitOk;
}

int LogCount(const TArguments& arguments) {
    HWND main = AwaitMainWindow(arguments);
    if (!main)
        return kExitNotFound;
    const auto rows = ListBoxRows(LogListBox(main));
    if (!rows)
        return kExitNoAnswer;
    PrintLine(std::to_string(rows->size()));
    return kExitOk;
}

int WaitLog(const TArguments& arguments) {
    HWND main = AwaitMainWindow(arguments);
    if (!main)
        return kExitNotFound;
    const std::wstring wanted = Wide(arguments.Positional[0]);
    std::wstring found;
    const bool appeared = WaitUntil(arguments.Timeout, [&] {
        const auto rows = ListBoxRows(LogListBox(main));
        if (!rows)
            return false;
        for (const std::wstring& row : *rows) {
            if (arguments.Exact ? row == wanted : row.find(wanted) != std::wstring::npos) {
                found = row;
                return true;
            }
        }
        return false;
    });
    if (!appeared) {
        PrintError("no log row matched");
        return kExitNotFound;
    }
    PrintLine(EscapeLineBreaks(Utf8(found)));
    return kExitOk;
}

int StartEnabled(const TArguments& arguments) {
    HWND main = AwaitMainWindow(arguments);
    if (!main)
        return kExitNotFound;
    HWND start = StartButton(main);
    if (!start)
        return kExitNotFound;
    const bool usable = CanPress(start);
    PrintLine(usable ? "enabled" : "disabled");
    return usable ? kExitOk : kExitNo;
}

int ClickStart(const TArguments& arguments) {
    HWND main = AwaitMainWindow(arguments);
    if (!main)
        return kExitNotFound;
    HWND start = StartButton(main);
    if (!start)
        return kExitNotFound;
    if (!CanPress(start)) {
        PrintError("Start cannot be pressed now (disabled, or its window is)");
        return kExitNo;
    }
    return PostClick(start) ? kExitOk : kExitNoAnswer;
}

int CloseMain(const TArguments& arguments) {
    HWND main = AwaitMainWindow(arguments);
    if (!main)
        return kExitNotFound;
    return PostMessageW(main, WM_CLOSE, 0, 0) ? kExitOk : kExitNoAnswer;
}

int WaitClosed(const TArguments& arguments) {
    if (!WaitUntil(arguments.Timeout, [] { return MainWindow() == nullptr; })) {
        PrintError("the main window is still there");
        return kExitNo;
    }
    return kExitOk;
}

int Ping(const TArguments& arguments) {
    // Found by its class alone: a caption is read with a message, which a window
    // that does not answer would not answer either.
    HWND main = FindWindowW(TMainForm::kClassName, nullptr);
    if (!main) {
        PrintError("there is no main window");
        return kExitNotFound;
    }
    const auto start = std::chrono::steady_clock::now();
    DWORD_PTR ignored = 0;
    const bool answered =
        SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL,
                            static_cast<UINT>(arguments.Timeout.count()), &ignored) != 0;
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    if (!answered) {
        PrintError("the main window did not answer within " +
                   std::to_string(arguments.Timeout.count()) + " ms");
        return kExitNoAnswer;
    }
    PrintLine(std::to_string(took.count()));
    return kExitOk;
}

constexpr std::array kCommands = {
    TCommand{"wait-main", "", "wait for the main window; print its caption", 0, WaitMain},
    TCommand{"caption", "", "print the main window's caption", 0, Caption},
    TCommand{"log", "",
             "print every log row, one a line (CR, LF in a row as \\r, \\n; --raw: as they are, "
             "each row ended by a NUL)",
             0, Log},
    TCommand{"log-count", "", "print the number of log rows", 0, LogCount},
    TCommand{"wait-log", "TEXT",
             "wait for a log row containing TEXT (--exact: equal to it); print the row", 1,
             WaitLog},
    TCommand{"start-enabled", "", "exit 0 and print \"enabled\" when Start can be pressed", 0,
             StartEnabled},
    TCommand{"click-start", "", "press Start; exit 1 when it cannot be pressed now", 0, ClickStart},
    TCommand{"close-main", "", "close the main window (as its close box)", 0, CloseMain},
    TCommand{"wait-closed", "", "wait until the main window is gone; exit 1 if it stays", 0,
             WaitClosed},
    TCommand{"ping", "",
             "send the main window a null message; print the ms it took to answer, exit 4 "
             "when it did not answer within --timeout",
             0, Ping},
};

} // namespace

HWND AwaitMainWindow(const TArguments& arguments) {
    HWND main = nullptr;
    if (!WaitUntil(arguments.Timeout, [&] { return (main = MainWindow()) != nullptr; })) {
        PrintError("the main window did not appear");
        return nullptr;
    }
    return main;
}

std::span<const TCommand> MainWindowCommands() {
    return kCommands;
}

} // namespace zorvi::driver
