#include "app/FlashJob.h"

#include "WorkflowFakes.h"

#include <gtest/gtest.h>

namespace zorvi {
namespace {

using testing::TJournal;
using testing::TMemoryFileSystem;
using testing::TScriptedRunner;

const std::string kWorkDir = "C:\\Users\\op\\Documents\\ZorviUpdate\\";

TEST(FlashJob, JobFileNamesThePortNumberAndTheFixedParameters) {
    TJournal journal;
    TMemoryFileSystem files(journal);
    WriteFlashJobFiles(files, kWorkDir, "COM5");
    EXPECT_EQ(files.Read(kWorkDir + "fmconfig.txt"),
              "COM(5,115200)\r\n"
              "DEVICE(LPC2138,14.318180)\r\n"
              "HARDWARE(BOOTEXEC,50,100)\r\n"
              "HIGHSPEED(0,115200)\r\n"
              "ERASEUSED(Data.hex,PROTECTISP)\r\n"
              "HEXFILE(Data.hex,NOCHECKSUMS,NOFILL,PROTECTISP)\r\n");
    EXPECT_EQ(FlashConfigLines("COM12").front(), "COM(12,115200)");
    // A port name too short to hold a number must not break the job (no crash).
    EXPECT_EQ(FlashConfigLines("CO").front(), "COM(,115200)");
}

const std::string kStartBatch = "@echo off\r\n"
                                "pushd \"%~dp0\"\r\n"
                                "if ERRORLEVEL 1 goto 100\r\n"
                                "FM.EXE @fmconfig.txt\r\n"
                                "if ERRORLEVEL 1 goto 100\r\n"
                                "if not ERRORLEVEL 0 goto 100\r\n"
                                "popd\r\n"
                                "exit /B 0\r\n"
                                ":100\r\n"
                                "pause\r\n"
                                "popd\r\n"
                                "exit /B 1\r\n";

TEST(FlashJob, BatchChangesToItsOwnFolderAndRunsTheTool) {
    TJournal journal;
    TMemoryFileSystem files(journal);
    WriteFlashJobFiles(files, kWorkDir, "COM5");
    EXPECT_EQ(files.Read(kWorkDir + "start.bat"), kStartBatch);
    // fmconfig.txt first, start.bat second.
    EXPECT_EQ(journal,
              (TJournal{"WRITE " + kWorkDir + "fmconfig.txt", "WRITE " + kWorkDir + "start.bat"}));
}

TEST(FlashJob, BatchTextIsTheSameForNetworkAndNonAsciiWorkFolders) {
    // The interpreter reads a batch in the console's OEM code page and cannot take a
    // network folder as its current folder: the path must not be in the text.
    for (const std::string workDir :
         {"\\\\server\\share\\Documents\\ZorviUpdate\\",
          "C:\\Users\\Иван Петров\\Documents\\ZorviUpdate\\",
          "C:\\Users\\张伟\\Documents\\ZorviUpdate\\", "\\\\файлы\\общие\\张伟\\ZorviUpdate\\"}) {
        TJournal journal;
        TMemoryFileSystem files(journal);
        WriteFlashJobFiles(files, workDir, "COM3");
        EXPECT_EQ(files.Read(workDir + "start.bat"), kStartBatch) << workDir;
        EXPECT_EQ(files.Read(workDir + "fmconfig.txt").substr(0, 15), "COM(3,115200)\r\n");
    }
}

TEST(FlashJob, BatchInANetworkFolderStartsInTheWindowsFolder) {
    TJournal journal;
    TMemoryFileSystem files(journal);
    const std::string workDir = "\\\\server\\share\\ZorviUpdate\\";
    TScriptedRunner runner(journal, files);
    runner.Statuses = {0u};
    ASSERT_TRUE(RunFlashBatch(runner, workDir));
    ASSERT_EQ(runner.Launches.size(), 1u);
    EXPECT_EQ(runner.Launches[0].CommandLine, "\"\\\\server\\share\\ZorviUpdate\\start.bat\"");
    EXPECT_EQ(runner.Launches[0].CurrentDirectory, "");

    EXPECT_TRUE(IsNetworkPath(workDir));
    EXPECT_FALSE(IsNetworkPath(kWorkDir));
    EXPECT_FALSE(IsNetworkPath("\\"));
    EXPECT_FALSE(IsNetworkPath("\\ZorviUpdate\\"));
}

TEST(FlashJob, TextFilesAreInCodePage1251WithCrLf) {
    // И в а н in 1251: C8 E2 E0 ED; no byte-order mark, no UTF-8 left.
    EXPECT_EQ(TextFileBytes({"Иван", ""}), "\xC8\xE2\xE0\xED\r\n\r\n");
}

TEST(FlashJob, UnwritableJobFileRaises) {
    TJournal journal;
    TMemoryFileSystem files(journal);
    files.Unwritable.insert(TMemoryFileSystem::Key(kWorkDir + "START.BAT"));
    EXPECT_THROW(WriteFlashJobFiles(files, kWorkDir, "COM5"), EInOutError);
}

TEST(FlashJob, BatchRunsInItsOwnConsoleFromTheWorkFolder) {
    TJournal journal;
    TMemoryFileSystem files(journal);
    TScriptedRunner runner(journal, files);
    runner.Statuses = {0u};
    ASSERT_TRUE(RunFlashBatch(runner, kWorkDir));
    ASSERT_EQ(runner.Launches.size(), 1u);
    const TConsoleLaunch& launch = runner.Launches[0];
    EXPECT_EQ(launch.CommandLine, "\"C:\\Users\\op\\Documents\\ZorviUpdate\\start.bat\"");
    EXPECT_EQ(launch.CurrentDirectory, kWorkDir);
    EXPECT_EQ(launch.ConsoleTitle, " Обновление ПО...");
    EXPECT_EQ(launch.WidthPixels, 500);
    EXPECT_EQ(launch.HeightPixels, 500);
    EXPECT_EQ(launch.BufferColumns, 80);
    EXPECT_EQ(launch.BufferRows, 20);
}

TEST(FlashJob, ExitStatusesZeroAndFourSucceedEveryOtherFails) {
    TJournal journal;
    TMemoryFileSystem files(journal);
    const std::vector<std::pair<std::uint32_t, bool>> cases = {
        {0, true},  {4, true},  {1, false},           {2, false},
        {3, false}, {5, false}, {0xC0000005u, false}, // the tool crashed
    };
    for (const auto& [status, success] : cases) {
        TScriptedRunner runner(journal, files);
        runner.Statuses = {status};
        EXPECT_EQ(RunFlashBatch(runner, kWorkDir), success) << "exit status " << status;
    }
}

TEST(FlashJob, ProcessThatCannotStartOrThrowsIsAFailure) {
    TJournal journal;
    TMemoryFileSystem files(journal);
    TScriptedRunner notStarted(journal, files);
    notStarted.Statuses = {std::nullopt};
    EXPECT_FALSE(RunFlashBatch(notStarted, kWorkDir));

    class TThrowingRunner : public TProcessRunner {
        std::optional<std::uint32_t> RunAndWait(const TConsoleLaunch&) override {
            throw std::runtime_error("no memory for the process");
        }
    } throwing;
    EXPECT_FALSE(RunFlashBatch(throwing, kWorkDir));
}

} // namespace
} // namespace zorvi
