#include "FakeDevice.h"

#include "common/CodePage.h"
#include "device/ConnectToDeviceForm.h"

#include <gtest/gtest.h>

namespace zorvi::test {
namespace {

using TLines = std::vector<std::string>;

constexpr const char* kWaiting = "Ждём подключения прибора.... ";
constexpr const char* kNoBridge = " не подключен НИ ОДИН требуемый прибор.";
constexpr const char* kNoneAnswers = "Нет приборов, допускающих перепрограммирование.";
constexpr const char* kSeveral = "Одновременно подключено более одного прибора!";

struct TDialogFixture {
    TDialogFixture() { Form.AttachWindow(Window); }

    /// Registers a bridge port with an instrument of `version` behind it.
    void PlugInstrument(const std::string& port, const std::string& version = "1V4") {
        Plug(port);
        AnswerIdentification(W.Serial.Port(port), IdentificationText("Zorvi-41K6UV", version));
    }
    void Plug(const std::string& port) {
        W.Registry.Values.push_back({"\\Device\\Silabser" + port, port});
        W.Serial.Port(port);
    }
    void Unplug(const std::string& port) {
        std::erase_if(W.Registry.Values, [&](const auto& v) { return v.Data == port; });
        W.Serial.Port(port).FailingOpens = -1;
    }
    int CountLines(const std::string& text) const {
        return static_cast<int>(std::count(W.Log.Lines.begin(), W.Log.Lines.end(), text));
    }

    TDeviceWorld W;
    TConnectToDeviceForm Form{W.Link, W.Registry};
    TScriptedDialog Window{W.Clock, Form};
};

TEST(ConnectToDeviceForm, CreationState) {
    TDialogFixture f;
    EXPECT_EQ(f.Form.PulseLevel, 0);
    EXPECT_EQ(f.Form.PulseStep, 60);
    EXPECT_EQ(f.Form.PortHandle, kInvalidPortHandle);
    EXPECT_TRUE(f.Form.PortList.empty());
    EXPECT_FALSE(f.Form.ModelList.has_value());
}

TEST(ConnectToDeviceForm, OneInstrumentClosesWithOkAtTheFirstTick) {
    TDialogFixture f;
    f.Plug("COM3"); // a bridge with nothing behind it
    f.PlugInstrument("COM5");
    EXPECT_TRUE(f.Form.WaitForDevice());
    EXPECT_EQ(f.Form.DevicePort, "COM5");
    EXPECT_EQ(f.Form.DeviceVersion, "1V4");
    EXPECT_EQ(f.Window.Ticks, 1);
    EXPECT_EQ(f.Window.ModalResult, kModalOk);
    EXPECT_FALSE(f.Window.TimerEnabled);
    EXPECT_EQ(f.W.Serial.OpenHandles(), 0u);
    EXPECT_FALSE(f.Form.ModelList.has_value()); // released when the loop ended
    EXPECT_EQ(f.Window.Closes, 1);
    EXPECT_EQ(f.Window.Captions, (TLines{"Подключите прибор к компьютеру...",
                                         "Получение версии ПО...", "Получение версии ПО..."}));
    EXPECT_EQ(f.W.Log.Lines, (TLines{
                                 "      Подключение к порту COM3 выполнено.",
                                 "      Подключение к порту COM5 выполнено.",
                                 " Прибор обнаружен, Модель:Zorvi-41K6UV\r\n",
                                 "      Текущая версия прибора: 1V4 от 12.03.2019",
                             }));
    // The tick came 1000 ms after the timer started; COM3 was silent for 100 ms and
    // COM5 answered at its second poll.
    EXPECT_EQ(f.W.Clock.Now(), 1000ms + 100ms + 200ms);
}

TEST(ConnectToDeviceForm, NoBridgeLogsTwoLinesAtEveryTick) {
    TDialogFixture f;
    f.Window.BeforeTick = [&](int tick) {
        if (tick == 4) {
            f.Form.StartButtonClick();
        }
    };
    EXPECT_FALSE(f.Form.WaitForDevice());
    EXPECT_EQ(f.Window.Ticks, 4);
    EXPECT_EQ(f.W.Log.Lines,
              (TLines{kNoBridge, kWaiting, kNoBridge, kWaiting, kNoBridge, kWaiting}));
    // One tick a second, counted from the end of the previous tick's work.
    EXPECT_EQ(f.W.Clock.Now(), 4000ms);
}

TEST(ConnectToDeviceForm, BridgeWithoutAnAcceptedInstrumentKeepsWaiting) {
    TDialogFixture f;
    f.Plug("COM3");
    f.Plug("COM4");
    AnswerIdentification(f.W.Serial.Port("COM4"), "Other-Device 2.0\r\n");
    f.Window.BeforeTick = [&](int tick) {
        if (tick == 3) {
            f.Form.StartButtonClick();
        }
    };
    EXPECT_FALSE(f.Form.WaitForDevice());
    EXPECT_EQ(f.CountLines(kNoneAnswers), 2);
    EXPECT_EQ(f.CountLines(kWaiting), 2);
    EXPECT_EQ(f.W.Log.Lines.back(), kWaiting);
    EXPECT_EQ(f.W.Log.Lines[f.W.Log.Lines.size() - 2], kNoneAnswers);
    // Each tick's foreign-device line shows that tick's reply alone.
    EXPECT_EQ(f.CountLines("Обнаружен:Other-Device 2.0\r\n\r\n"), 2);
    EXPECT_EQ(f.W.Serial.OpenHandles(), 0u);
}

TEST(ConnectToDeviceForm, DeviceSendingAZeroOnAnEarlierPortNeverHidesTheInstrument) {
    using namespace std::string_literals;
    // A foreign device answers every tick with binary bytes, a zero among them; the
    // instrument is plugged in behind the next port at the third tick.
    TDialogFixture f;
    f.Plug("COM3");
    AnswerIdentification(f.W.Serial.Port("COM3"), "\x02\xC1\0\xFF\x10"
                                                  "binary\r\n"s);
    f.Window.BeforeTick = [&](int tick) {
        if (tick == 3) {
            f.PlugInstrument("COM5", "1V4");
        }
    };
    EXPECT_TRUE(f.Form.WaitForDevice());
    EXPECT_EQ(f.Window.Ticks, 3);
    EXPECT_EQ(f.Form.DevicePort, "COM5");
    EXPECT_EQ(f.Form.DeviceVersion, "1V4");
    EXPECT_EQ(f.CountLines(kNoneAnswers), 2);
    EXPECT_EQ(f.CountLines(" Прибор обнаружен, Модель:Zorvi-41K6UV\r\n"), 1);
    EXPECT_EQ(f.W.Log.Lines.back(), "      Текущая версия прибора: 1V4 от 12.03.2019");
}

TEST(ConnectToDeviceForm, TwoInstrumentsUntilOneIsUnplugged) {
    TDialogFixture f;
    f.PlugInstrument("COM5", "1V4");
    f.PlugInstrument("COM7", "1V5");
    f.Window.BeforeTick = [&](int tick) {
        if (tick == 3) {
            f.Unplug("COM7");
        }
    };
    EXPECT_TRUE(f.Form.WaitForDevice());
    EXPECT_EQ(f.Window.Ticks, 3);
    EXPECT_EQ(f.CountLines(kSeveral), 2);
    EXPECT_EQ(f.CountLines(kWaiting), 2);
    EXPECT_EQ(f.Form.DevicePort, "COM5");
    EXPECT_EQ(f.Form.DeviceVersion, "1V4");
}

TEST(ConnectToDeviceForm, VersionCountsAsReadOnlyWhenTheDecidingProbeReadIt) {
    TDialogFixture f;
    f.PlugInstrument("COM5", "1V4");
    f.PlugInstrument("COM7", "1V5");
    f.Window.BeforeTick = [&](int tick) {
        if (tick == 2) {
            // COM7 goes; COM5 now answers with a version line that cannot be read.
            f.Unplug("COM7");
            AnswerIdentification(f.W.Serial.Port("COM5"),
                                 FromUtf8("Zorvi-41K6UV\r\nSoftware version:1V4\r\nDate: x\r\n",
                                          TCodePage::Windows1251));
        }
    };
    EXPECT_TRUE(f.Form.WaitForDevice());
    EXPECT_EQ(f.Form.DevicePort, "COM5");
    EXPECT_EQ(f.W.Log.Lines.back(), "      Текущая версия прибора: неизвестна");
    // What the first tick read of the other instrument is still there.
    EXPECT_EQ(f.Form.DeviceVersion, "1V5");
    EXPECT_FALSE(f.Form.DeviceVersionRead);

    AnswerIdentification(f.W.Serial.Port("COM5"), IdentificationText("Zorvi-41K6UV", "1V4"));
    f.Window.BeforeTick = nullptr;
    EXPECT_TRUE(f.Form.WaitForDevice());
    EXPECT_EQ(f.Form.DeviceVersion, "1V4");
    EXPECT_TRUE(f.Form.DeviceVersionRead);
}

TEST(ConnectToDeviceForm, MessagePulsesInRedAcrossWaits) {
    TDialogFixture f;
    f.Window.BeforeTick = [&](int tick) {
        if (tick == 10) {
            f.Form.StartButtonClick();
        }
    };
    EXPECT_FALSE(f.Form.WaitForDevice());
    EXPECT_EQ(f.Window.Reds, (std::vector<int>{60, 120, 180, 240, 180, 120, 60, 0, 60}));

    // The next wait goes on where this one stopped.
    f.Window.Reds.clear();
    f.Window.Ticks = 0;
    f.Window.BeforeTick = [&](int tick) {
        if (tick == 5) {
            f.Form.StartButtonClick();
        }
    };
    EXPECT_FALSE(f.Form.WaitForDevice());
    EXPECT_EQ(f.Window.Reds, (std::vector<int>{120, 180, 240, 180}));
}

TEST(ConnectToDeviceForm, AbortDuringATickEndsTheWaitAfterThatTick) {
    TDialogFixture f;
    f.Plug("COM4");                                // silent
    f.Plug("COM3");                                // probed after COM4 ...
    f.W.Serial.Port("COM3").RejectSettings = true; // ... and leaves its handle open
    bool pressed = false;
    f.W.Pump.OnProcess = [&] {
        if (f.Window.Ticks == 2 && !pressed) {
            pressed = true;
            f.Form.StartButtonClick();
        }
    };
    EXPECT_FALSE(f.Form.WaitForDevice());
    EXPECT_EQ(f.Window.Ticks, 2);
    // The tick ran to its end: COM3 was probed after the press, and both lines written.
    EXPECT_EQ(
        f.CountLines("      Ошибка! Невозможно подключиться к порту COM3 с требуемыми параметрами"),
        2);
    EXPECT_EQ(f.W.Log.Lines.back(), kWaiting);
    EXPECT_FALSE(f.Window.TimerEnabled);
    // The end of the wait closed what the failed configuration left open.
    EXPECT_EQ(f.W.Serial.OpenHandles(), 0u);
    EXPECT_EQ(f.Form.PortHandle, kInvalidPortHandle);
}

TEST(ConnectToDeviceForm, InstrumentFoundInTheTickWinsOverAnAbort) {
    TDialogFixture f;
    f.PlugInstrument("COM5");
    f.W.Pump.OnProcess = [&] {
        if (f.Window.Ticks == 1) {
            f.Form.StartButtonClick();
        }
    };
    EXPECT_TRUE(f.Form.WaitForDevice());
    EXPECT_EQ(f.Form.DevicePort, "COM5");
}

TEST(ConnectToDeviceForm, SecondWaitStartsWithEmptyPortAndReplyButKeepsTheVersion) {
    TDialogFixture f;
    f.PlugInstrument("COM5", "1V4");
    ASSERT_TRUE(f.Form.WaitForDevice());
    ASSERT_FALSE(f.Form.Reply.empty()); // the date line and what follows it

    f.Unplug("COM5");
    f.Plug("COM6");
    AnswerIdentification(f.W.Serial.Port("COM6"), "Foreign\r\n");
    f.Window.Ticks = 0;
    f.W.Log.Lines.clear();
    f.Window.BeforeTick = [&](int tick) {
        if (tick == 2) {
            f.Form.StartButtonClick();
        }
    };
    EXPECT_FALSE(f.Form.WaitForDevice());
    EXPECT_EQ(f.Form.DevicePort, "");
    EXPECT_EQ(f.Form.DeviceVersion, "1V4");
    EXPECT_EQ(f.Form.DeviceDate, "12.03.2019");
    EXPECT_EQ(f.CountLines("Обнаружен:Foreign\r\n\r\n"), 1);
}

TEST(ConnectToDeviceForm, UnreadableRegistryKeepsTheLastPorts) {
    TDialogFixture f;
    f.Plug("COM3");
    f.Window.BeforeTick = [&](int tick) {
        if (tick == 2) {
            f.W.Registry.Exists = false;
        }
        if (tick == 3) {
            f.Form.StartButtonClick();
        }
    };
    EXPECT_FALSE(f.Form.WaitForDevice());
    EXPECT_EQ(f.CountLines("      Подключение к порту COM3 выполнено."), 2);
    EXPECT_EQ(f.CountLines(kNoneAnswers), 2);
}

TEST(ConnectToDeviceForm, PlacedBelowTheMainWindowTopAndCentred) {
    TDialogFixture f;
    f.Window.Main = {100, 50, 721, 560};
    f.Window.Width = 376;
    f.Form.FormShow();
    EXPECT_EQ(f.Window.Left, 100 + 172);
    EXPECT_EQ(f.Window.Top, 350);
    // A main window narrower than the dialog: the half is truncated toward zero.
    f.Window.Main = {-10, -20, 301, 200};
    f.Form.FormShow();
    EXPECT_EQ(f.Window.Left, -10 - 37);
    EXPECT_EQ(f.Window.Top, 280);
}

} // namespace
} // namespace zorvi::test
