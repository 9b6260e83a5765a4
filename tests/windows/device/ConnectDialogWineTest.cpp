// The connect dialog's window under Wine, over the real main window, with simulated
// instruments behind COM5 and COM6 and the GUI driver pressing "Прервать".
#include "WineDeviceEnvironment.h"

#include "win32/device/ConnectToDevice.h"
#include "win32/ui/MainForm.h"
#include "win32/ui/MessagePump.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>

namespace zorvi::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* kWaiting = "Ждём подключения прибора.... ";
constexpr const char* kCaption = "Подключение к прибору";

/// The main window shown, the connect dialog created hidden under it, as at start-up.
struct TDialogUnderTest {
    TDialogUnderTest() {
        Com5.Reset();
        Com6.Reset();
        Com6.Command("set silent=1");
        Main.Show(SW_SHOWNORMAL);
        UpdateWindow(Main.Handle());
        Pump.ProcessMessages();
    }
    ~TDialogUnderTest() {
        if (Helper.joinable()) {
            Helper.join();
        }
    }
    /// Runs `action` on another thread, as something that happens while the modal
    /// loop runs on this one.
    void Meanwhile(std::function<void()> action) { Helper = std::thread(std::move(action)); }
    /// Presses "Прервать" through the GUI driver, as a person would; its exit code.
    static DWORD PressAbort() {
        return WaitForExit(StartGuiDriver({"press", kCaption, "Прервать", "--timeout", "10000"}),
                           20s);
    }
    /// No port stays open: a port the dialog used opens at once.
    bool PortFree(const std::string& name) {
        TWin32SerialApi serial;
        TPortHandle port = kInvalidPortHandle;
        const bool opened = OpenPort(serial, Clock, DeviceLineParams(name), port);
        ClosePort(serial, port);
        return opened;
    }

    TSimulatedInstrument Com5{"COM5"};
    TSimulatedInstrument Com6{"COM6"};
    TWin32MessagePump Pump;
    TWin32Clock Clock;
    TMainForm Main{nullptr, Pump};
    TRecordingLog Log{&Main};
    TConnectToDevice Connect{Main.Handle(), Pump, Clock, Log};
    std::thread Helper;
};

TEST(ConnectDialogUnderWine, WaitsWhileNothingAnswersAndClosesWithOkWhenOneDoes) {
    SetSerialComm({{"\\Device\\Serial0", "COM1"}, {"\\Device\\Silabser0", "COM5"}});
    TDialogUnderTest t;
    t.Com5.Command("set silent=1");

    RECT dialog{};
    RECT client{};
    RECT main{};
    bool visible = false;
    bool screenshot = false;
    t.Meanwhile([&] {
        std::this_thread::sleep_for(2600ms); // two ticks without an answer
        const HWND window = t.Connect.Window().Handle();
        visible = IsWindowVisible(window) != FALSE;
        GetWindowRect(window, &dialog);
        GetClientRect(window, &client);
        GetWindowRect(t.Main.Handle(), &main);
        screenshot = TakeScreenshot("connect-dialog");
        t.Com5.Command("set silent=0");
    });
    EXPECT_TRUE(t.Connect.Form().WaitForDevice());
    t.Helper.join();

    EXPECT_TRUE(visible);
    EXPECT_TRUE(screenshot);
    EXPECT_EQ(client.right, 370);
    EXPECT_EQ(client.bottom, 82);
    EXPECT_EQ(dialog.top, main.top + 300);
    const int mainWidth = main.right - main.left;
    const int dialogWidth = dialog.right - dialog.left;
    EXPECT_EQ(dialog.left, main.left + (mainWidth - dialogWidth) / 2);
    EXPECT_EQ(t.Connect.Window().Caption(), kCaption);

    EXPECT_GE(t.Log.Count("Нет приборов, допускающих перепрограммирование."), 2);
    EXPECT_EQ(t.Log.Count("Нет приборов, допускающих перепрограммирование."),
              t.Log.Count(kWaiting));
    EXPECT_EQ(t.Log.Lines.back(), "      Текущая версия прибора: 1V4 от 12.03.2019");
    EXPECT_EQ(t.Connect.Form().DevicePort, "COM5");
    EXPECT_EQ(t.Connect.Form().DeviceVersion, "1V4");
    EXPECT_EQ(t.Main.ActionLB().Count(), static_cast<int>(t.Log.Lines.size()));
    EXPECT_FALSE(t.Connect.Window().TimerEnabled());
    EXPECT_FALSE(IsWindowVisible(t.Connect.Window().Handle()));
    EXPECT_TRUE(t.PortFree("COM5"));
}

TEST(ConnectDialogUnderWine, NoBridgeLogsAtEveryTickUntilAborted) {
    SetSerialComm({{"\\Device\\Serial0", "COM1"}});
    TDialogUnderTest t;
    DWORD pressed = ~0u;
    t.Meanwhile([&] {
        std::this_thread::sleep_for(2500ms);
        TakeScreenshot("connect-dialog-no-bridge");
        pressed = TDialogUnderTest::PressAbort();
    });
    EXPECT_FALSE(t.Connect.Form().WaitForDevice());
    t.Helper.join();
    EXPECT_EQ(pressed, 0u);
    EXPECT_GE(t.Log.Count(" не подключен НИ ОДИН требуемый прибор."), 2);
    EXPECT_EQ(t.Log.Lines.back(), kWaiting);
    EXPECT_EQ(t.Connect.Form().DevicePort, "");
}

TEST(ConnectDialogUnderWine, AbortPressedByTheDriverLeavesNoPortOpen) {
    SetSerialComm({{"\\Device\\Silabser0", "COM5"}, {"\\Device\\Silabser1", "COM6"}});
    TDialogUnderTest t;
    t.Com5.Command("set foreign=1");
    DWORD pressed = ~0u;
    t.Meanwhile([&] {
        std::this_thread::sleep_for(1500ms);
        pressed = TDialogUnderTest::PressAbort();
    });
    EXPECT_FALSE(t.Connect.Form().WaitForDevice());
    t.Helper.join();
    EXPECT_EQ(pressed, 0u);
    EXPECT_FALSE(t.Connect.Window().TimerEnabled());
    EXPECT_EQ(t.Connect.Form().PortHandle, kInvalidPortHandle);
    EXPECT_TRUE(t.PortFree("COM5"));
    EXPECT_TRUE(t.PortFree("COM6"));
    // The form is ready for the next wait.
    EXPECT_FALSE(t.Connect.Form().ModelList.has_value());
}

TEST(ConnectDialogUnderWine, TwoInstrumentsUntilOneFallsSilent) {
    SetSerialComm({{"\\Device\\Silabser0", "COM5"}, {"\\Device\\Silabser1", "COM6"}});
    TDialogUnderTest t;
    t.Com6.Command("set silent=0");
    t.Com6.Command("set version=1V5");
    t.Meanwhile([&] {
        std::this_thread::sleep_for(2500ms);
        t.Com6.Command("set silent=1");
    });
    EXPECT_TRUE(t.Connect.Form().WaitForDevice());
    t.Helper.join();
    EXPECT_GE(t.Log.Count("Одновременно подключено более одного прибора!"), 1);
    EXPECT_EQ(t.Connect.Form().DevicePort, "COM5");
    EXPECT_EQ(t.Connect.Form().DeviceVersion, "1V4");
}

} // namespace
} // namespace zorvi::test
