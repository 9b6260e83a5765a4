#include "win32/app/ConsoleProcessRunner.h"

#include "win32/base/Handles.h"
#include "win32/base/Utf16.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace zorvi {
namespace {

// The name of a "NAME=value" entry of an environment block. Entries such as
// "=C:=C:\\" (the current folder of each drive) begin with their '=', which belongs
// to the name.
std::wstring_view NameOf(std::wstring_view entry) {
    const std::size_t equals = entry.find(L'=', 1);
    return entry.substr(0, equals == std::wstring_view::npos ? entry.size() : equals);
}

bool SameName(std::wstring_view a, std::wstring_view b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// The caller's environment with the launch's variables in place of any of the same
// name, as a block of UTF-16 "NAME=value" strings ended by an empty one.
std::wstring EnvironmentBlock(const TConsoleLaunch& launch) {
    std::vector<std::wstring> added;
    for (const auto& [name, value] : launch.Environment) {
        added.push_back(WideFromUtf8(name) + L"=" + WideFromUtf8(value));
    }
    std::wstring block;
    if (wchar_t* own = GetEnvironmentStringsW()) {
        for (const wchar_t* entry = own; *entry != L'\0'; entry += wcslen(entry) + 1) {
            const std::wstring_view text(entry);
            const bool replaced = std::any_of(added.begin(), added.end(), [&](const auto& a) {
                return SameName(NameOf(a), NameOf(text));
            });
            if (!replaced) {
                block.append(text).push_back(L'\0');
            }
        }
        FreeEnvironmentStringsW(own);
    }
    for (const std::wstring& entry : added) {
        block.append(entry).push_back(L'\0');
    }
    block.push_back(L'\0');
    return block;
}

} // namespace

std::optional<std::uint32_t> TConsoleProcessRunner::RunAndWait(const TConsoleLaunch& launch) {
    // 1. The console's window: its left edge at the middle of the main window, its
    //    top level with the main window's top, its size and buffer as asked.
    std::wstring title = WideFromUtf8(launch.ConsoleTitle);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup); // 104 bytes on x64, 68 on x86
    startup.dwFlags =
        STARTF_USESHOWWINDOW | STARTF_USESIZE | STARTF_USEPOSITION | STARTF_USECOUNTCHARS;
    startup.wShowWindow = SW_SHOW;
    RECT main{};
    HWND mainWindow = mainWindow_ ? mainWindow_() : nullptr;
    if (mainWindow != nullptr && GetWindowRect(mainWindow, &main)) {
        startup.dwX = static_cast<DWORD>(main.left + (main.right - main.left) / 2);
        startup.dwY = static_cast<DWORD>(main.top);
    }
    startup.dwXSize = static_cast<DWORD>(launch.WidthPixels);
    startup.dwYSize = static_cast<DWORD>(launch.HeightPixels);
    startup.dwXCountChars = static_cast<DWORD>(launch.BufferColumns);
    startup.dwYCountChars = static_cast<DWORD>(launch.BufferRows);
    startup.lpTitle = title.data();

    // 2. Start it. CreateProcessW may write into the command line, so it gets a
    //    buffer of its own. A window program has no console, so the batch gets a new
    //    one anyway; asking for it makes title, place and size apply also when the
    //    caller runs in a console (a test program, for one).
    std::wstring commandLine = WideFromUtf8(launch.CommandLine);
    std::wstring folder = WideFromUtf8(launch.CurrentDirectory);
    if (folder.empty()) { // no folder of its own: the Windows folder
        wchar_t windows[MAX_PATH] = {};
        const UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
        if (length > 0 && length < MAX_PATH) {
            folder.assign(windows, length);
        }
    }
    // The caller's environment, or that with the launch's variables: the values go
    // as UTF-16, so a folder with any name arrives whole.
    std::wstring environment;
    DWORD flags = CREATE_NEW_CONSOLE;
    if (!launch.Environment.empty()) {
        environment = EnvironmentBlock(launch);
        flags |= CREATE_UNICODE_ENVIRONMENT;
    }
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, flags,
                        environment.empty() ? nullptr : environment.data(),
                        folder.empty() ? nullptr : folder.c_str(), &startup, &process)) {
        return std::nullopt;
    }
    const TKernelHandle processHandle(process.hProcess);
    const TKernelHandle threadHandle(process.hThread);

    // 3. Wait with no time limit: first until it takes input (a console process
    //    does not, so the outcome is of no use), then until it ends. A flashing run
    //    lasts a minute or more; a window that handles nothing for 5 s is marked as
    //    not responding and offered to be closed, and closing it then could leave the
    //    instrument without firmware. So the thread handles its messages whenever
    //    some arrive: the log repaints, and the main window answers throughout.
    //    Start stays disabled meanwhile, so the run cannot be entered again.
    WaitForInputIdle(processHandle.Get(), INFINITE);
    const HANDLE waited[] = {processHandle.Get()};
    for (;;) {
        const DWORD woke = MsgWaitForMultipleObjects(1, waited, FALSE, INFINITE, QS_ALLINPUT);
        if (woke != WAIT_OBJECT_0 + 1) {
            break; // the process ended, or the wait failed: the status tells which
        }
        pump_.ProcessMessages();
    }
    DWORD exitCode = 1; // stays 1 when the status cannot be read
    if (!GetExitCodeProcess(processHandle.Get(), &exitCode)) {
        exitCode = 1;
    }
    return static_cast<std::uint32_t>(exitCode);
}

} // namespace zorvi
