// The Windows serial port and registry list under Wine, against a simulated
// instrument on a pseudo-terminal linked as COM5.
#include "WineDeviceEnvironment.h"

#include "device/PortDiscovery.h"
#include "device/SerialPort.h"
#include "win32/device/Win32SerialPort.h"
#include "win32/device/Win32SerialPortRegistry.h"
#include "win32/ui/MessagePump.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

namespace zorvi::test {
namespace {

using namespace std::chrono_literals;
using TPorts = std::vector<std::string>;

TEST(Win32SerialPort, OpensThePseudoTerminalInTheNonWaitingMode) {
    TSimulatedInstrument sim("COM5");
    sim.Reset();
    TWin32SerialApi serial;
    TWin32Clock clock;
    TPortHandle port = kInvalidPortHandle;
    ASSERT_TRUE(OpenPort(serial, clock, DeviceLineParams("COM5"), port)) << serial.LastError();

    TCommState state;
    ASSERT_TRUE(serial.GetCommState(port, state));
    EXPECT_EQ(state.BaudRate, 921600u);
    EXPECT_EQ(state.ByteSize, 8);
    EXPECT_EQ(state.Parity, 0);
    EXPECT_EQ(state.StopBits, 0);
    TCommTimeouts timeouts;
    ASSERT_TRUE(serial.GetCommTimeouts(port, timeouts));
    EXPECT_EQ(timeouts.ReadIntervalTimeout, 0xFFFFFFFFu);
    EXPECT_EQ(timeouts.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 0u);

    // An empty queue: the read returns at once with nothing.
    std::uint8_t buffer[64];
    std::size_t read = 99;
    const auto before = clock.Now();
    EXPECT_TRUE(serial.Read(port, buffer, sizeof buffer, read));
    EXPECT_EQ(read, 0u);
    EXPECT_LT(clock.Now() - before, 200ms);

    // The exchange goes through: "q", "v", and the identification comes back.
    std::size_t written = 0;
    EXPECT_TRUE(serial.Write(port, reinterpret_cast<const std::uint8_t*>("qv"), 2, written));
    EXPECT_EQ(written, 2u);
    EXPECT_TRUE(serial.Flush(port));
    std::this_thread::sleep_for(300ms);
    std::uint32_t waiting = 0;
    EXPECT_TRUE(serial.BytesWaiting(port, waiting));
    EXPECT_GT(waiting, 40u);
    std::string reply(waiting, '\0');
    EXPECT_TRUE(serial.Read(port, reinterpret_cast<std::uint8_t*>(reply.data()), waiting, read));
    EXPECT_EQ(read, waiting);
    EXPECT_NE(reply.find("Software version: 1V4\r\n"), std::string::npos);

    // (Wine does not refuse a second open of a serial device with share mode 0, so
    // the exclusive open cannot be shown here; the native tests cover the refusal.)
    EXPECT_TRUE(ClosePort(serial, port));
    EXPECT_EQ(port, kInvalidPortHandle);
}

TEST(Win32SerialPort, MissingPortCostsFiveAttempts) {
    TWin32SerialApi serial;
    TWin32Clock clock;
    TPortHandle port = kInvalidPortHandle;
    const auto start = clock.Now();
    EXPECT_FALSE(OpenPort(serial, clock, DeviceLineParams("COM9"), port));
    const auto spent = clock.Now() - start;
    EXPECT_EQ(port, kInvalidPortHandle);
    EXPECT_GE(spent, 4900ms);
    EXPECT_LT(spent, 7000ms);
    EXPECT_NE(serial.LastError(), 0u);
}

TEST(Win32SerialPort, BytesReceivedBeforeTheOpenAreGone) {
    TSimulatedInstrument sim("COM5");
    sim.Reset();
    TWin32SerialApi serial;
    TWin32Clock clock;
    TPortHandle port = kInvalidPortHandle;
    ASSERT_TRUE(OpenPort(serial, clock, DeviceLineParams("COM5"), port));
    std::size_t written = 0;
    serial.Write(port, reinterpret_cast<const std::uint8_t*>("qv"), 2, written);
    std::this_thread::sleep_for(300ms);
    // Reopening the port (the variable holds it: it is closed first) purges the reply.
    ASSERT_TRUE(OpenPort(serial, clock, DeviceLineParams("COM5"), port));
    std::uint32_t waiting = 99;
    EXPECT_TRUE(serial.BytesWaiting(port, waiting));
    EXPECT_EQ(waiting, 0u);
    ClosePort(serial, port);
}

TEST(Win32SerialPortRegistry, ListsMarkedValuesInRegistryOrder) {
    SetSerialComm({{"\\Device\\Serial0", "COM1"},
                   {"\\Device\\Silabser1", "COM7"},
                   {"\\Device\\USBSER000", "COM4"},
                   {"\\Device\\silabser0", "COM5"}});
    AddSerialCommNumber("\\Device\\Silabser9", 9);
    TWin32SerialPortRegistry registry;
    TPorts ports{"stale"};
    ListDevicePorts(registry, ports);

    // The order is the registry's enumeration order, whatever that is (Wine's is
    // not the order of creation): the listed ports follow the values as read.
    std::vector<TSerialCommValue> values;
    ASSERT_TRUE(registry.ReadSerialComm(values));
    ASSERT_EQ(values.size(), 5u);
    TPorts marked;
    for (const auto& value : values) {
        if (value.Name == "\\Device\\Silabser9") {
            EXPECT_FALSE(value.IsText);
        } else if (value.Name.find("ilabser") != std::string::npos) {
            marked.push_back(value.Data);
        }
    }
    EXPECT_EQ(ports, marked);
    EXPECT_EQ(std::set<std::string>(ports.begin(), ports.end()),
              (std::set<std::string>{"COM5", "COM7"}));

    // Without the key the list keeps what it held.
    DeleteSerialCommKey();
    ListDevicePorts(registry, ports);
    EXPECT_EQ(ports, marked);
}

} // namespace
} // namespace zorvi::test
