// The identification query over the Windows serial port under Wine.
#include "WineDeviceEnvironment.h"

#include "device/ConnectToDeviceForm.h"
#include "device/SplitDelimited.h"
#include "win32/device/Win32SerialPort.h"
#include "win32/device/Win32SerialPortRegistry.h"
#include "win32/ui/MessagePump.h"

#include <gtest/gtest.h>

namespace zorvi::test {
namespace {

using TLines = std::vector<std::string>;

/// A form in the middle of a wait, without its window.
struct TProbe {
    TProbe() {
        Form.ModelList.emplace();
        SplitDelimited(',', kAcceptedModels, *Form.ModelList);
        Sim.Reset();
    }
    TProbeResult Run() { return Form.ProbePort("COM5").Result; }

    TSimulatedInstrument Sim{"COM5"};
    TWin32SerialApi Serial;
    TWin32Clock Clock;
    TWin32MessagePump Pump;
    TRecordingLog Log;
    TWin32SerialPortRegistry Registry;
    TDeviceLink Link{Serial, Clock, Pump, Log};
    TConnectToDeviceForm Form{Link, Registry};
};

TEST(ProbePortUnderWine, SimulatedInstrumentGivesItsVersionAndDate) {
    TProbe p;
    p.Sim.Command("set version=1V5");
    p.Sim.Command("set date=5 мая 2021");
    const std::size_t logMark = p.Sim.Log().size();
    EXPECT_EQ(p.Run(), TProbeResult::Found);
    EXPECT_EQ(p.Form.DeviceVersion, "1V5");
    EXPECT_EQ(p.Form.DeviceDate, "5 мая 2021");
    EXPECT_EQ(p.Log.Lines, (TLines{"      Подключение к порту COM5 выполнено.",
                                   " Прибор обнаружен, Модель:Zorvi-41K6UV\r\n",
                                   "      Текущая версия прибора: 1V5 от 5 мая 2021"}));
    EXPECT_EQ(p.Form.PortHandle, kInvalidPortHandle);
    EXPECT_TRUE(p.Sim.LogShows("identification sent", logMark));
}

TEST(ProbePortUnderWine, FailuresGiveTheirCodes) {
    TProbe p;
    p.Sim.Command("set foreign=1");
    EXPECT_EQ(p.Run(), TProbeResult::ForeignDevice);
    EXPECT_EQ(p.Log.Lines.back().rfind("Обнаружен:Измеритель ПИ-7", 0), 0u);

    p.Form.Reply.clear();
    p.Sim.Command("set foreign=0");
    p.Sim.Command("set missing-marker=date");
    EXPECT_EQ(p.Run(), TProbeResult::NoMarkers);

    p.Form.Reply.clear();
    p.Sim.Command("set silent=1");
    EXPECT_EQ(p.Run(), TProbeResult::NoReply);

    // Still growing at the last poll: one byte every 20 ms is about 60 bytes in 1.2 s.
    p.Form.Reply.clear();
    p.Sim.Command("set silent=0");
    p.Sim.Command("set missing-marker=");
    p.Sim.Command("set dribble=20");
    EXPECT_EQ(p.Run(), TProbeResult::NoReply);
    p.Sim.Command("set dribble=0");

    p.Form.Reply.clear();
    p.Sim.Command("set model=zorvi-41k6uv");
    EXPECT_EQ(p.Run(), TProbeResult::ForeignDevice);
}

TEST(ProbePortUnderWine, FloodIsCutToWhatOneReadTakes) {
    TProbe p;
    p.Sim.Command("set flood=9000");
    EXPECT_EQ(p.Run(), TProbeResult::Found);
    EXPECT_EQ(p.Form.DeviceVersion, "1V4");

    // A foreign device's flood stays whole in Reply: one read's worth. A
    // pseudo-terminal queues at most 4095 bytes; the probe never takes more than 4098.
    p.Form.Reply.clear();
    p.Sim.Command("set foreign=1");
    EXPECT_EQ(p.Run(), TProbeResult::ForeignDevice);
    EXPECT_GE(p.Form.Reply.size(), 4000u);
    EXPECT_LE(p.Form.Reply.size(), 4098u);
}

} // namespace
} // namespace zorvi::test
