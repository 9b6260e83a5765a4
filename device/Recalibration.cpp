// The recalibration exchange.
//
// Receive buffer: 10000 bytes and one terminating zero. Every read puts its bytes at
// the start of the buffer and leaves the rest untouched, and each command byte is
// put into the first byte before it is written. The text examined is the buffer up
// to its first zero byte, so text of an earlier, longer read stays visible behind a
// later, shorter one: the instrument sends "Calc." once, and the second cycle still
// sees it when nothing new has come.
//
// The buffer rule also means that "Calc." stays visible after the instrument has
// gone: an instrument pulled out during the countdown sends nothing more, and only
// the serial calls can tell. A call that fails ends the exchange as a lost link. Not
// every vanished device makes a call fail (a pseudo-terminal, some drivers), so at
// the end the instrument must answer its identification query once more on the same
// port before the exchange counts as done.
#include "device/Recalibration.h"

#include "device/IdentificationExchange.h"
#include "device/SerialExchange.h"
#include "device/SplitDelimited.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <string_view>

namespace zorvi {
namespace {

// Command bytes.
constexpr std::uint8_t kStartCommand = 0x61;     // 'a': send the start text
constexpr std::uint8_t kCalibrateCommand = 0x66; // 'f': begin the calibration
constexpr std::uint8_t kFinishCommand = 0x71;    // 'q': end the calibration

constexpr std::size_t kReceiveCapacity = 10000;
/// The start text is read only once at least this many bytes wait...
constexpr std::uint32_t kStartTextMinimum = 100;
/// ...and the read must bring at least this many.
constexpr std::size_t kStartReadMinimum = 10;
constexpr int kStartPolls = 15;
constexpr std::chrono::milliseconds kStartPoll{100};
/// Pause between the start text and the calibration command; no messages processed.
constexpr std::chrono::milliseconds kPauseBeforeCalibration{1000};
constexpr int kCountdownCycles = 15;
constexpr std::chrono::milliseconds kCountdownCycle{1000};
/// "Calc." must be visible while more than this many cycles remain (cycles 1 and 2).
constexpr int kCalcDeadlineRemaining = 12;

constexpr std::string_view kStartMarker = "Start";
constexpr std::string_view kCalcMarker = "Calc.";

constexpr const char* kAdvice = "\r\nПопробуйте сначала или обратитесь к Прoизводителю!";
/// A serial call failed during the countdown or at its end, or the instrument no
/// longer answers its identification query.
constexpr const char* kLinkLost = "Ошибка! Связь с прибором потеряна!";

class TRecalibrationPort {
public:
    explicit TRecalibrationPort(TDeviceLink& link) : link_(link) {}
    ~TRecalibrationPort() {
        if (handle_ != kInvalidPortHandle) {
            ClosePort(link_.Serial, handle_);
        }
    }

    bool Open(const std::string& port) {
        return OpenPort(link_.Serial, link_.Clock, DeviceLineParams(port), handle_, &link_.Pump);
    }
    void Close() { ClosePort(link_.Serial, handle_); }

    /// Writes one command byte through the buffer's first byte; returns the count
    /// the platform reports written.
    std::size_t SendCommand(std::uint8_t command) {
        return SendByte(link_.Serial, handle_, buffer_.data(), command);
    }

    void Purge() { link_.Serial.Purge(handle_, kPurgeAll); }

    std::uint32_t ReadableCount() {
        return std::min<std::uint32_t>(WaitingByteCount(link_.Serial, handle_), kReceiveCapacity);
    }

    /// Reads `size` bytes into the start of the buffer; returns how many came.
    std::size_t Read(std::size_t size) {
        std::size_t read = 0;
        if (size > 0) {
            link_.Serial.Read(handle_, buffer_.data(), size, read);
        }
        return read;
    }

    /// Reads whatever is waiting (possibly nothing) into the start of the buffer.
    /// False when the count of waiting bytes or the read failed.
    bool ReadWaiting() {
        std::uint32_t count = 0;
        if (!link_.Serial.BytesWaiting(handle_, count)) {
            return false;
        }
        const std::size_t size = std::min<std::uint32_t>(count, kReceiveCapacity);
        std::size_t read = 0;
        return size == 0 || link_.Serial.Read(handle_, buffer_.data(), size, read);
    }

    /// The identification exchange once more: true when the instrument answers with
    /// an accepted model word. Logs nothing.
    bool InstrumentAnswers() {
        if (!SendIdentificationQuery(link_.Serial, handle_, buffer_.data())) {
            return false;
        }
        const std::uint32_t count = AwaitIdentificationReply(link_, handle_);
        if (count == 0) {
            return false;
        }
        std::string reply(std::min<std::size_t>(count, kIoBufferSize), '\0');
        if (!ReadExactly(link_.Serial, handle_, reinterpret_cast<std::uint8_t*>(reply.data()),
                         reply.size())) {
            return false;
        }
        try {
            std::vector<std::string> models;
            SplitDelimited(',', kAcceptedModels, models);
            return FindAcceptedModel(reply, models).has_value();
        } catch (const std::bad_alloc&) {
            return false;
        }
    }

    bool TextContains(std::string_view marker) const {
        const auto* text = reinterpret_cast<const char*>(buffer_.data());
        return std::string_view(text, std::strlen(text)).find(marker) != std::string_view::npos;
    }

private:
    TDeviceLink& link_;
    TPortHandle handle_ = kInvalidPortHandle;
    /// kReceiveCapacity bytes and the zero that always ends the text.
    std::array<std::uint8_t, kReceiveCapacity + 1> buffer_{};
};

bool Fail(TDeviceLink& link, TRecalibrationPort& port, const std::string& message) {
    port.Close();
    link.Log.AddLogLine(message + kAdvice);
    return false;
}

} // namespace

bool RunRecalibration(TDeviceLink& link, const std::string& devicePort) {
    TRecalibrationPort port(link);
    if (!port.Open(devicePort)) {
        port.Close();
        link.Log.AddLogLine("     Ошибка! Невозможно подключиться к порту " + devicePort +
                            " с требуемыми параметрами");
        return false;
    }
    link.Log.AddLogLine("Подключение к порту " + devicePort + " выполнено. начало калибровки...");

    port.SendCommand(kStartCommand);
    bool startRead = false;
    std::size_t startBytes = 0;
    for (int poll = 0; poll < kStartPolls && !startRead; ++poll) {
        WaitAndProcessMessages(link, kStartPoll);
        const std::uint32_t waiting = port.ReadableCount();
        if (waiting >= kStartTextMinimum) {
            startBytes = port.Read(waiting);
            startRead = true;
        }
    }
    if (!startRead || startBytes < kStartReadMinimum || !port.TextContains(kStartMarker)) {
        return Fail(link, port, "Ошибка! Прибор не запустился!");
    }

    link.Clock.Sleep(kPauseBeforeCalibration);
    // Whatever else the start phase sent is discarded with the purge.
    port.Purge();
    if (port.SendCommand(kCalibrateCommand) == 0) {
        return Fail(link, port, "Ошибка! Команда на калибровку не принята!");
    }

    for (int remaining = kCountdownCycles; remaining > 0;) {
        WaitAndProcessMessages(link, kCountdownCycle);
        if (!port.ReadWaiting()) {
            return Fail(link, port, kLinkLost);
        }
        const bool calcSeen = port.TextContains(kCalcMarker);
        --remaining;
        link.Log.AddLogLine(std::to_string(remaining) + "...");
        if (!calcSeen && remaining > kCalcDeadlineRemaining) {
            return Fail(link, port, "Ошибка! Калибровка не стартовала!");
        }
    }

    port.Purge();
    if (port.SendCommand(kFinishCommand) == 0 || !port.InstrumentAnswers()) {
        return Fail(link, port, kLinkLost);
    }
    port.Close();
    return true;
}

} // namespace zorvi
