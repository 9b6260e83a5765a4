// The identification query of one port: open it at the instrument's line settings,
// send "q" and "v", wait for the reply to stop growing, find an accepted model word
// in it and extract the software version and date.
//
// Reply keeps the instrument's bytes as they came (code page 1251) for the whole
// wait, so a later probe still sees what an earlier one read; text is converted to
// UTF-8 only where it is logged or extracted.
#include "common/CodePage.h"
#include "device/ConnectToDeviceForm.h"
#include "device/SplitDelimited.h"

#include <algorithm>
#include <new>

namespace zorvi {
namespace {

// Query bytes, sent one at a time, each flushed at once.
constexpr std::uint8_t kQueryFirst = 0x71;  // 'q'
constexpr std::uint8_t kQuerySecond = 0x76; // 'v'

/// Polls of the input queue, kReplyPoll apart: the reply must have begun at the
/// first and stopped growing by the last (about 1.2 s).
constexpr int kReplyPolls = 12;
constexpr std::chrono::milliseconds kReplyPoll{100};

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

void TConnectToDeviceForm::SendQueryByte(std::uint8_t byte) {
    IoBuffer[0] = byte;
    std::size_t written = 0;
    Link.Serial.Write(PortHandle, IoBuffer.data(), 1, written);
    Link.Serial.Flush(PortHandle);
}

int TConnectToDeviceForm::ProbePort(const std::string& port) {
    ClosePortIfOpen();
    PortParams = DeviceLineParams(port);
    if (!OpenPort(Link.Serial, Link.Clock, PortParams, PortHandle)) {
        Link.Log.AddLogLine("      Ошибка! Невозможно подключиться к порту " + port +
                            " с требуемыми параметрами");
        return kProbeNotOpened;
    }
    if (Window != nullptr) {
        Window->SetInfoCaption("Получение версии ПО...");
    }
    Link.Log.AddLogLine("      Подключение к порту " + port + " выполнено.");

    SendQueryByte(kQueryFirst);
    SendQueryByte(kQuerySecond);

    // The reply is complete when two polls in a row see the same non-zero count.
    std::uint32_t previous = 0;
    std::uint32_t count = 0;
    for (int poll = 1;; ++poll) {
        WaitAndProcessMessages(Link, kReplyPoll);
        count = 0;
        Link.Serial.BytesWaiting(PortHandle, count);
        if (count == previous && previous > 0) {
            break;
        }
        if (count == 0 || poll == kReplyPolls) {
            ClosePort(Link.Serial, PortHandle);
            return kProbeNoReply;
        }
        previous = count;
    }

    // What does not fit stays in the driver's queue and goes with the port.
    IoBuffer.fill(0);
    const std::size_t wanted = std::min<std::size_t>(count, IoBuffer.size());
    std::size_t read = 0;
    const bool readOk = Link.Serial.Read(PortHandle, IoBuffer.data(), wanted, read);
    if (readOk && read == wanted) {
        Reply.append(reinterpret_cast<const char*>(IoBuffer.data()), wanted);
    }

    std::vector<std::string> items;
    try {
        SplitDelimited('\r', Reply, items);
    } catch (const std::bad_alloc&) {
        ClosePort(Link.Serial, PortHandle);
        Link.Log.AddLogLine("Нет информации о версии прибора!\r\n" + FromDevice(Reply));
        return kProbeForeignDevice;
    }

    bool modelFound = false;
    const std::vector<std::string> noModels;
    const auto& models = ModelList ? *ModelList : noModels;
    for (auto& item : items) {
        std::erase(item, '\n');
        for (const auto& model : models) {
            if (item == model) {
                Link.Log.AddLogLine(" Прибор обнаружен, Модель:" + model + "\r\n");
                modelFound = true;
                break;
            }
        }
        if (modelFound) {
            break;
        }
    }
    items.clear();

    if (!modelFound) {
        ClosePort(Link.Serial, PortHandle);
        Link.Log.AddLogLine(" Прибор обнаружен, но это- не прибор из списка:\r\nZorvi-41K6UV!");
        Link.Log.AddLogLine("Обнаружен:" + FromDevice(Reply) + "\r\n");
        return kProbeForeignDevice;
    }

    if (Reply.find(kVersionMarkerBare) == std::string::npos ||
        Reply.find(kDateMarkerBare) == std::string::npos) {
        ClosePort(Link.Serial, PortHandle);
        return kProbeNoMarkers;
    }

    if (ParseVersionInfo()) {
        Link.Log.AddLogLine("      Текущая версия прибора: " + DeviceVersion + " от " + DeviceDate);
    } else {
        Link.Log.AddLogLine("      Текущая версия прибора: неизвестна");
    }
    ClosePort(Link.Serial, PortHandle);
    return kProbeFound;
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
