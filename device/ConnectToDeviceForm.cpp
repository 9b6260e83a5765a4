// The connect dialog's life: creation, placement, one wait, and the timer tick that
// probes the bridge's ports and decides. The identification of one port is in
// IdentificationQuery.cpp.
#include "device/ConnectToDeviceForm.h"

#include "device/SplitDelimited.h"

namespace zorvi {
namespace {

/// Pause between enabling the timer and showing the dialog.
constexpr std::chrono::milliseconds kSettleBeforeShow{100};
/// The dialog's top edge lies this far below the main window's.
constexpr int kDialogOffsetBelowMainTop = 300;
/// The message's red runs 0 -> 240 -> 0 in steps of 60: a cycle of 8 ticks.
constexpr std::uint8_t kPulseTop = 240;
constexpr std::int32_t kPulseStride = 60;

constexpr const char* kWaitingLine = "Ждём подключения прибора.... ";

} // namespace

TConnectToDeviceForm::TConnectToDeviceForm(TDeviceLink link, TSerialPortRegistry& registry)
    : link_(link), registry_(registry) {
    FormCreate();
}

void TConnectToDeviceForm::FormCreate() {
    PortHandle = kInvalidPortHandle;
    PortList.clear();
    PulseLevel = 0;
    PulseStep = kPulseStride;
}

void TConnectToDeviceForm::FormShow() {
    const TWindowBounds main = window_->MainWindowBounds();
    // C++ division truncates toward zero, as the placement wants for a dialog wider
    // than the main window.
    const int left = main.Left + (main.Width - window_->OuterWidth()) / 2;
    window_->MoveTo(left, main.Top + kDialogOffsetBelowMainTop);
}

void TConnectToDeviceForm::FormClose() {
    ModelList.reset();
}

void TConnectToDeviceForm::StartButtonClick() {
    window_->SetModalResult(kModalCancel);
}

void TConnectToDeviceForm::ClosePortIfOpen() {
    if (PortHandle != kInvalidPortHandle) {
        ClosePort(link_.Serial, PortHandle);
    }
}

bool TConnectToDeviceForm::WaitForDevice() {
    ClosePortIfOpen();
    Reply.clear();
    DevicePort.clear();
    DeviceVersionRead = false;
    window_->SetInfoCaption("Подключите прибор к компьютеру...");
    ModelList.emplace();
    SplitDelimited(',', kAcceptedModels, *ModelList);
    window_->SetTimerEnabled(true);
    WaitAndProcessMessages(link_, kSettleBeforeShow);

    window_->SetModalResult(kModalNone);
    const int result = window_->ShowModal();

    window_->SetTimerEnabled(false);
    ClosePortIfOpen();
    return result == kModalOk;
}

void TConnectToDeviceForm::CheckTimerTimer() {
    // The tick processes window messages while it probes; with the timer stopped it
    // is never entered twice.
    window_->SetTimerEnabled(false);

    ListDevicePorts(registry_, PortList);
    int found = 0;
    const std::vector<std::string> ports = PortList;
    for (const auto& port : ports) {
        const TProbeFinding finding = ProbePort(port);
        if (finding.Result == TProbeResult::Found) {
            DevicePort = port;
            DeviceVersionRead = finding.VersionRead;
            ++found;
        }
    }

    if (found == 1) {
        // Set over an abort pressed during this tick: the loop looks at the result
        // only after the tick, and an instrument found wins.
        window_->SetModalResult(kModalOk);
    } else if (found > 1) {
        link_.Log.AddLogLine("Одновременно подключено более одного прибора!");
        link_.Log.AddLogLine(kWaitingLine);
    } else if (!PortList.empty()) {
        link_.Log.AddLogLine("Нет приборов, допускающих перепрограммирование.");
        link_.Log.AddLogLine(kWaitingLine);
    } else {
        link_.Log.AddLogLine(" не подключен НИ ОДИН требуемый прибор.");
        link_.Log.AddLogLine(kWaitingLine);
    }

    if (PulseLevel == kPulseTop) {
        PulseStep = -kPulseStride;
    } else if (PulseLevel == 0) {
        PulseStep = kPulseStride;
    }
    PulseLevel = static_cast<std::uint8_t>(PulseLevel + PulseStep);
    window_->SetInfoFontColor(PulseLevel, 0, 0);

    window_->SetTimerEnabled(true);
}

} // namespace zorvi
