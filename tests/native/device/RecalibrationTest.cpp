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
    /// The answer to "q" then "v", 20 ms after the "v"; empty: none.
    std::string Identification = IdentificationText();
};

void Play(TFakePort& port, TCalibrationScript script) {
    port.OnByte = [script = std::move(script), last = std::uint8_t{0}](
                      TFakePort& self, std::uint8_t byte, std::chrono::milliseconds now) mutable {
        const bool query = last == 'q' && byte == 'v';
        last = byte;
        if (query) {
            self.Send(now + 20ms, script.Identification);
        } else if (byte == 'a') {
            self.Send(now + 30ms, script.StartReply);
        } else if (byte == 'f') {
            self.Send(now + 200ms, script.FirstCycle);
            for (std::size_t i = 0; i < script.LaterCycles.size(); ++i) {
                self.Send(now + 1500ms + 1000ms * static_cast<int>(i), script.LaterCycles[i]);
            }
        }
    };
}

TLines Join(std::initializer_list<TLines> parts) {
    TLines all;
    for (const TLines& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
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
    // The closing "q", then the identification query that confirms the instrument
    // is still there; it logs nothing.
    EXPECT_EQ(port.Written, "afqqv");
    EXPECT_EQ(port.Purges, (std::vector<std::uint32_t>{12, 15, 15}));
    EXPECT_EQ(w.Serial.OpenHandles(), 0u);
    // First poll at 100 ms, 1000 ms pause, fifteen cycles of 1000 ms, two polls of
    // the confirmation's reply.
    EXPECT_EQ(w.Clock.Now(), 100ms + 1000ms + 15000ms + 200ms);
    EXPECT_EQ(w.Pump.Calls, 1 + 15 + 2);
}

TEST(RunRecalibration, LinkLostDuringTheCountdownEndsItAsAFailure) {
    const std::string lost = "Ошибка! Связь с прибором потеряна!" + kAdvice;
    // Pulled out after "12...": the next count of waiting bytes fails.
    {
        TDeviceWorld w;
        TFakePort& port = w.Serial.Port("COM5");
        TCalibrationScript script;
        script.LaterCycles = {"Calc. 10%\r\n"};
        Play(port, script);
        w.Pump.OnProcess = [&] { port.Gone = w.Log.Lines.back() == "12..."; };
        EXPECT_FALSE(RunRecalibration(w.Link, "COM5"));
        TLines expected{kConnected, "14...", "13...", "12...", lost};
        EXPECT_EQ(w.Log.Lines, expected);
        EXPECT_EQ(port.Written, "af");
        EXPECT_EQ(w.Serial.OpenHandles(), 0u);
    }
    // A driver that still counts the waiting bytes but cannot read them.
    {
        TDeviceWorld w;
        TFakePort& port = w.Serial.Port("COM5");
        TCalibrationScript script;
        script.LaterCycles = std::vector<std::string>(14, "Calc. 50%\r\n");
        Play(port, script);
        w.Pump.OnProcess = [&] { port.RejectReads = w.Log.Lines.back() == "5..."; };
        EXPECT_FALSE(RunRecalibration(w.Link, "COM5"));
        EXPECT_EQ(w.Log.Lines.back(), lost);
        EXPECT_EQ(w.Log.Lines[w.Log.Lines.size() - 2], "5...");
    }
}

TEST(RunRecalibration, InstrumentGoneAtTheEndIsAFailureNotACalibration) {
    const TLines lost{"Ошибка! Связь с прибором потеряна!" + kAdvice};
    // The closing command cannot be written.
    {
        TDeviceWorld w;
        TFakePort& port = w.Serial.Port("COM5");
        Play(port, TCalibrationScript{});
        w.Pump.OnProcess = [&] { port.RejectWrites = w.Log.Lines.back() == "1..."; };
        EXPECT_FALSE(RunRecalibration(w.Link, "COM5"));
        EXPECT_EQ(TLines(w.Log.Lines.end() - 2, w.Log.Lines.end()), Join({{"0..."}, lost}));
        EXPECT_EQ(port.Written, "af");
        EXPECT_EQ(w.Serial.OpenHandles(), 0u);
    }
    // Every call works (a pseudo-terminal whose other end has gone), but nothing
    // answers the identification query: the confirmation gives up after the
    // first poll.
    {
        TDeviceWorld w;
        TFakePort& port = w.Serial.Port("COM5");
        TCalibrationScript script;
        script.Identification.clear();
        Play(port, script);
        EXPECT_FALSE(RunRecalibration(w.Link, "COM5"));
        EXPECT_EQ(w.Log.Lines.size(), 1u + 15u + 1u);
        EXPECT_EQ(w.Log.Lines.back(), lost.front());
        EXPECT_EQ(port.Written, "afqqv");
        EXPECT_EQ(w.Clock.Now(), 100ms + 1000ms + 15000ms + 100ms);
        EXPECT_EQ(w.Serial.OpenHandles(), 0u);
    }
    // Something else answers now: no accepted model word in the reply.
    {
        TDeviceWorld w;
        TCalibrationScript script;
        script.Identification = IdentificationText("Zorvi-41K6UV,");
        Play(w.Serial.Port("COM5"), script);
        EXPECT_FALSE(RunRecalibration(w.Link, "COM5"));
        EXPECT_EQ(w.Log.Lines.back(), lost.front());
    }
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
