#include "app/FlashJob.h"

#include "common/CodePage.h"

namespace zorvi {
namespace {

// The firmware image as the job file names it. The archive holds it as data.hex;
// the work folder's file system matches names without regard to case.
constexpr const char* kHexFileName = "Data.hex";

// Line speed of the flashing tool, both for the boot loader's first contact and for
// the programming itself.
constexpr const char* kToolBaud = "115200";

// The batch ends with status 1 when the tool failed, after the console's key prompt
// so that the operator can read the tool's output. Status 4 is the one other status
// the run accepts as success.
constexpr std::uint32_t kAlsoSuccessStatus = 4;

// The console window in which the batch runs: pixels, then character cells.
constexpr int kConsoleWidth = 500;
constexpr int kConsoleHeight = 500;
constexpr int kConsoleColumns = 80;
constexpr int kConsoleRows = 20;

} // namespace

std::vector<std::string> FlashConfigLines(const std::string& devicePort) {
    // The port number is the port's name without its "COM".
    const std::string portNumber = devicePort.size() > 3 ? devicePort.substr(3) : std::string();
    const std::string hexFile = kHexFileName;
    return {
        "COM(" + portNumber + "," + kToolBaud + ")",
        "DEVICE(LPC2138,14.318180)",
        "HARDWARE(BOOTEXEC,50,100)",
        std::string("HIGHSPEED(0,") + kToolBaud + ")",
        "ERASEUSED(" + hexFile + ",PROTECTISP)",
        "HEXFILE(" + hexFile + ",NOCHECKSUMS,NOFILL,PROTECTISP)",
    };
}

std::vector<std::string> StartBatchLines(const std::string& workDir) {
    // ERRORLEVEL n tests "n or more": a tool that crashed ends with a negative status
    // (an NTSTATUS such as 0xC0000005), which the first test lets through as success;
    // the second sends it to the failure branch too.
    const std::vector<std::string> tool = {
        "FM.EXE @fmconfig.txt",
        "if ERRORLEVEL 1 goto 100",
        "if not ERRORLEVEL 0 goto 100",
        std::string("echo ok>") + kFlashDoneMarker,
    };
    std::vector<std::string> lines = {"@echo off"};
    if (!IsNetworkPath(workDir)) {
        // Started in the work folder already: nothing to change to.
        lines.insert(lines.end(), tool.begin(), tool.end());
        lines.insert(lines.end(), {"exit /B 0", ":100", "pause", "exit /B 1"});
        return lines;
    }
    // The folder comes through the environment. Some interpreters expand again what a
    // variable's value brought in (Wine's does): a % in the value then breaks a
    // %-expansion, a ! a !-expansion. So the form is chosen that the path's own
    // characters leave alone, and delayed expansion is switched as that form needs,
    // whatever the registry's default. pushd maps a drive letter for the run where
    // the interpreter needs one; popd gives it back.
    const bool percent = workDir.find('%') != std::string::npos;
    const std::string variable = kWorkFolderVariable;
    lines.push_back(percent ? "setlocal EnableDelayedExpansion"
                            : "setlocal DisableDelayedExpansion");
    lines.push_back(percent ? "pushd \"!" + variable + "!\"" : "pushd \"%" + variable + "%\"");
    lines.push_back("if ERRORLEVEL 1 goto 100");
    lines.insert(lines.end(), tool.begin(), tool.end());
    lines.insert(lines.end(), {"popd", "exit /B 0", ":100", "pause", "popd", "exit /B 1"});
    return lines;
}

bool IsNetworkPath(const std::string& path) {
    return path.size() >= 2 && path[0] == '\\' && path[1] == '\\';
}

std::string TextFileBytes(const std::vector<std::string>& lines) {
    std::string bytes;
    for (const std::string& line : lines) {
        bytes += FromUtf8(line, TCodePage::Windows1251);
        bytes += "\r\n";
    }
    return bytes;
}

void WriteFlashJobFiles(TFileSystem& files, const std::string& workDir,
                        const std::string& devicePort) {
    // Each file is built whole in memory and saved in one piece, so a later pass
    // replaces every line of an earlier one.
    files.WriteWholeFile(workDir + "fmconfig.txt", TextFileBytes(FlashConfigLines(devicePort)));
    files.WriteWholeFile(workDir + "start.bat", TextFileBytes(StartBatchLines(workDir)));
}

bool RunFlashBatch(TProcessRunner& runner, TFileSystem& files, const std::string& workDir) {
    try {
        // One left by an earlier run would vouch for this one.
        const std::string marker = workDir + kFlashDoneMarker;
        if (!files.RemoveFile(marker)) {
            return false;
        }
        TConsoleLaunch launch;
        // Quoted, so that a work folder with blanks (C:\Users\Ivan Petrov\...) names
        // the batch and not a program at the first blank.
        launch.CommandLine = "\"" + workDir + "start.bat\"";
        // The interpreter cannot start in a network folder (it complains and falls
        // back to the Windows folder); the batch's pushd takes it there instead.
        launch.CurrentDirectory = IsNetworkPath(workDir) ? std::string() : workDir;
        launch.Environment = {{kWorkFolderVariable, workDir}};
        launch.ConsoleTitle = " Обновление ПО...";
        launch.WidthPixels = kConsoleWidth;
        launch.HeightPixels = kConsoleHeight;
        launch.BufferColumns = kConsoleColumns;
        launch.BufferRows = kConsoleRows;
        const std::optional<std::uint32_t> status = runner.RunAndWait(launch);
        if (!status || (*status != 0 && *status != kAlsoSuccessStatus)) {
            return false;
        }
        // The status alone cannot tell a batch that ran through from one whose console
        // was closed or that was interrupted: that one may end with 0 too.
        return files.FileExists(marker);
    } catch (...) {
        // Whatever goes wrong while starting or waiting counts as a failed flashing.
        return false;
    }
}

} // namespace zorvi
