#include "FakeDevice.h"

#include "device/Recalibration.h"

#include <gtest/gtest.h>

namespace zorvi::test {
namespace {

using TLines = std::vector<std::string>;

const std::string kAdvice = "\r\nПопробуйте сначала или обратитесь к Прoизводителю!";

/// The start text: "Start" inside 120 bytes.
std::string StartText(std::size_t size = 120, const std::string& word = "Start") {
    std::string text = "ZORVI boot " + word + " ";
    text += std::string(size - text.size() - 2, '.');
    return text + "\r\n";
}

/// An instrument's calibration as a script of what it sends after each command.
struct TCalibrationScript {
    std::string StartReply = StartText();
    /// Sent 200 ms after "f" (inside the first countdown cycle).
    std::string FirstCycle = "Calc.\r\n";
    /// Sent in each later cycle, 500 ms into it (cycle 2 is the first of these).
    std::vector<std::string> LaterCycles;
};

void Play(TFakePort& port, TCalibrationScript script) {
    port.OnByte = [script = std::move(script)](TFakePort& self, std::uint8_t byte,
                                               std::chrono::milliseconds now) {
        if (byte == 'a') {
            self.Send(now + 30ms, script.StartReply);
        } else if (byte == 'f') {
            self.Send(now + 200ms, script.FirstCycle);
            for (std::size_t i = 0; i < script.LaterCycles.size(); ++i) {
                self.Send(now + 1500ms + 1000ms * static_cast<int>(i), script.LaterCycles[i]);
            }
        }
    };
}

TLines Countdown(int from, int to) {
    TLines lines;
    for (int n = from; n >= to; --n) {
        lines.push_back(std::to_string(n) + "...");
    }
    return lines;
}

const std::string kConnected = "Подключение к порту COM5 выполнено. начало калибровки...";

TEST(RunRecalibration, RunsThroughFifteenCycles) {
    TDeviceWorld w;
    TFakePort& port = w.Serial.Port("COM5");
    TCalibrationScript script;
    script.LaterCycles = {"Calc. 10%\r\n", "20%\r\n", "30%\r\n"};
    Play(port, script);

    EXPECT_TRUE(RunRecalibration(w.Link, "COM5"));
    TLines expected{kConnected};
    for (const auto& line : Countdown(14, 0)) {
        expected.push_back(line);
    }
    EXPECT_EQ(w.Log.Lines, expected);
    EXPECT_EQ(port.Written, "afq");
    EXPECT_EQ(port.Purges, (std::vector<std::uint32_t>{12, 15, 15}));
    EXPECT_EQ(w.Serial.OpenHandles(), 0u);
    // First poll at 100 ms, 1000 ms pause, fifteen cycles of 1000 ms.
    EXPECT_EQ(w.Clock.Now(), 100ms + 1000ms + 15000ms);
    EXPECT_EQ(w.Pump.Calls, 1 + 15);
}

TEST(RunRecalibration, StartTextOfFewerThan100BytesFailsAfterFifteenPolls) {
    TDeviceWorld w;
    TCalibrationScript script;
    script.StartReply = StartText(99);
    Play(w.Serial.Port("COM5"), script);
    EXPECT_FALSE(RunRecalibration(w.Link, "COM5"));
    EXPECT_EQ(w.Log.Lines, (TLines{kConnected, "Ошибка! Прибор не запустился!" + kAdvice}));
    EXPECT_EQ(w.Clock.Now(), 1500ms);
    EXPECT_EQ(w.Serial.Port("COM5").Written, "a");
    EXPECT_EQ(w.Serial.OpenHandles(), 0u);
}

TEST(RunRecalibration, StartTextWithoutStartFails) {
    TDeviceWorld w;
    TCalibrationScript script;
    script.StartReply = StartText(120, "start"); // the marker is case-sensitive
    Play(w.Serial.Port("COM5"), script);
    EXPECT_FALSE(RunRecalibration(w.Link, "COM5"));
    EXPECT_EQ(w.Log.Lines.back(), "Ошибка! Прибор не запустился!" + kAdvice);
    EXPECT_EQ(w.Clock.Now(), 100ms);
    EXPECT_EQ(w.Serial.OpenHandles(), 0u);
}

TEST(RunRecalibration, ReadOfFewerThanTenBytesFails) {
    TDeviceWorld w;
    Play(w.Serial.Port("COM5"), TCalibrationScript{});
    w.Serial.Port("COM5").ReadLimit = 9;
    EXPECT_FALSE(RunRecalibration(w.Link, "COM5"));
    EXPECT_EQ(w.Log.Lines.back(), "Ошибка! Прибор не запустился!" + kAdvice);
}

TEST(RunRecalibration, RefusedCalibrationCommand) {
    TDeviceWorld w;
    TFakePort& port = w.Serial.Port("COM5");
    Play(port, TCalibrationScript{});
    // Writes fail from the pause on (the first command went out before it).
    w.Pump.OnProcess = [&] { port.RejectWrites = true; };
    EXPECT_FALSE(RunRecalibration(w.Link, "COM5"));
    EXPECT_EQ(w.Log.Lines,
              (TLines{kConnected, "Ошибка! Команда на калибровку не принята!" + kAdvice}));
    EXPECT_EQ(w.Serial.OpenHandles(), 0u);
}

TEST(RunRecalibration, NoCalcButTheInstrumentKeepsSendingFailsAfterTheFirstCycle) {
    TDeviceWorld w;
    TCalibrationScript script;
    script.FirstCycle = "working\r\n";
    script.LaterCycles = {"still working\r\n"};
    Play(w.Serial.Port("COM5"), script);
    EXPECT_FALSE(RunRecalibration(w.Link, "COM5"));
    EXPECT_EQ(w.Log.Lines,
              (TLines{kConnected, "14...", "Ошибка! Калибровка не стартовала!" + kAdvice}));
    EXPECT_EQ(w.Serial.Port("COM5").Written, "af");
    EXPECT_EQ(w.Serial.OpenHandles(), 0u);
}

TEST(RunRecalibration, CalcFromTheFirstCycleStillCountsInTheSecond) {
    TDeviceWorld w;
    TCalibrationScript script;
    script.FirstCycle = "Calc. 0%\r\n";
    script.LaterCycles = {"", "1%"}; // nothing in cycle 2, a shorter text in cycle 3
    Play(w.Serial.Port("COM5"), script);
    EXPECT_TRUE(RunRecalibration(w.Link, "COM5"));
    EXPECT_EQ(w.Log.Lines.size(), 16u);
}

TEST(RunRecalibration, CalcOverwrittenByALongerTextInTheSecondCycleFails) {
    TDeviceWorld w;
    TCalibrationScript script;
    script.FirstCycle = "Calc.\r\n";
    script.LaterCycles = {"measuring\r\n"};
    Play(w.Serial.Port("COM5"), script);
    EXPECT_FALSE(RunRecalibration(w.Link, "COM5"));
    EXPECT_EQ(w.Log.Lines, (TLines{kConnected, "14...", "13...",
                                   "Ошибка! Калибровка не стартовала!" + kAdvice}));
}

TEST(RunRecalibration, CalcInTheStartTextCountsWhenLittleArrivesAfter) {
    TDeviceWorld w;
    TCalibrationScript script;
    script.StartReply = "Start ok Calc. ready " + std::string(100, '-');
    script.FirstCycle = "ab";          // shorter than what stands before "Calc."
    script.LaterCycles = {"", "", ""}; // then nothing
    Play(w.Serial.Port("COM5"), script);
    EXPECT_TRUE(RunRecalibration(w.Link, "COM5"));

    TDeviceWorld v;
    script.FirstCycle = "0123456789ABC"; // reaches over it
    Play(v.Serial.Port("COM5"), script);
    EXPECT_FALSE(RunRecalibration(v.Link, "COM5"));
}

TEST(RunRecalibration, PortThatDoesNotOpen) {
    TDeviceWorld w;
    EXPECT_FALSE(RunRecalibration(w.Link, "COM8"));
    EXPECT_EQ(w.Log.Lines,
              TLines{"     Ошибка! Невозможно подключиться к порту COM8 с требуемыми параметрами"});
    EXPECT_EQ(w.Clock.Now(), 5000ms);

    TDeviceWorld v;
    v.Serial.Port("COM5").RejectSettings = true;
    EXPECT_FALSE(RunRecalibration(v.Link, "COM5"));
    EXPECT_EQ(v.Serial.OpenHandles(), 0u);
    EXPECT_EQ(v.Log.Lines.size(), 1u);
}

TEST(RunRecalibration, FloodOfTheStartPhaseIsCappedAndPurged) {
    TDeviceWorld w;
    TFakePort& port = w.Serial.Port("COM5");
    TCalibrationScript script;
    script.StartReply = StartText(12000);
    Play(port, script);
    EXPECT_TRUE(RunRecalibration(w.Link, "COM5"));
}

} // namespace
} // namespace zorvi::test
