#include "app/UpdateWorkflow.h"

#include "app/FlashJob.h"

#include "WorkflowFakes.h"

#include <gtest/gtest.h>

namespace zorvi {
namespace {

using testing::CountOf;
using testing::LogLines;
using testing::TFoundDevice;
using testing::TJournal;
using testing::TMemoryFileSystem;
using testing::TWorkflowRig;
using TLines = std::vector<std::string>;

const std::string kWorkDir = "C:\\Users\\op\\Documents\\ZorviUpdate\\";

// Boxes as the journal records them: "BOX <caption> <style>: <text>".
const std::string kQuestionBox = "BOX Вопрос 36: Обновление ПО не требуется. Все равно выполнить "
                                 "процедуру обновления?";
const std::string kInstructionBox =
    "BOX Информация 65: 1. Отключите прибор от компьютера.\r\r2. Переведите прибор в режим "
    "программирования согласно инструкции.\r\r3. Нажмите кнопку \"OK\" для продолжения или "
    "\"Отмена\" для прерывания операции.\r\r";
const std::string kFlashedBox = "BOX Информация 64: Загрузка завершена. Отключите прибор от "
                                "компьютера и нажмите кнопку \"OK\".";
const std::string kLightBox =
    "BOX Информация 64: Направьте прибор в сторону от источника света(в пол)";

const TLines kConnectLines = {"Подключение к прибору...", "   Подключение к прибору выполнено.",
                              "Сверка версий ПО..."};
const TLines kDeployLines = {
    "Распаковка архива...",
    "   Создание директории...",
    "      C:\\Users\\op\\Documents\\ZorviUpdate\\",
    "      Успешно.",
    "   Копирование архива...",
    "      C:\\Users\\op\\Documents\\ZorviUpdate\\update.zip",
    "      Успешно.",
    "   Распаковка успешно завершена.",
    "",
};

TLines Join(std::initializer_list<TLines> parts) {
    TLines all;
    for (const TLines& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

// The journal without the log lines and file-system entries: the boxes, waits, runs and
// recalibrations, in order.
TJournal Interactions(const TJournal& journal) {
    TJournal out;
    for (const std::string& entry : journal) {
        if (entry.rfind("LOG ", 0) != 0 && entry.rfind("WRITE ", 0) != 0 &&
            entry.rfind("MKDIR ", 0) != 0 && entry.rfind("DELETE ", 0) != 0) {
            out.push_back(entry);
        }
    }
    return out;
}

TEST(StartFrame, InstrumentAtTargetVersionAnsweredNoEndsAfterTheQuestion) {
    TWorkflowRig rig;
    rig.Device.Waits = {{true, "COM3", "1V5"}};
    rig.Boxes.Answers = {kIdNo};
    TUpdateWorkflow workflow(rig.Environment());
    workflow.StartButtonClick();

    EXPECT_EQ(LogLines(rig.Journal), Join({kConnectLines,
                                           {"   Обновление программного обеспечения не требуется.",
                                            "", "Операция завершена"}}));
    EXPECT_EQ(Interactions(rig.Journal),
              (TJournal{"CLEAR", "START OFF", "WAIT", kQuestionBox, "START ON"}));
    EXPECT_TRUE(rig.Files.Files.empty());
    EXPECT_TRUE(rig.UnZip.Calls.empty());
}

TEST(StartFrame, FullRoadFromAnOlderVersionToTheClosingLines) {
    TWorkflowRig rig;
    rig.Device.Waits = {{true, "COM5", "1V4"}, {true, "COM5", "1V5"}};
    rig.Boxes.Answers = {kIdOk, kIdOk, kIdOk};
    rig.Runner.Statuses = {0u};
    rig.Recalibration.Results = {true};
    TUpdateWorkflow workflow(rig.Environment());
    workflow.StartButtonClick();

    EXPECT_EQ(
        LogLines(rig.Journal),
        Join({kConnectLines,
              {"   Требуется обновление ПО до версии 1V5.", ""},
              kDeployLines,
              {"Обновление программного обеспечения...", "   Загрузка ПО в прибор...",
               "   Загрузка ПО завершена. Проверка...", "   Подключение к прибору выполнено.",
               " Обновление программного обеспечения до версии 1V5 выполнено.",
               "   Начало перекалибровки...", "   Калибровка проведена. Прибор готов к работе! ",
               "", "Обновление успешно завершено.", "", "Отключите прибор от компьютера.",
               "Операция завершена"}}));
    EXPECT_EQ(Interactions(rig.Journal),
              (TJournal{"CLEAR", "START OFF", "WAIT", kInstructionBox, "RUN", kFlashedBox, "WAIT",
                        kLightBox, "RECALIBRATE", "START ON"}));
    // The job was written for the port found, before the tool ran.
    ASSERT_EQ(rig.Runner.JobFilesSeen.size(), 1u);
    EXPECT_EQ(rig.Runner.JobFilesSeen[0].substr(0, 15), "COM(5,115200)\r\n");
    EXPECT_EQ(rig.Files.Read(kWorkDir + "start.bat"), TextFileBytes(StartBatchLines(kWorkDir)));
    EXPECT_EQ(workflow.WorkFolder().WorkDir, kWorkDir);
    EXPECT_TRUE(rig.View.StartEnabled);
}

TEST(StartFrame, AnsweringYesUpdatesAnInstrumentAlreadyAtTargetVersion) {
    TWorkflowRig rig;
    rig.Device.Waits = {{true, "COM3", "1V5"}, {true, "COM3", "1V5"}};
    rig.Boxes.Answers = {kIdYes, kIdOk, kIdOk, kIdOk};
    rig.Runner.Statuses = {0u};
    rig.Recalibration.Results = {true};
    TUpdateWorkflow workflow(rig.Environment());
    workflow.StartButtonClick();

    const TLines lines = LogLines(rig.Journal);
    EXPECT_EQ(TLines(lines.begin(), lines.begin() + 5),
              Join({kConnectLines, {"   Обновление программного обеспечения не требуется.", ""}}));
    EXPECT_EQ(lines[5], "Распаковка архива...");
    EXPECT_EQ(lines.back(), "Операция завершена");
    EXPECT_EQ(CountOf(rig.Journal, "LOG Обновление успешно завершено."), 1u);
    EXPECT_EQ(Interactions(rig.Journal)[3], kQuestionBox);
    EXPECT_EQ(CountOf(rig.Journal, "RUN"), 1u);
}

TEST(ConnectAndCheckVersion, AnyTextOtherThanTheExactTargetNeedsTheUpdate) {
    for (const std::string version : {"1v5", "1V6", "1V4", "", "1V5 ", " 1V5"}) {
        TWorkflowRig rig;
        rig.Device.Waits = {{true, "COM3", version}};
        TUpdateWorkflow workflow(rig.Environment());
        EXPECT_TRUE(workflow.ConnectAndCheckVersion()) << version;
        EXPECT_TRUE(workflow.UpdateRequested());
        EXPECT_EQ(LogLines(rig.Journal),
                  Join({kConnectLines, {"   Требуется обновление ПО до версии 1V5.", ""}}))
            << version;
        EXPECT_TRUE(rig.Boxes.Texts.empty()) << "no question for " << version;
    }
}

TEST(StartFrame, AbortedFirstConnectEndsRightAway) {
    TWorkflowRig rig;
    rig.Device.Waits = {{false, "", ""}};
    TUpdateWorkflow workflow(rig.Environment());
    workflow.StartButtonClick();
    EXPECT_EQ(LogLines(rig.Journal),
              (TLines{"Подключение к прибору...", "   Операция прервана.", "Операция завершена"}));
    EXPECT_EQ(rig.Journal.back(), "START ON");
}

TEST(StartFrame, FailedDeploymentSkipsTheFlashingLoop) {
    TWorkflowRig rig;
    rig.Device.Waits = {{true, "COM3", "1V4"}};
    rig.UnZip.Extracted = 4;
    TUpdateWorkflow workflow(rig.Environment());
    workflow.StartButtonClick();
    const TLines lines = LogLines(rig.Journal);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "   Ошибка при распаковке архива!");
    EXPECT_EQ(lines.back(), "Операция завершена");
    EXPECT_TRUE(rig.Boxes.Texts.empty());
}

// A rig whose first check needed the update and whose deployment went through.
struct TFlashingRig : TWorkflowRig {
    TFlashingRig() { Device.Waits = {{true, "COM5", "1V4"}}; }
    TLines LogAfterDeployment() const {
        const TLines lines = LogLines(Journal);
        const std::size_t head = kConnectLines.size() + 2 + kDeployLines.size();
        return head <= lines.size() ? TLines(lines.begin() + head, lines.end()) : TLines{};
    }
};

TEST(PerformUpdate, CancelAtTheFirstInstructionWritesNothingMore) {
    TFlashingRig rig;
    rig.Boxes.Answers = {kIdCancel};
    TUpdateWorkflow workflow(rig.Environment());
    workflow.StartButtonClick();
    EXPECT_EQ(rig.LogAfterDeployment(),
              (TLines{"Обновление программного обеспечения...", "Операция завершена"}));
    EXPECT_EQ(rig.Files.Read(kWorkDir + "fmconfig.txt"), "");
    EXPECT_EQ(CountOf(rig.Journal, "RUN"), 0u);
}

TEST(PerformUpdate, FailedToolRunEndsTheUpdate) {
    TFlashingRig rig;
    rig.Boxes.Answers = {kIdOk};
    rig.Runner.Statuses = {1u};
    TUpdateWorkflow workflow(rig.Environment());
    workflow.StartButtonClick();
    EXPECT_EQ(rig.LogAfterDeployment(),
              (TLines{"Обновление программного обеспечения...", "   Загрузка ПО в прибор...",
                      "   Ошибка при выполнении обновления ПО!", "Операция завершена"}));
    EXPECT_EQ(CountOf(rig.Journal, "WAIT"), 1u);
}

TEST(PerformUpdate, AbortedReconnectEndsTheUpdate) {
    TFlashingRig rig;
    rig.Device.Waits.push_back({false, "", ""});
    rig.Boxes.Answers = {kIdOk, kIdOk};
    rig.Runner.Statuses = {0u};
    TUpdateWorkflow workflow(rig.Environment());
    workflow.StartButtonClick();
    EXPECT_EQ(rig.LogAfterDeployment(),
              (TLines{"Обновление программного обеспечения...", "   Загрузка ПО в прибор...",
                      "   Загрузка ПО завершена. Проверка...", "   Операция прервана.",
                      "Операция завершена"}));
    EXPECT_EQ(CountOf(rig.Journal, "RECALIBRATE"), 0u);
}

TEST(PerformUpdate, WrongVersionAfterFlashingIsShownAndTheLoopStartsOver) {
    TFlashingRig rig;
    rig.Device.Waits.push_back({true, "COM5", "1V4"});
    rig.Device.Waits.push_back({true, "COM5", "1V5"});
    rig.Boxes.Answers = {kIdOk, kIdOk, kIdOk, kIdOk, kIdOk, kIdOk};
    rig.Runner.Statuses = {0u, 0u};
    rig.Recalibration.Results = {true};
    TUpdateWorkflow workflow(rig.Environment());
    workflow.StartButtonClick();

    EXPECT_EQ(
        rig.LogAfterDeployment(),
        (TLines{"Обновление программного обеспечения...", "   Загрузка ПО в прибор...",
                "   Загрузка ПО завершена. Проверка...", "   Подключение к прибору выполнено.",
                "   Обновление программного обеспечения НЕ выполнено! Повтор...",
                "   Загрузка ПО в прибор...", "   Загрузка ПО завершена. Проверка...",
                "   Подключение к прибору выполнено.",
                " Обновление программного обеспечения до версии 1V5 выполнено.",
                "   Начало перекалибровки...", "   Калибровка проведена. Прибор готов к работе! ",
                "", "Обновление успешно завершено.", "", "Отключите прибор от компьютера.",
                "Операция завершена"}));
    EXPECT_EQ(Interactions(rig.Journal),
              (TJournal{"CLEAR", "START OFF", "WAIT", kInstructionBox, "RUN", kFlashedBox, "WAIT",
                        "BOX Информация 64: Обновление НЕ выполнено!\r\nВерсия ПО в приборе:1V4",
                        kInstructionBox, "RUN", kFlashedBox, "WAIT", kLightBox, "RECALIBRATE",
                        "START ON"}));
}

TEST(PerformUpdate, VersionNotReadAfterFlashingDoesNotConfirmTheUpdate) {
    // "Update anyway" from 1V5; the reconnected instrument's answer carries no
    // readable version, so the 1V5 read before the flashing is all the dialog holds.
    TWorkflowRig rig;
    rig.Device.Waits = {{true, "COM3", "1V5"}, {true, "COM3", "", false}};
    rig.Boxes.Answers = {kIdYes, kIdOk, kIdOk, kIdOk, kIdCancel};
    rig.Runner.Statuses = {0u};
    TUpdateWorkflow workflow(rig.Environment());
    workflow.StartButtonClick();

    EXPECT_EQ(rig.Device.DeviceVersion(), "1V5");
    const TLines lines = LogLines(rig.Journal);
    EXPECT_EQ(TLines(lines.end() - 3, lines.end()),
              (TLines{"   Подключение к прибору выполнено.",
                      "   Обновление программного обеспечения НЕ выполнено! Повтор...",
                      "Операция завершена"}));
    EXPECT_EQ(CountOf(rig.Journal, "RECALIBRATE"), 0u);
    const TJournal interactions = Interactions(rig.Journal);
    EXPECT_EQ(TJournal(interactions.end() - 4, interactions.end()),
              (TJournal{"WAIT",
                        "BOX Информация 64: Обновление НЕ выполнено!\r\nВерсия ПО в приборе:"
                        "неизвестна",
                        kInstructionBox, "START ON"}));
}

TEST(StartFrame, DuringARunTheWindowDoesNotCloseAndStartIsNotEnteredAgain) {
    TFlashingRig rig;
    rig.Boxes.Answers = {kIdOk, kIdOk, kIdOk, kIdOk};
    rig.Runner.Statuses = {1u};
    TUpdateWorkflow workflow(rig.Environment());
    EXPECT_TRUE(workflow.CloseQuery()) << "idle: the window closes as always";

    bool closable = true;
    bool closableWhileTheBoxShows = true;
    // The operator presses the close box while the instructions show, then while the
    // tool runs, once more from the taskbar while that notice shows, and presses Start.
    rig.Boxes.WhileShown = [&] { closable = workflow.CloseQuery(); };
    rig.Runner.WhileRunning = [&] {
        rig.Boxes.WhileShown = [&] { closableWhileTheBoxShows = workflow.CloseQuery(); };
        closable = closable || workflow.CloseQuery();
        workflow.StartButtonClick();
        closable = closable || workflow.CloseQuery();
    };
    workflow.StartButtonClick();

    EXPECT_FALSE(closable);
    EXPECT_FALSE(closableWhileTheBoxShows);
    const std::string runBox =
        "BOX Информация 64: Выполняется операция. Дождитесь её завершения или прервите операцию "
        "кнопкой \"Прервать\" в окне подключения к прибору либо кнопкой \"Отмена\" в окне с "
        "инструкцией.";
    // While the tool runs neither of those windows shows: its console is what stops it.
    const std::string flashBox =
        "BOX Информация 64: Выполняется загрузка ПО в прибор. Дождитесь её завершения или "
        "прервите загрузку, закрыв окно \"Обновление ПО...\".";
    EXPECT_EQ(Interactions(rig.Journal), (TJournal{"CLEAR", "START OFF", "WAIT", kInstructionBox,
                                                   runBox, "RUN", flashBox, flashBox, "START ON"}));
    EXPECT_FALSE(workflow.Running());
    EXPECT_TRUE(workflow.CloseQuery());
}

TEST(PerformUpdate, FailedRecalibrationLeadsBackToTheInstructionsAndFlashesAgain) {
    TFlashingRig rig;
    // The instrument comes back on another port after the first pass.
    rig.Device.Waits.push_back({true, "COM12", "1V5"});
    rig.Device.Waits.push_back({true, "COM12", "1V5"});
    rig.Boxes.Answers = {kIdOk, kIdOk, kIdOk, kIdOk, kIdOk, kIdOk};
    rig.Runner.Statuses = {0u, 4u};
    rig.Recalibration.Results = {false, true};
    TUpdateWorkflow workflow(rig.Environment());
    workflow.StartButtonClick();

    const TLines lines = rig.LogAfterDeployment();
    ASSERT_GE(lines.size(), 8u);
    EXPECT_EQ(TLines(lines.begin() + 5, lines.begin() + 8),
              (TLines{"   Начало перекалибровки...", " Калибровка не выполнена. Повтор ....",
                      "   Загрузка ПО в прибор..."}));
    EXPECT_EQ(lines.back(), "Операция завершена");
    EXPECT_EQ(CountOf(rig.Journal, "LOG Обновление успешно завершено."), 1u);
    EXPECT_EQ(CountOf(rig.Journal, kInstructionBox), 2u);

    // Each pass wrote both job files anew for the port found last: the second job
    // keeps nothing of the first.
    ASSERT_EQ(rig.Runner.JobFilesSeen.size(), 2u);
    EXPECT_EQ(rig.Runner.JobFilesSeen[0], TextFileBytes(FlashConfigLines("COM5")));
    EXPECT_EQ(rig.Runner.JobFilesSeen[1], TextFileBytes(FlashConfigLines("COM12")));
    EXPECT_EQ(CountOf(rig.Journal, "WRITE " + kWorkDir + "fmconfig.txt"), 2u);
    EXPECT_EQ(CountOf(rig.Journal, "WRITE " + kWorkDir + "start.bat"), 2u);
}

TEST(PerformUpdate, WithoutARequestedUpdateLogsAnEmptyLineAndSucceeds) {
    TWorkflowRig rig;
    TUpdateWorkflow workflow(rig.Environment());
    EXPECT_TRUE(workflow.PerformUpdate());
    EXPECT_EQ(rig.Journal, (TJournal{"LOG "}));
}

TEST(StartFrame, ErrorWritingTheJobFilesIsShownAndTheRunStillCloses) {
    TFlashingRig rig;
    rig.Files.Unwritable.insert(TMemoryFileSystem::Key(kWorkDir + "fmconfig.txt"));
    rig.Boxes.Answers = {kIdOk, kIdOk};
    TUpdateWorkflow workflow(rig.Environment());
    workflow.StartButtonClick();

    EXPECT_EQ(rig.LogAfterDeployment(),
              (TLines{"Обновление программного обеспечения...", "Операция завершена"}));
    EXPECT_EQ(Interactions(rig.Journal),
              (TJournal{"CLEAR", "START OFF", "WAIT", kInstructionBox,
                        "BOX Обновление ЗОРВИ-41K6УФ 16: Не удаётся создать файл " + kWorkDir +
                            "fmconfig.txt",
                        "START ON"}));
    EXPECT_EQ(CountOf(rig.Journal, "RUN"), 0u);
}

TEST(StartFrame, SecondPressStartsFromAnEmptyLogAndChecksTheVersionAgain) {
    TWorkflowRig rig;
    rig.Device.Waits = {{true, "COM3", "1V4"}, {true, "COM3", "1V5"}};
    rig.Boxes.Answers = {kIdCancel, kIdNo};
    TUpdateWorkflow workflow(rig.Environment());
    workflow.StartButtonClick();
    EXPECT_TRUE(workflow.UpdateRequested());

    rig.Journal.clear();
    workflow.StartButtonClick();
    EXPECT_EQ(rig.Journal.front(), "CLEAR");
    EXPECT_FALSE(workflow.UpdateRequested());
    EXPECT_EQ(LogLines(rig.Journal).back(), "Операция завершена");
    EXPECT_EQ(Interactions(rig.Journal),
              (TJournal{"CLEAR", "START OFF", "WAIT", kQuestionBox, "START ON"}));
}

} // namespace
} // namespace zorvi
