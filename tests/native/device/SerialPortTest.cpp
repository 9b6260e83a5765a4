#include "FakeDevice.h"

#include <gtest/gtest.h>

namespace zorvi::test {
namespace {

TEST(OpenPort, MissingPortCostsFiveAttemptsOneSecondApart) {
    TDeviceWorld w;
    TPortHandle handle = kInvalidPortHandle;
    EXPECT_FALSE(OpenPort(w.Serial, w.Clock, DeviceLineParams("COM9"), handle));
    EXPECT_EQ(handle, kInvalidPortHandle);
    ASSERT_EQ(w.Serial.OpenAttempts.size(), 5u);
    EXPECT_EQ(w.Serial.OpenAttempts[0], "\\\\.\\COM9");
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(w.Serial.OpenTimes[i], std::chrono::milliseconds(1000 * i));
    }
    // The pause follows the fifth attempt too.
    EXPECT_EQ(w.Clock.Now(), 5000ms);
    EXPECT_EQ(w.Pump.Calls, 0);

    // With the window's pump, its messages are handled after each pause: the five
    // seconds never freeze the window.
    std::vector<std::chrono::milliseconds> handled;
    w.Pump.OnProcess = [&] { handled.push_back(w.Clock.Now()); };
    EXPECT_FALSE(OpenPort(w.Serial, w.Clock, DeviceLineParams("COM9"), handle, &w.Pump));
    EXPECT_EQ(handled,
              (std::vector<std::chrono::milliseconds>{6000ms, 7000ms, 8000ms, 9000ms, 10000ms}));
}

TEST(OpenPort, PortThatOpensAtTheThirdAttempt) {
    TDeviceWorld w;
    w.Serial.Port("COM12").FailingOpens = 2;
    TPortHandle handle = kInvalidPortHandle;
    EXPECT_TRUE(OpenPort(w.Serial, w.Clock, DeviceLineParams("COM12"), handle));
    EXPECT_NE(handle, kInvalidPortHandle);
    EXPECT_EQ(w.Serial.OpenAttempts.size(), 3u);
    EXPECT_EQ(w.Clock.Now(), 2000ms);
    ClosePort(w.Serial, handle);
}

TEST(OpenPort, PortHeldByAnotherUserIsLikeAMissingOne) {
    TDeviceWorld w;
    w.Serial.Port("COM3");
    TPortHandle other = kInvalidPortHandle;
    ASSERT_TRUE(OpenPort(w.Serial, w.Clock, DeviceLineParams("COM3"), other));
    TPortHandle mine = kInvalidPortHandle;
    EXPECT_FALSE(OpenPort(w.Serial, w.Clock, DeviceLineParams("COM3"), mine));
    EXPECT_EQ(mine, kInvalidPortHandle);
    EXPECT_EQ(w.Serial.OpenAttempts.size(), 6u);
    ClosePort(w.Serial, other);
}

TEST(OpenPort, ChangesOnlyTheLineSettingsAndReadTimeouts) {
    TDeviceWorld w;
    TFakePort& port = w.Serial.Port("COM3");
    TCommState driver{};
    driver.BaudRate = 9600;
    driver.Flags = 0x3015; // binary, DTR and RTS control handshake, abort on error
    driver.XonLim = 2048;
    driver.XoffLim = 512;
    driver.ByteSize = 7;
    driver.Parity = 2;
    driver.StopBits = 2;
    driver.XonChar = 0x11;
    driver.XoffChar = 0x13;
    driver.EofChar = 0x1A;
    port.State = driver;
    port.Timeouts = {50, 10, 500, 7, 300};
    port.Send(0ms, "stale bytes from before the open");

    TPortHandle handle = kInvalidPortHandle;
    ASSERT_TRUE(OpenPort(w.Serial, w.Clock, DeviceLineParams("COM3"), handle));

    TCommState expected = driver;
    expected.BaudRate = 921600;
    expected.ByteSize = 8;
    expected.Parity = 0;
    expected.StopBits = 0;
    EXPECT_EQ(port.State, expected);
    EXPECT_EQ(port.Timeouts, (TCommTimeouts{0xFFFFFFFFu, 0, 0, 7, 300}));
    EXPECT_EQ(port.Purges, std::vector<std::uint32_t>{12});

    // A read with an empty queue returns at once with nothing: the old bytes are gone.
    std::uint8_t buffer[16];
    std::size_t read = 99;
    EXPECT_TRUE(w.Serial.Read(handle, buffer, sizeof buffer, read));
    EXPECT_EQ(read, 0u);
    ClosePort(w.Serial, handle);
}

TEST(OpenPort, RejectedSettingsLeaveTheHandleOpenForTheCaller) {
    TDeviceWorld w;
    w.Serial.Port("COM3").RejectSettings = true;
    TPortHandle handle = kInvalidPortHandle;
    EXPECT_FALSE(OpenPort(w.Serial, w.Clock, DeviceLineParams("COM3"), handle));
    EXPECT_NE(handle, kInvalidPortHandle);
    EXPECT_EQ(w.Serial.OpenHandles(), 1u);
    EXPECT_TRUE(ClosePort(w.Serial, handle));
    EXPECT_EQ(w.Serial.OpenHandles(), 0u);
}

TEST(OpenPort, ClosesTheHandleItHeldAlsoWhenTheNewOpenFails) {
    TDeviceWorld w;
    w.Serial.Port("COM3");
    TPortHandle handle = kInvalidPortHandle;
    ASSERT_TRUE(OpenPort(w.Serial, w.Clock, DeviceLineParams("COM3"), handle));
    EXPECT_FALSE(OpenPort(w.Serial, w.Clock, DeviceLineParams("COM4"), handle));
    EXPECT_EQ(handle, kInvalidPortHandle);
    EXPECT_EQ(w.Serial.OpenHandles(), 0u);
    // Reopening the same port works because the old handle was closed first.
    EXPECT_TRUE(OpenPort(w.Serial, w.Clock, DeviceLineParams("COM3"), handle));
    EXPECT_TRUE(OpenPort(w.Serial, w.Clock, DeviceLineParams("COM3"), handle));
    EXPECT_EQ(w.Serial.OpenHandles(), 1u);
    ClosePort(w.Serial, handle);
}

TEST(ClosePort, LeavesTheVariableInvalidWhateverThePlatformSays) {
    TDeviceWorld w;
    w.Serial.Port("COM3");
    TPortHandle handle = kInvalidPortHandle;
    ASSERT_TRUE(OpenPort(w.Serial, w.Clock, DeviceLineParams("COM3"), handle));
    w.Serial.CloseFails = true;
    EXPECT_FALSE(ClosePort(w.Serial, handle));
    EXPECT_EQ(handle, kInvalidPortHandle);
    EXPECT_FALSE(ClosePort(w.Serial, handle));
    EXPECT_EQ(handle, kInvalidPortHandle);
}

} // namespace
} // namespace zorvi::test
