// The workflow's Win32 backends under Wine: the shell's personal folder, files with
// any characters in their names, the console process runner with real batch files
// and the embedded archive resource.
#include "app/ArchiveDeployment.h"
#include "app/FlashJob.h"
#include "win32/app/ConsoleProcessRunner.h"
#include "win32/app/ResourceArchive.h"
#include "win32/app/ShellPersonalFolder.h"
#include "win32/app/Win32FileSystem.h"
#include "win32/base/SystemErrorText.h"
#include "win32/base/Utf16.h"
#include "win32/ui/MessagePump.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace zorvi {
namespace {

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(std::filesystem::path(WideFromUtf8(path)), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(std::filesystem::path(WideFromUtf8(path)), std::ios::binary) << text;
}

std::string TempFolder() {
    wchar_t buffer[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, buffer);
    return Utf8FromWide(buffer); // ends in a backslash
}

std::string OwnFolder() {
    wchar_t buffer[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    std::string path = Utf8FromWide(buffer);
    return path.substr(0, path.rfind('\\') + 1);
}

// A folder under root, ending in a backslash, emptied of the files an earlier run
// left.
std::string FreshFolderIn(const std::string& root, const std::string& name) {
    const std::string folder = root + name + "\\";
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((WideFromUtf8(folder) + L"*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            DeleteFileW((WideFromUtf8(folder) + found.cFileName).c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    CreateDirectoryW(WideFromUtf8(folder).c_str(), nullptr);
    return folder;
}

// A folder with a blank and Cyrillic letters in its name, ending in a backslash,
// emptied of the files an earlier run left.
std::string FreshFolder(const std::string& name) {
    return FreshFolderIn(TempFolder(), "zorvi тест " + name);
}

// The share \\zorvi-test\share\ of this Wine prefix: Wine finds \\server\share in
// the prefix's dosdevices\unc\server\share, a folder made here through Z:, the
// Linux root. Empty when the program does not run under Wine.
std::string TestShare() {
    wchar_t prefix[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(L"WINEPREFIX", prefix, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return {};
    }
    std::string folder = "Z:" + Utf8FromWide(prefix);
    for (char& c : folder) {
        c = c == '/' ? '\\' : c;
    }
    for (const char* part : {"\\dosdevices", "\\unc", "\\zorvi-test", "\\share"}) {
        folder += part;
        CreateDirectoryW(WideFromUtf8(folder).c_str(), nullptr);
    }
    return "\\\\zorvi-test\\share\\";
}

TEST(ShellPersonalFolder, NamesAnExistingFolderWithoutTrailingBackslash) {
    TShellPersonalFolder shell(nullptr);
    const std::string personal = shell.GetPersonalFolder();
    ASSERT_GT(personal.size(), 3u);
    EXPECT_NE(personal.back(), '\\');
    TWin32FileSystem files;
    EXPECT_TRUE(files.FolderExists(personal)) << personal;
    // The work folder under it carries exactly one backslash at each joint.
    const TWorkFolder folder = WorkFolderUnder(personal);
    EXPECT_EQ(folder.WorkDir.find("\\\\"), std::string::npos) << folder.WorkDir;
    EXPECT_EQ(folder.WorkDir, personal + "\\ZorviUpdate\\");
}

TEST(Win32FileSystem, MakesFoldersAndReplacesFilesWithAnyCharactersInTheirNames) {
    TWin32FileSystem files;
    const std::string root = FreshFolder("files");
    const std::string nested = root + "Папка\\вложенная";
    EXPECT_FALSE(files.FolderExists(nested));
    ASSERT_TRUE(ForceFolders(files, nested + "\\"));
    EXPECT_TRUE(files.FolderExists(nested));
    EXPECT_TRUE(ForceFolders(files, nested + "\\")); // existing: done

    const std::string path = nested + "\\задание.txt";
    EXPECT_EQ(files.WriteWholeFile(path, "a longer first content"), 22u);
    EXPECT_EQ(files.WriteWholeFile(path, std::string("x\0y", 3)), 3u);
    EXPECT_EQ(ReadFileBytes(path), std::string("x\0y", 3));
    EXPECT_FALSE(files.FolderExists(path));
}

TEST(Win32FileSystem, FileThatCannotBeCreatedRaisesWithItsPath) {
    TWin32FileSystem files;
    const std::string root = FreshFolder("unwritable");
    try {
        files.WriteWholeFile(root + "no such folder\\start.bat", "x");
        FAIL() << "no error raised";
    } catch (const EInOutError& error) {
        EXPECT_NE(std::string(error.what()).find(root + "no such folder\\start.bat"),
                  std::string::npos)
            << error.what();
    }
    EXPECT_FALSE(files.MakeFolder(root + "a\\b\\c")); // parent missing
}

TEST(Win32FileSystem, CallsThatAnswerFalseLeaveTheSystemsReason) {
    TWin32FileSystem files;
    const std::string root = FreshFolder("reasons");
    EXPECT_EQ(files.LastErrorText(), "");
    // A file where the work folder should be made.
    WriteText(root + "ZorviUpdate", "x");
    EXPECT_FALSE(files.MakeFolder(root + "ZorviUpdate"));
    EXPECT_EQ(files.LastErrorText(), SystemErrorText(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(files.FolderExists(root + "ZorviUpdate"));
    EXPECT_EQ(files.LastErrorText(), SystemErrorText(ERROR_DIRECTORY));
    EXPECT_FALSE(files.FolderExists(root + "missing"));
    EXPECT_EQ(files.LastErrorText(), SystemErrorText(ERROR_FILE_NOT_FOUND));
    // Other calls of the thread do not change what is kept.
    SetLastError(ERROR_INVALID_FUNCTION);
    EXPECT_EQ(files.LastErrorText(), SystemErrorText(ERROR_FILE_NOT_FOUND));

    EXPECT_TRUE(files.FileExists(root + "ZorviUpdate"));
    EXPECT_TRUE(files.RemoveFile(root + "ZorviUpdate"));
    EXPECT_FALSE(files.FileExists(root + "ZorviUpdate"));
    EXPECT_TRUE(files.RemoveFile(root + "ZorviUpdate")) << "nothing left to delete";
    EXPECT_FALSE(files.FileExists(root.substr(0, root.size() - 1))) << "a folder is no file";
}

TEST(ResourceArchive, SaveEmbeddedArchiveWritesTheResourceByteForByte) {
    TResourceArchive archive;
    const std::string_view bytes = archive.Bytes();
    const std::string expected = ReadFileBytes(ZORVI_EMBEDDED_FILE);
    ASSERT_FALSE(expected.empty()) << ZORVI_EMBEDDED_FILE;
    EXPECT_EQ(bytes.size(), expected.size());

    TWin32FileSystem files;
    const std::string path = FreshFolder("archive") + "update.zip";
    WriteText(path, std::string(expected.size() + 1000, 'o')); // longer: must be truncated
    ASSERT_TRUE(SaveEmbeddedArchive(files, archive, path));
    EXPECT_EQ(ReadFileBytes(path), expected);
}

TEST(ResourceArchive, MissingResourceRaises) {
    TResourceArchive archive(nullptr, L"NO_SUCH_ARCHIVE");
    EXPECT_THROW(archive.Bytes(), EInOutError);
}

TEST(ConsoleProcessRunner, ReturnsTheBatchExitStatusAndRunsInTheGivenFolder) {
    const std::string folder = FreshFolder("runner");
    TWin32MessagePump pump;
    TConsoleProcessRunner runner(nullptr, pump);
    for (const std::uint32_t status : {0u, 4u, 1u}) {
        WriteText(folder + "start.bat",
                  "@echo off\r\ncd > cwd.txt\r\nexit /B " + std::to_string(status) + "\r\n");
        TConsoleLaunch launch;
        launch.CommandLine = "\"" + folder + "start.bat\"";
        launch.CurrentDirectory = folder;
        launch.ConsoleTitle = " Обновление ПО...";
        launch.WidthPixels = launch.HeightPixels = 500;
        launch.BufferColumns = 80;
        launch.BufferRows = 20;
        const std::optional<std::uint32_t> result = runner.RunAndWait(launch);
        ASSERT_TRUE(result.has_value()) << status;
        EXPECT_EQ(*result, status);
        // cmd writes the folder in the console's code page; compare the ASCII tail.
        const std::string cwd = ReadFileBytes(folder + "cwd.txt");
        EXPECT_NE(cwd.find("runner"), std::string::npos) << cwd;
    }
}

TEST(ConsoleProcessRunner, ConsoleOpensAtTheMiddleOfTheMainWindowWithItsTitleAndSize) {
    // A stand-in main window: left 100, top 50, 400 wide.
    HWND main = CreateWindowExW(0, L"STATIC", L"main", WS_POPUP, 100, 50, 400, 300, nullptr,
                                nullptr, nullptr, nullptr);
    ASSERT_NE(main, nullptr);
    const std::string folder = FreshFolder("startup");
    TWin32MessagePump pump;
    TConsoleProcessRunner runner([main] { return main; }, pump);
    TConsoleLaunch launch;
    launch.CommandLine = "\"" + OwnFolder() + "app-stand-in-tool.exe\" --startup-info";
    launch.CurrentDirectory = folder;
    launch.ConsoleTitle = " Обновление ПО...";
    launch.WidthPixels = 500;
    launch.HeightPixels = 500;
    launch.BufferColumns = 80;
    launch.BufferRows = 20;
    const std::optional<std::uint32_t> status = runner.RunAndWait(launch);
    DestroyWindow(main);
    ASSERT_EQ(status, std::optional<std::uint32_t>(0));

    std::istringstream given(ReadFileBytes(folder + "tool-startup.txt"));
    std::vector<std::string> fields;
    for (std::string line; std::getline(given, line);) {
        fields.push_back(line);
    }
    // STARTF_USESHOWWINDOW | USESIZE | USEPOSITION | USECOUNTCHARS, SW_SHOW, left edge
    // at 100 + 400 / 2, top level with the window's, 500 x 500 pixels, 80 x 20 cells.
    EXPECT_EQ(fields, (std::vector<std::string>{"15", "5", "300", "50", "500", "500", "80", "20",
                                                " Обновление ПО..."}));
}

int timerTicks = 0;

// A timer procedure has the system's calling convention, which a lambda lacks on x86.
void CALLBACK CountTimerTick(HWND, UINT, UINT_PTR, DWORD) {
    ++timerTicks;
}

TEST(ConsoleProcessRunner, WindowMessagesAreHandledWhileTheProgramRuns) {
    // A thread timer every 50 ms while the program runs 1.5 s: its ticks are
    // dispatched only when the wait handles messages.
    timerTicks = 0;
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, CountTimerTick);
    ASSERT_NE(timer, 0u);
    const std::string folder = FreshFolder("pump");
    TWin32MessagePump pump;
    TConsoleProcessRunner runner(nullptr, pump);
    TConsoleLaunch launch;
    launch.CommandLine = "\"" + OwnFolder() + "app-stand-in-tool.exe\" --sleep 1500";
    launch.CurrentDirectory = folder;
    const std::optional<std::uint32_t> status = runner.RunAndWait(launch);
    KillTimer(nullptr, timer);
    ASSERT_EQ(status, std::optional<std::uint32_t>(0));
    EXPECT_GE(timerTicks, 10);
}

TEST(ConsoleProcessRunner, BatchThatDoesNotExistIsNotStarted) {
    TWin32MessagePump pump;
    TConsoleProcessRunner runner(nullptr, pump);
    TConsoleLaunch launch;
    launch.CommandLine = "\"" + TempFolder() + "no such folder\\start.bat\"";
    launch.CurrentDirectory = TempFolder() + "no such folder\\";
    EXPECT_FALSE(runner.RunAndWait(launch).has_value());
}

// The flashing job for real: job files written by the workflow, start.bat run by cmd,
// a stand-in tool as FM.EXE beside them.
class FlashBatch : public ::testing::Test {
protected:
    void SetUp() override { Prepare(FreshFolder("flash")); }
    /// A fresh work folder with the tool and the job files.
    void Prepare(const std::string& folder) {
        Folder = folder;
        ASSERT_TRUE(CopyFileW(WideFromUtf8(OwnFolder() + "app-stand-in-tool.exe").c_str(),
                              WideFromUtf8(Folder + "FM.EXE").c_str(), FALSE));
        WriteFlashJobFiles(Files, Folder, "COM7");
    }
    bool RunWithToolStatus(const std::string& status) {
        WriteText(Folder + "tool-status.txt", status);
        DeleteFileW(WideFromUtf8(Folder + "tool-run.txt").c_str());
        return RunFlashBatch(Runner, Files, Folder);
    }
    /// What the tool noted in its current folder: that folder and its argument.
    struct TToolRun {
        std::string Folder;
        std::string Argument;
    };
    TToolRun ToolRun() const {
        std::istringstream notes(ReadFileBytes(Folder + "tool-run.txt"));
        TToolRun run;
        std::getline(notes, run.Folder);
        std::getline(notes, run.Argument);
        return run;
    }
    std::string Folder;
    TWin32FileSystem Files;
    TWin32MessagePump Pump;
    TConsoleProcessRunner Runner{nullptr, Pump};
};

TEST_F(FlashBatch, ToolSucceedingMakesTheRunSucceed) {
    ASSERT_TRUE(RunWithToolStatus("0"));
    const TToolRun run = ToolRun();
    EXPECT_EQ(run.Argument, "@fmconfig.txt");
    EXPECT_NE(run.Folder.find("flash"), std::string::npos) << run.Folder;
}

TEST_F(FlashBatch, BatchRunsInLocalAndNetworkFoldersWhateverTheirNames) {
    // Characters the interpreter gives meanings of its own, blanks, and names that
    // code page 1251 misreads or cannot write. A network folder cannot be the
    // interpreter's current folder: its batch changes there itself.
    const std::string share = TestShare();
    ASSERT_FALSE(share.empty()) << "no share of the Wine prefix";
    const std::vector<std::string> names = {"100%",        "Q&A (x)", "a^b!c",    "s;e=x'y z",
                                            "Иван Петров", "张伟",    "50% (a)&b"};
    for (const std::string& root : {TempFolder(), share}) {
        for (const std::string& name : names) {
            Prepare(FreshFolderIn(root, name));
            WriteText(Folder + "tool-status.txt", "0");
            DeleteFileW(WideFromUtf8(Folder + "tool-run.txt").c_str());
            EXPECT_TRUE(RunFlashBatch(Runner, Files, Folder)) << Folder;
            // The tool ran in the work folder (its notes are there) with its job.
            EXPECT_EQ(ToolRun().Argument, "@fmconfig.txt") << Folder;
            EXPECT_TRUE(Files.FileExists(Folder + kFlashDoneMarker)) << Folder;
        }
    }
}

TEST_F(FlashBatch, ToolFailingLeavesNoMarkerAndAnEarlierOneIsGone) {
    WriteText(Folder + kFlashDoneMarker, "ok\r\n");
    EXPECT_FALSE(RunWithToolStatus("1"));
    EXPECT_FALSE(Files.FileExists(Folder + kFlashDoneMarker));
}

TEST_F(FlashBatch, ToolFailingMakesTheRunFailAfterTheKeyPrompt) {
    EXPECT_FALSE(RunWithToolStatus("1"));
    EXPECT_FALSE(RunWithToolStatus("3"));
    EXPECT_FALSE(ReadFileBytes(Folder + "tool-run.txt").empty());
}

TEST_F(FlashBatch, ToolCrashingIsAFailureNotASuccess) {
    // 0xC0000005 as the signed status cmd sees.
    EXPECT_FALSE(RunWithToolStatus("-1073741819"));
}

} // namespace
} // namespace zorvi
