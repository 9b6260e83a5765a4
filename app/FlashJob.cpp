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

std::vector<std::string> StartBatchLines() {
    return {
        "@echo off",
        // The batch's own folder, as the interpreter knows it: the path never passes
        // through the batch's text, whose code page the interpreter reads in the
        // console's OEM code page (a Cyrillic user name would be misread, a Chinese one
        // cannot be written in 1251 at all). pushd also changes the drive, and for a
        // network folder, which cannot be the interpreter's current folder, it maps
        // a drive letter for the run; popd gives it back.
        "pushd \"%~dp0\"",
        "if ERRORLEVEL 1 goto 100",
        "FM.EXE @fmconfig.txt",
        "if ERRORLEVEL 1 goto 100",
        // ERRORLEVEL n tests "n or more": a tool that crashed ends with a negative
        // status (an NTSTATUS such as 0xC0000005), which the line above lets through
        // as success. This line sends it to the failure branch too.
        "if not ERRORLEVEL 0 goto 100",
        "popd",
        "exit /B 0",
        ":100",
        "pause",
        "popd",
        "exit /B 1",
    };
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
    files.WriteWholeFile(workDir + "start.bat", TextFileBytes(StartBatchLines()));
}

bool RunFlashBatch(TProcessRunner& runner, const std::string& workDir) {
    try {
        TConsoleLaunch launch;
        // Quoted, so that a work folder with blanks (C:\Users\Ivan Petrov\...) names
        // the batch and not a program at the first blank.
        launch.CommandLine = "\"" + workDir + "start.bat\"";
        // The interpreter cannot start in a network folder (it complains and falls
        // back to the Windows folder); the batch's pushd takes it there instead.
        launch.CurrentDirectory = IsNetworkPath(workDir) ? std::string() : workDir;
        launch.ConsoleTitle = " Обновление ПО...";
        launch.WidthPixels = kConsoleWidth;
        launch.HeightPixels = kConsoleHeight;
        launch.BufferColumns = kConsoleColumns;
        launch.BufferRows = kConsoleRows;
        const std::optional<std::uint32_t> status = runner.RunAndWait(launch);
        if (!status) {
            return false;
        }
        return *status == 0 || *status == kAlsoSuccessStatus;
    } catch (...) {
        // Whatever goes wrong while starting or waiting counts as a failed flashing.
        return false;
    }
}

} // namespace zorvi
