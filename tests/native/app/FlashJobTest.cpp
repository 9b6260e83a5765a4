#include "app/FlashJob.h"

#include "WorkflowFakes.h"

#include <gtest/gtest.h>

#include <tuple>

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

// The batch of a local work folder: it is started there, so it names no folder.
const std::string kLocalBatch = "@echo off\r\n"
                                "FM.EXE @fmconfig.txt\r\n"
                                "if ERRORLEVEL 1 goto 100\r\n"
                                "if not ERRORLEVEL 0 goto 100\r\n"
                                "echo ok>flash-ok.txt\r\n"
                                "exit /B 0\r\n"
                                ":100\r\n"
                                "pause\r\n"
                                "exit /B 1\r\n";

// The batch of a network folder, which it changes to through the variable's value
// in the form that the path's own characters leave alone.
std::string NetworkBatch(const std::string& delayedExpansion, const std::string& variable) {
    return "@echo off\r\n"
           "setlocal " +
           delayedExpansion +
           "\r\n"
           "pushd \"" +
           variable +
           "\"\r\n"
           "if ERRORLEVEL 1 goto 100\r\n"
           "FM.EXE @fmconfig.txt\r\n"
           "if ERRORLEVEL 1 goto 100\r\n"
           "if not ERRORLEVEL 0 goto 100\r\n"
           "echo ok>flash-ok.txt\r\n"
           "popd\r\n"
           "exit /B 0\r\n"
           ":100\r\n"
           "pause\r\n"
           "popd\r\n"
           "exit /B 1\r\n";
}

TEST(FlashJob, BatchRunsTheToolAndMarksOnlyItsSuccess) {
    TJournal journal;
    TMemoryFileSystem files(journal);
    WriteFlashJobFiles(files, kWorkDir, "COM5");
    EXPECT_EQ(files.Read(kWorkDir + "start.bat"), kLocalBatch);
    // fmconfig.txt first, start.bat second.
    EXPECT_EQ(journal,
              (TJournal{"WRITE " + kWorkDir + "fmconfig.txt", "WRITE " + kWorkDir + "start.bat"}));
}

TEST(FlashJob, BatchTextForEachKindOfPathNeverHoldsThePath) {
    const std::string plain = NetworkBatch("DisableDelayedExpansion", "%ZORVI_WORK_FOLDER%");
    const std::string delayed = NetworkBatch("EnableDelayedExpansion", "!ZORVI_WORK_FOLDER!");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"C:\\Users\\Иван Петров\\Documents\\ZorviUpdate\\", kLocalBatch},
        {"C:\\Users\\张伟\\Documents\\ZorviUpdate\\", kLocalBatch},
        {"C:\\Users\\100%\\Documents\\ZorviUpdate\\", kLocalBatch},
        {"C:\\Users\\Q&A (x)\\Documents\\ZorviUpdate\\", kLocalBatch},
        {"C:\\Users\\a^b!c;d=e'f\\Documents\\ZorviUpdate\\", kLocalBatch},
        {"\\\\server\\share\\Documents\\ZorviUpdate\\", plain},
        {"\\\\файлы\\общие\\张伟\\ZorviUpdate\\", plain},
        {"\\\\server\\a^b!c\\ZorviUpdate\\", plain},
        {"\\\\server\\100%\\ZorviUpdate\\", delayed},
        {"\\\\server\\Q&A (x) 50%\\ZorviUpdate\\", delayed},
    };
    for (const auto& [workDir, batch] : cases) {
        TJournal journal;
        TMemoryFileSystem files(journal);
        WriteFlashJobFiles(files, workDir, "COM3");
        EXPECT_EQ(files.Read(workDir + "start.bat"), batch) << workDir;
        EXPECT_EQ(files.Read(workDir + "fmconfig.txt").substr(0, 15), "COM(3,115200)\r\n");
    }
}

TEST(FlashJob, BatchGetsItsFolderThroughTheEnvironmentAndANetworkOneStartsNowhere) {
    for (const std::string& workDir : {kWorkDir, std::string("\\\\server\\share\\100%\\Zu\\")}) {
        TJournal journal;
        TMemoryFileSystem files(journal);
        TScriptedRunner runner(journal, files);
        runner.Statuses = {0u};
        ASSERT_TRUE(RunFlashBatch(runner, files, workDir)) << workDir;
        ASSERT_EQ(runner.Launches.size(), 1u);
        const TConsoleLaunch& launch = runner.Launches[0];
        EXPECT_EQ(launch.CommandLine, "\"" + workDir + "start.bat\"");
        // The interpreter cannot start in a network folder; the batch's pushd goes there.
        EXPECT_EQ(launch.CurrentDirectory, IsNetworkPath(workDir) ? "" : workDir);
        using TVariables = std::vector<std::pair<std::string, std::string>>;
        EXPECT_EQ(launch.Environment, (TVariables{{"ZORVI_WORK_FOLDER", workDir}}));
    }
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
    ASSERT_TRUE(RunFlashBatch(runner, files, kWorkDir));
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

TEST(FlashJob, OnlyStatusZeroOrFourWithTheMarkerWrittenSucceeds) {
    // status, marker written by the batch, result. A console closed at the pause or
    // while the tool runs ends the batch with 0 on some systems, but never past the
    // marker's line.
    const std::vector<std::tuple<std::uint32_t, bool, bool>> cases = {
        {0, true, true},
        {4, true, true},
        {0, false, false},
        {4, false, false},
        {1, false, false},
        {2, false, false},
        {3, false, false},
        {5, false, false},
        {1, true, false},
        {0xC000013Au, false, false},
        {0xC0000005u, false, false},
    };
    for (const auto& [status, marker, success] : cases) {
        TJournal journal;
        TMemoryFileSystem files(journal);
        TScriptedRunner runner(journal, files);
        runner.Statuses = {status};
        runner.Markers = {marker};
        EXPECT_EQ(RunFlashBatch(runner, files, kWorkDir), success)
            << "exit status " << status << (marker ? " with" : " without") << " the marker";
    }
}

TEST(FlashJob, MarkerOfAnEarlierRunIsDeletedFirstAndAnUndeletableOneStopsTheRun) {
    TJournal journal;
    TMemoryFileSystem files(journal);
    const std::string marker = kWorkDir + "flash-ok.txt";
    files.Files[TMemoryFileSystem::Key(marker)] = "ok\r\n";
    TScriptedRunner runner(journal, files);
    runner.Statuses = {0u};
    runner.Markers = {false}; // a console closed: status 0, nothing written
    EXPECT_FALSE(RunFlashBatch(runner, files, kWorkDir));
    EXPECT_EQ(runner.MarkersBefore, std::vector<bool>{false});
    EXPECT_EQ(journal, (TJournal{"DELETE " + marker, "RUN"}));

    // A marker that cannot be deleted could vouch for a run that did not succeed.
    files.Files[TMemoryFileSystem::Key(marker)] = "ok\r\n";
    files.Undeletable.insert(TMemoryFileSystem::Key(marker));
    runner.Statuses = {0u};
    EXPECT_FALSE(RunFlashBatch(runner, files, kWorkDir));
    EXPECT_EQ(runner.Launches.size(), 1u) << "the batch ran although its marker stayed";
}

TEST(FlashJob, ProcessThatCannotStartOrThrowsIsAFailure) {
    TJournal journal;
    TMemoryFileSystem files(journal);
    TScriptedRunner notStarted(journal, files);
    notStarted.Statuses = {std::nullopt};
    EXPECT_FALSE(RunFlashBatch(notStarted, files, kWorkDir));

    class TThrowingRunner : public TProcessRunner {
        std::optional<std::uint32_t> RunAndWait(const TConsoleLaunch&) override {
            throw std::runtime_error("no memory for the process");
        }
    } throwing;
    EXPECT_FALSE(RunFlashBatch(throwing, files, kWorkDir));
}

} // namespace
} // namespace zorvi
