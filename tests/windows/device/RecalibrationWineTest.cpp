// The recalibration exchange over the Windows serial port under Wine, in real time.
#include "WineDeviceEnvironment.h"

#include "device/Recalibration.h"
#include "win32/device/Win32SerialPort.h"
#include "win32/ui/MessagePump.h"

#include <gtest/gtest.h>

namespace zorvi::test {
namespace {

using namespace std::chrono_literals;
using TLines = std::vector<std::string>;

const std::string kAdvice = "\r\nПопробуйте сначала или обратитесь к Прoизводителю!";

struct TExchange {
    TExchange() { Sim.Reset(); }
    TSimulatedInstrument Sim{"COM5"};
    TWin32SerialApi Serial;
    TWin32Clock Clock;
    TWin32MessagePump Pump;
    TRecordingLog Log;
    TDeviceLink Link{Serial, Clock, Pump, Log};
};

TEST(RecalibrationUnderWine, RunsThroughInAboutSeventeenSeconds) {
    TExchange x;
    const std::size_t logMark = x.Sim.Log().size();
    const auto start = x.Clock.Now();
    EXPECT_TRUE(RunRecalibration(x.Link, "COM5"));
    const auto spent = x.Clock.Now() - start;
    ASSERT_EQ(x.Log.Lines.size(), 16u);
    EXPECT_EQ(x.Log.Lines[0], "Подключение к порту COM5 выполнено. начало калибровки...");
    EXPECT_EQ(x.Log.Lines[1], "14...");
    EXPECT_EQ(x.Log.Lines[15], "0...");
    EXPECT_GE(spent, 16000ms);
    EXPECT_LT(spent, 19000ms);
    EXPECT_TRUE(x.Sim.LogShows("calibration started", logMark));
    EXPECT_TRUE(x.Sim.LogShows("calibration finished", logMark));
}

TEST(RecalibrationUnderWine, NoStartFailsCleanly) {
    TExchange x;
    x.Sim.Command("set no-start=1");
    EXPECT_FALSE(RunRecalibration(x.Link, "COM5"));
    EXPECT_EQ(x.Log.Lines.back(), "Ошибка! Прибор не запустился!" + kAdvice);
    EXPECT_EQ(x.Log.Lines.size(), 2u);
}

TEST(RecalibrationUnderWine, NoCalcFailsAfterTheFirstCycle) {
    TExchange x;
    x.Sim.Command("set no-calc=1");
    EXPECT_FALSE(RunRecalibration(x.Link, "COM5"));
    EXPECT_EQ(x.Log.Lines, (TLines{"Подключение к порту COM5 выполнено. начало калибровки...",
                                   "14...", "Ошибка! Калибровка не стартовала!" + kAdvice}));
}

TEST(RecalibrationUnderWine, MissingPortFailsAfterFiveAttempts) {
    TExchange x;
    EXPECT_FALSE(RunRecalibration(x.Link, "COM9"));
    EXPECT_EQ(x.Log.Lines,
              TLines{"     Ошибка! Невозможно подключиться к порту COM9 с требуемыми параметрами"});
}

} // namespace
} // namespace zorvi::test
