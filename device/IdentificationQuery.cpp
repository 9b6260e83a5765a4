// The identification query of one port: open it at the instrument's line settings,
// send "q" and "v", wait for the reply to stop growing, find an accepted model word
// in it and extract the software version and date.
//
// Reply holds the bytes of this probe's port as they came (code page 1251); text is
// converted to UTF-8 only where it is logged or extracted.
//
// Each probe starts its reply empty. Gathering the replies of every probe of a wait
// would let one port's bytes decide about another: a foreign device's zero byte or
// quote hid the instrument's model word on the next port for the whole wait, its
// "Software version:" line was taken for the instrument's version, an instrument
// whose version could not be read left its model word behind so that any device
// probed after it counted as a second instrument, and the foreign-device line
// showed other ports' bytes as that device's.
#include "common/CodePage.h"
#include "device/ConnectToDeviceForm.h"
#include "device/IdentificationExchange.h"
#include "device/SerialExchange.h"

#include <algorithm>
#include <new>

namespace zorvi {
namespace {

constexpr std::string_view kVersionMarker = "Software version: ";
constexpr std::string_view kDateMarker = "Date: ";
constexpr std::string_view kLineEnd = "\r\n";
// The marker test of a probe is made without the blanks.
constexpr std::string_view kVersionMarkerBare = "Software version:";
constexpr std::string_view kDateMarkerBare = "Date:";

std::string FromDevice(std::string_view bytes) {
    return ToUtf8(bytes, TCodePage::Windows1251);
}

} // namespace

TProbeFinding TConnectToDeviceForm::ProbePort(const std::string& port) {
    TProbeFinding finding;
    ClosePortIfOpen();
    Reply.clear();
    PortParams = DeviceLineParams(port);
    if (!OpenPort(link_.Serial, link_.Clock, PortParams, PortHandle, &link_.Pump)) {
        link_.Log.AddLogLine("      Ошибка! Невозможно подключиться к порту " + port +
                             " с требуемыми параметрами");
        finding.Result = TProbeResult::NotOpened;
        return finding;
    }
    if (window_ != nullptr) {
        window_->SetInfoCaption("Получение версии ПО...");
    }
    link_.Log.AddLogLine("      Подключение к порту " + port + " выполнено.");

    // The outcomes of the query's writes are not tested: silence tells the same.
    SendIdentificationQuery(link_.Serial, PortHandle, IoBuffer.data());
    const std::uint32_t count = AwaitIdentificationReply(link_, PortHandle);
    if (count == 0) {
        ClosePort(link_.Serial, PortHandle);
        finding.Result = TProbeResult::NoReply;
        return finding;
    }

    // What does not fit stays in the driver's queue and goes with the port.
    IoBuffer.fill(0);
    const std::size_t wanted = std::min<std::size_t>(count, IoBuffer.size());
    if (ReadExactly(link_.Serial, PortHandle, IoBuffer.data(), wanted)) {
        Reply.append(reinterpret_cast<const char*>(IoBuffer.data()), wanted);
    }

    std::optional<std::string> model;
    try {
        model = FindAcceptedModel(Reply, ModelList ? *ModelList : std::vector<std::string>());
    } catch (const std::bad_alloc&) {
        ClosePort(link_.Serial, PortHandle);
        link_.Log.AddLogLine("Нет информации о версии прибора!\r\n" + FromDevice(Reply));
        finding.Result = TProbeResult::ForeignDevice;
        return finding;
    }
    if (!model) {
        ClosePort(link_.Serial, PortHandle);
        link_.Log.AddLogLine(" Прибор обнаружен, но это- не прибор из списка:\r\nZorvi-41K6UV!");
        link_.Log.AddLogLine("Обнаружен:" + FromDevice(Reply) + "\r\n");
        finding.Result = TProbeResult::ForeignDevice;
        return finding;
    }
    link_.Log.AddLogLine(" Прибор обнаружен, Модель:" + *model + "\r\n");

    if (Reply.find(kVersionMarkerBare) == std::string::npos ||
        Reply.find(kDateMarkerBare) == std::string::npos) {
        ClosePort(link_.Serial, PortHandle);
        finding.Result = TProbeResult::NoMarkers;
        return finding;
    }

    finding.VersionRead = ParseVersionInfo();
    if (finding.VersionRead) {
        link_.Log.AddLogLine("      Текущая версия прибора: " + DeviceVersion + " от " +
                             DeviceDate);
    } else {
        link_.Log.AddLogLine("      Текущая версия прибора: неизвестна");
    }
    ClosePort(link_.Serial, PortHandle);
    finding.Result = TProbeResult::Found;
    return finding;
}

bool TConnectToDeviceForm::ParseVersionInfo() {
    const auto version = Reply.find(kVersionMarker);
    if (version == std::string::npos) {
        return false;
    }
    Reply.erase(0, version + kVersionMarker.size());
    const auto versionEnd = Reply.find(kLineEnd);
    if (versionEnd == std::string::npos) {
        return false;
    }
    DeviceVersion = FromDevice(std::string_view(Reply).substr(0, versionEnd));

    // Searched only after the version marker: a date given first is not found.
    const auto date = Reply.find(kDateMarker);
    if (date == std::string::npos) {
        return false;
    }
    Reply.erase(0, date + kDateMarker.size());
    const auto dateEnd = Reply.find(kLineEnd);
    if (dateEnd == std::string::npos) {
        return false;
    }
    DeviceDate = FromDevice(std::string_view(Reply).substr(0, dateEnd));
    return true;
}

} // namespace zorvi
