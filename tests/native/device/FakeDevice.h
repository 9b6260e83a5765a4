// Test doubles of the device link's platform: a virtual clock, a message pump with
// a hook, a recording log, a registry list, and serial ports with a scripted
// instrument behind them whose bytes arrive on the virtual clock.
#pragma once

#include "device/ConnectDialogWindow.h"
#include "device/DeviceLink.h"
#include "device/PortDiscovery.h"
#include "device/SerialPort.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace zorvi::test {

using namespace std::chrono_literals;

class TVirtualClock final : public TClock {
public:
    void Sleep(std::chrono::milliseconds duration) override { Time += duration; }
    std::chrono::milliseconds Now() const override { return Time; }
    std::chrono::milliseconds Time{0};
};

class THookedPump final : public TMessagePump {
public:
    void ProcessMessages() override {
        ++Calls;
        if (OnProcess) {
            OnProcess();
        }
    }
    int Calls = 0;
    std::function<void()> OnProcess;
};

class TRecordingLog final : public TProgressLog {
public:
    void AddLogLine(const std::string& text) override { Lines.push_back(text); }
    std::vector<std::string> Lines;
};

class TFakeRegistry final : public TSerialPortRegistry {
public:
    bool ReadSerialComm(std::vector<TSerialCommValue>& values) override {
        values = Values;
        return Exists;
    }
    bool Exists = true;
    std::vector<TSerialCommValue> Values;
};

class TFakeSerial;

/// One port and the device behind it. The device reacts to each written byte by
/// scheduling reply bytes at times of the virtual clock.
struct TFakePort {
    int FailingOpens = 0;        ///< this many opens fail before one succeeds (-1: all)
    bool RejectSettings = false; ///< SetCommState fails
    bool RejectWrites = false;   ///< WriteFile reports failure and 0 bytes
    bool RejectReads = false;    ///< ReadFile reports failure and 0 bytes
    bool Gone = false;           ///< pulled out: it does not open, and every call fails
    TCommState State{};          ///< what the driver reports
    TCommTimeouts Timeouts{};
    std::deque<std::pair<std::chrono::milliseconds, std::uint8_t>> Input; ///< arrival, byte
    std::string Written; ///< every byte written while open
    std::vector<std::uint32_t> Purges;
    int OpenCount = 0;
    /// Called for each byte written, with the port and the time of the write.
    std::function<void(TFakePort&, std::uint8_t, std::chrono::milliseconds)> OnByte;
    /// Largest count the queue reports (a pseudo-terminal stops at 4095).
    std::uint32_t ReportLimit = 0xFFFFFFFFu;
    /// Largest count one read returns.
    std::size_t ReadLimit = static_cast<std::size_t>(-1);

    /// Schedules `bytes` to arrive at `at`, `piece` bytes every `spacing` after it.
    void Send(std::chrono::milliseconds at, const std::string& bytes, std::size_t piece = 0,
              std::chrono::milliseconds spacing = 0ms);
};

class TFakeSerial final : public TSerialApi {
public:
    explicit TFakeSerial(TVirtualClock& clock) : Clock(clock) {}

    /// The port behind a name such as COM5 (its device path is \\.\COM5).
    TFakePort& Port(const std::string& name) { return Ports["\\\\.\\" + name]; }

    TPortHandle Open(const std::string& devicePath) override;
    bool GetCommState(TPortHandle port, TCommState& state) override;
    bool SetCommState(TPortHandle port, const TCommState& state) override;
    bool GetCommTimeouts(TPortHandle port, TCommTimeouts& timeouts) override;
    bool SetCommTimeouts(TPortHandle port, const TCommTimeouts& timeouts) override;
    bool Purge(TPortHandle port, std::uint32_t flags) override;
    bool Write(TPortHandle port, const std::uint8_t* data, std::size_t size,
               std::size_t& written) override;
    bool Flush(TPortHandle port) override;
    bool BytesWaiting(TPortHandle port, std::uint32_t& count) override;
    bool Read(TPortHandle port, std::uint8_t* data, std::size_t size, std::size_t& read) override;
    bool Close(TPortHandle port) override;

    /// Handles open now; every test ends with none.
    std::size_t OpenHandles() const { return Open_.size(); }
    std::vector<std::string> OpenAttempts; ///< device paths, in order
    std::vector<std::chrono::milliseconds> OpenTimes;
    bool CloseFails = false;

private:
    TFakePort* Find(TPortHandle port);
    TVirtualClock& Clock;
    std::map<std::string, TFakePort> Ports;
    std::map<TPortHandle, std::string> Open_;
    TPortHandle NextHandle = 100;
};

/// The instrument's identification text, CR LF lines in code page 1251.
std::string IdentificationText(const std::string& model = "Zorvi-41K6UV",
                               const std::string& version = "1V4",
                               const std::string& date = "12.03.2019");

/// Makes `port` answer "q" then "v" with `reply`, beginning `delay` after the "v".
void AnswerIdentification(TFakePort& port, std::string reply,
                          std::chrono::milliseconds delay = 20ms);

/// A scripted dialog window: ShowModal reports FormShow, then runs timer ticks on
/// the virtual clock (1000 ms after the timer was last enabled) until the modal
/// result is set; BeforeTick may change the world or press abort.
class TScriptedDialog final : public TConnectDialogWindow {
public:
    TScriptedDialog(TVirtualClock& clock, TConnectDialogEvents& events)
        : Clock(clock), Events(events) {}

    int ShowModal() override;
    void SetModalResult(int result) override { ModalResult = result; }
    void SetInfoCaption(const std::string& text) override { Captions.push_back(text); }
    void SetInfoFontColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue) override;
    void SetTimerEnabled(bool enabled) override;
    TWindowBounds MainWindowBounds() const override { return Main; }
    int OuterWidth() const override { return Width; }
    void MoveTo(int left, int top) override {
        Left = left;
        Top = top;
    }

    int ModalResult = kModalNone;
    bool TimerEnabled = false;
    std::chrono::milliseconds TimerStart{0};
    int Ticks = 0;
    int MaxTicks = 50; ///< a runaway wait is aborted, so a broken test ends
    std::vector<std::string> Captions;
    std::vector<int> Reds;
    TWindowBounds Main{100, 50, 721, 560};
    int Width = 376;
    int Left = 0;
    int Top = 0;
    int Shows = 0;
    int Closes = 0;
    std::function<void(int tick)> BeforeTick;

private:
    TVirtualClock& Clock;
    TConnectDialogEvents& Events;
};

/// Everything a device-link test needs, wired together.
struct TDeviceWorld {
    TVirtualClock Clock;
    THookedPump Pump;
    TRecordingLog Log;
    TFakeSerial Serial{Clock};
    TFakeRegistry Registry;
    TDeviceLink Link{Serial, Clock, Pump, Log};
};

} // namespace zorvi::test
