#include "app/UpdateWorkflow.h"

#include "app/FlashJob.h"

#include <exception>

namespace zorvi {
namespace {

constexpr const char* kInformationCaption = "Информация";
constexpr const char* kQuestionCaption = "Вопрос";

// An error nobody caught is reported the way the system reports any unexpected
// error: under the application's title, with the stop icon (MB_ICONERROR, 0x10).
constexpr const char* kApplicationTitle = "Обновление ЗОРВИ-41K6УФ";
constexpr unsigned kMbIconError = 0x10;

// The operator's instructions. The parts of the first are separated by two carriage
// returns without line feeds; a message box breaks the line at each of them.
constexpr const char* kInstructionText =
    "1. Отключите прибор от компьютера.\r\r"
    "2. Переведите прибор в режим программирования согласно инструкции.\r\r"
    "3. Нажмите кнопку \"OK\" для продолжения или \"Отмена\" для прерывания операции.\r\r";
constexpr const char* kFlashedText =
    "Загрузка завершена. Отключите прибор от компьютера и нажмите кнопку \"OK\".";
constexpr const char* kNotUpdatedText = "Обновление НЕ выполнено!\r\nВерсия ПО в приборе:";
constexpr const char* kAwayFromLightText = "Направьте прибор в сторону от источника света(в пол)";
constexpr const char* kCloseDuringRunText =
    "Выполняется операция. Дождитесь её завершения или прервите операцию кнопкой "
    "\"Прервать\" в окне подключения к прибору либо кнопкой \"Отмена\" в окне с "
    "инструкцией.";
/// The same notice while the flashing tool runs: then neither of those windows is
/// shown, and the tool stops when its console window is closed.
constexpr const char* kCloseDuringFlashText =
    "Выполняется загрузка ПО в прибор. Дождитесь её завершения или прервите загрузку, "
    "закрыв окно \"Обновление ПО...\".";
/// Shown in the not-updated box for a version the instrument did not report.
constexpr const char* kUnknownVersion = "неизвестна";
constexpr const char* kAlreadyCurrentQuestion =
    "Обновление ПО не требуется. Все равно выполнить процедуру обновления?";

constexpr const char* kAborted = "   Операция прервана.";
constexpr const char* kConnected = "   Подключение к прибору выполнено.";

} // namespace

TUpdateWorkflow::TUpdateWorkflow(const TUpdateEnvironment& environment) : Env_(environment) {}

void TUpdateWorkflow::StartButtonClick() {
    if (Running_) {
        return;
    }
    Running_ = true;
    Env_.View.ClearLog();
    Env_.View.SetStartEnabled(false);
    try {
        RunStages();
    } catch (const std::exception& error) {
        Env_.Boxes.ShowMessageBox(error.what(), kApplicationTitle, kMbOk | kMbIconError);
    } catch (...) {
        Env_.Boxes.ShowMessageBox("Непредвиденная ошибка.", kApplicationTitle,
                                  kMbOk | kMbIconError);
    }
    // Also after an error: the operator sees the run has ended and may start again.
    Env_.Log.AddLogLine("Операция завершена");
    Env_.View.SetStartEnabled(true);
    Running_ = false;
}

bool TUpdateWorkflow::CloseQuery() {
    if (!Running_) {
        return true;
    }
    if (!CloseNoticeShowing_) {
        CloseNoticeShowing_ = true;
        Inform(Flashing_ ? kCloseDuringFlashText : kCloseDuringRunText, kMbOk);
        CloseNoticeShowing_ = false;
    }
    return false;
}

void TUpdateWorkflow::RunStages() {
    if (ConnectAndCheckVersion() && DeployUpdateArchive() && PerformUpdate()) {
        Env_.Log.AddLogLine("Обновление успешно завершено.");
        Env_.Log.AddLogLine("");
        Env_.Log.AddLogLine("Отключите прибор от компьютера.");
    }
}

bool TUpdateWorkflow::ConnectAndCheckVersion() {
    TProgressLog& log = Env_.Log;
    UpdateRequested_ = false;
    log.AddLogLine("Подключение к прибору...");
    if (!Env_.Device.WaitForDevice()) {
        log.AddLogLine(kAborted);
        return false;
    }
    log.AddLogLine(kConnected);
    log.AddLogLine("Сверка версий ПО...");
    // Exact and case-sensitive: "1v5", a newer "1V6" or an empty text all need it.
    if (Env_.Device.DeviceVersion() != kTargetVersion) {
        log.AddLogLine("   Требуется обновление ПО до версии 1V5.");
        UpdateRequested_ = true;
    } else {
        log.AddLogLine("   Обновление программного обеспечения не требуется.");
    }
    log.AddLogLine("");
    if (!UpdateRequested_ && Env_.Boxes.ShowMessageBox(kAlreadyCurrentQuestion, kQuestionCaption,
                                                       kMbYesNo | kMbIconQuestion) == kIdYes) {
        UpdateRequested_ = true;
    }
    return UpdateRequested_;
}

bool TUpdateWorkflow::DeployUpdateArchive() {
    const TDeploymentContext context{Env_.Log, Env_.Personal, Env_.Files, Env_.Archive, Env_.UnZip};
    return zorvi::DeployUpdateArchive(context, WorkFolder_);
}

int TUpdateWorkflow::Inform(const std::string& text, unsigned style) {
    return Env_.Boxes.ShowMessageBox(text, kInformationCaption, style | kMbIconInformation);
}

bool TUpdateWorkflow::PerformUpdate() {
    TProgressLog& log = Env_.Log;
    if (!UpdateRequested_) {
        log.AddLogLine("");
        return true;
    }
    log.AddLogLine("Обновление программного обеспечения...");

    // Every pass flashes again; only success, Cancel, a failed tool run or an aborted
    // wait for the instrument leave the loop.
    for (;;) {
        // Instructions: the operator puts the instrument into programming mode.
        if (Inform(kInstructionText, kMbOkCancel) == kIdCancel) {
            return false;
        }

        // Job files for the port found last, then the tool.
        WriteFlashJobFiles(Env_.Files, WorkFolder_.WorkDir, Env_.Device.DevicePort());
        log.AddLogLine("   Загрузка ПО в прибор...");
        Flashing_ = true;
        const bool flashed = RunFlashBatch(Env_.Runner, Env_.Files, WorkFolder_.WorkDir);
        Flashing_ = false;
        if (!flashed) {
            log.AddLogLine("   Ошибка при выполнении обновления ПО!");
            return false;
        }
        log.AddLogLine("   Загрузка ПО завершена. Проверка...");
        Inform(kFlashedText, kMbOk);

        // The instrument comes back in its normal mode and must report the target.
        if (!Env_.Device.WaitForDevice()) {
            log.AddLogLine(kAborted);
            return false;
        }
        log.AddLogLine(kConnected);
        // Only a version read in this very wait confirms the flashing: when the answer
        // carried none, DeviceVersion still holds the one read before the flashing.
        const bool versionRead = Env_.Device.DeviceVersionRead();
        if (!versionRead || Env_.Device.DeviceVersion() != kTargetVersion) {
            log.AddLogLine("   Обновление программного обеспечения НЕ выполнено! Повтор...");
            Inform(kNotUpdatedText +
                       (versionRead ? Env_.Device.DeviceVersion() : std::string(kUnknownVersion)),
                   kMbOk);
            continue;
        }

        log.AddLogLine(" Обновление программного обеспечения до версии 1V5 выполнено.");
        log.AddLogLine("   Начало перекалибровки...");
        Inform(kAwayFromLightText, kMbOk);
        if (Env_.Recalibration.RunRecalibration()) {
            log.AddLogLine("   Калибровка проведена. Прибор готов к работе! ");
            log.AddLogLine("");
            return true;
        }
        log.AddLogLine(" Калибровка не выполнена. Повтор ....");
    }
}

} // namespace zorvi
