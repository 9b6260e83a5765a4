#include "FakeDevice.h"

#include "common/CodePage.h"
#include "device/ConnectToDeviceForm.h"
#include "device/SplitDelimited.h"

#include <gtest/gtest.h>

namespace zorvi::test {
namespace {

using TLines = std::vector<std::string>;

/// A form in the middle of a wait: models loaded, Reply empty, window attached.
struct TProbeFixture {
    TProbeFixture() {
        Form.AttachWindow(Window);
        Form.ModelList.emplace();
        SplitDelimited(',', kAcceptedModels, *Form.ModelList);
    }
    TDeviceWorld W;
    TConnectToDeviceForm Form{W.Link, W.Registry};
    TScriptedDialog Window{W.Clock, Form};
};

TEST(ProbePort, AcceptedInstrumentGivesVersionAndDate) {
    TProbeFixture f;
    TFakePort& port = f.W.Serial.Port("COM5");
    AnswerIdentification(port, IdentificationText("Zorvi-41K6UV", "1V5", "05.11.2021"));

    const TProbeFinding finding = f.Form.ProbePort("COM5");
    EXPECT_EQ(finding.Result, TProbeResult::Found);
    EXPECT_TRUE(finding.VersionRead);
    EXPECT_EQ(port.Written, "qv");
    EXPECT_EQ(f.Form.DeviceVersion, "1V5");
    EXPECT_EQ(f.Form.DeviceDate, "05.11.2021");
    EXPECT_EQ(f.W.Log.Lines, (TLines{
                                 "      Подключение к порту COM5 выполнено.",
                                 " Прибор обнаружен, Модель:Zorvi-41K6UV\r\n",
                                 "      Текущая версия прибора: 1V5 от 05.11.2021",
                             }));
    EXPECT_EQ(f.Window.Captions, TLines{"Получение версии ПО..."});
    // Consumed through the date: what is left starts with the date and its line end.
    EXPECT_EQ(f.Form.Reply.rfind("05.11.2021\r\n", 0), 0u);
    EXPECT_EQ(f.W.Serial.OpenHandles(), 0u);
    EXPECT_EQ(f.Form.PortHandle, kInvalidPortHandle);
    // Read at the second poll, once the count stood still.
    EXPECT_EQ(f.W.Clock.Now(), 200ms);
    EXPECT_EQ(f.W.Pump.Calls, 2);
}

TEST(ProbePort, SilenceAtTheFirstPollEndsAfterOneHundredMilliseconds) {
    TProbeFixture f;
    TFakePort& port = f.W.Serial.Port("COM5");
    AnswerIdentification(port, IdentificationText(), 150ms); // too late
    EXPECT_EQ(f.Form.ProbePort("COM5").Result, TProbeResult::NoReply);
    EXPECT_EQ(f.W.Clock.Now(), 100ms);
    EXPECT_EQ(f.W.Log.Lines, TLines{"      Подключение к порту COM5 выполнено."});
    EXPECT_EQ(f.W.Serial.OpenHandles(), 0u);
}

TEST(ProbePort, ReplyStillGrowingAtTheTwelfthPoll) {
    TProbeFixture f;
    TFakePort& port = f.W.Serial.Port("COM5");
    // One byte every 100 ms from 50 ms on: the count changes at every poll.
    port.OnByte = [](TFakePort& self, std::uint8_t byte, std::chrono::milliseconds now) {
        if (byte == 'v') {
            self.Send(now + 50ms, IdentificationText(), 1, 100ms);
        }
    };
    EXPECT_EQ(f.Form.ProbePort("COM5").Result, TProbeResult::NoReply);
    EXPECT_EQ(f.W.Clock.Now(), 1200ms);
    EXPECT_EQ(f.W.Serial.OpenHandles(), 0u);
}

TEST(ProbePort, ReplySettlingAtTheTwelfthPollIsRead) {
    TProbeFixture f;
    TFakePort& port = f.W.Serial.Port("COM5");
    // Eleven pieces 100 ms apart from 50 ms: the last arrives at 1050 ms, the 11th
    // poll sees it all and the 12th, at 1200 ms, finds the count unchanged.
    std::string text = IdentificationText();
    text += std::string(108 - text.size(), 'x') + "\r\n";
    port.OnByte = [&](TFakePort& self, std::uint8_t byte, std::chrono::milliseconds now) {
        if (byte == 'v') {
            self.Send(now + 50ms, text, 10, 100ms);
        }
    };
    EXPECT_EQ(f.Form.ProbePort("COM5").Result, TProbeResult::Found);
    EXPECT_EQ(f.W.Clock.Now(), 1200ms);
}

TEST(ProbePort, PortThatDoesNotOpen) {
    TProbeFixture f;
    EXPECT_EQ(f.Form.ProbePort("COM9").Result, TProbeResult::NotOpened);
    EXPECT_EQ(
        f.W.Log.Lines,
        TLines{"      Ошибка! Невозможно подключиться к порту COM9 с требуемыми параметрами"});
    EXPECT_EQ(f.W.Clock.Now(), 5000ms);
    EXPECT_TRUE(f.Window.Captions.empty());
}

TEST(ProbePort, UnconfigurablePortStaysOpenUntilTheNextProbe) {
    TProbeFixture f;
    f.W.Serial.Port("COM3").RejectSettings = true;
    AnswerIdentification(f.W.Serial.Port("COM5"), IdentificationText());
    EXPECT_EQ(f.Form.ProbePort("COM3").Result, TProbeResult::NotOpened);
    EXPECT_NE(f.Form.PortHandle, kInvalidPortHandle);
    EXPECT_EQ(f.Form.ProbePort("COM5").Result, TProbeResult::Found);
    EXPECT_EQ(f.W.Serial.OpenHandles(), 0u);
}

TEST(ProbePort, ModelWordMustStandAloneAndMatchCase) {
    for (const std::string model : {"Zorvi-41K6UV,", "zorvi-41k6uv", "XZorvi-41K6UV", "Zorvi"}) {
        TProbeFixture f;
        AnswerIdentification(f.W.Serial.Port("COM5"), IdentificationText(model));
        EXPECT_EQ(f.Form.ProbePort("COM5").Result, TProbeResult::ForeignDevice) << model;
        ASSERT_EQ(f.W.Log.Lines.size(), 3u);
        EXPECT_EQ(f.W.Log.Lines[1],
                  " Прибор обнаружен, но это- не прибор из списка:\r\nZorvi-41K6UV!");
        // The whole reply, in Russian letters again, with a line end.
        EXPECT_EQ(f.W.Log.Lines[2],
                  "Обнаружен:ЗОРВИ прибор\r\n" + model +
                      "\r\nSoftware version: 1V4\r\nDate: 12.03.2019\r\nГотов\r\n\r\n");
        EXPECT_EQ(f.W.Serial.OpenHandles(), 0u);
    }
}

TEST(ProbePort, ModelWordDelimitedByBlanksTabsOrTextEnds) {
    for (const std::string reply : {"Zorvi-41K6UV Software version: 1V5\r\nDate: x\r\n",
                                    "id:\tZorvi-41K6UV\tSoftware version: 1V5\r\nDate: x\r\n",
                                    "Software version: 1V5\r\nDate: x\r\n Zorvi-41K6UV"}) {
        TProbeFixture f;
        AnswerIdentification(f.W.Serial.Port("COM5"), reply);
        EXPECT_EQ(f.Form.ProbePort("COM5").Result, TProbeResult::Found) << reply;
        EXPECT_EQ(f.Form.DeviceVersion, "1V5");
    }
}

TEST(ProbePort, ZeroByteSeparatesWordsInsteadOfEndingTheSearch) {
    using namespace std::string_literals;
    for (const std::string& reply :
         {"Zorvi-41K6UV\r\n\0Software version: 1V5\r\nDate: d\r\n"s,
          "Software version: 1V5\r\nDate: d\r\n\0Zorvi-41K6UV\r\n"s,
          "\0\0\x93\0Zorvi-41K6UV\0Software version: 1V5\r\nDate: d\r\n"s}) {
        TProbeFixture f;
        AnswerIdentification(f.W.Serial.Port("COM5"), reply);
        EXPECT_EQ(f.Form.ProbePort("COM5").Result, TProbeResult::Found);
        EXPECT_EQ(f.Form.DeviceVersion, "1V5");
    }
    // A zero inside the word still splits it.
    TProbeFixture g;
    AnswerIdentification(g.W.Serial.Port("COM5"),
                         "Zorvi-41\0K6UV\r\nSoftware version: 1V5\r\nDate: d\r\n"s);
    EXPECT_EQ(g.Form.ProbePort("COM5").Result, TProbeResult::ForeignDevice);
}

TEST(ProbePort, MissingMarkerGivesMinusOneWithoutALine) {
    TProbeFixture f;
    AnswerIdentification(f.W.Serial.Port("COM5"), "Zorvi-41K6UV\r\nSoftware version: 1V5\r\n");
    EXPECT_EQ(f.Form.ProbePort("COM5").Result, TProbeResult::NoMarkers);
    EXPECT_EQ(f.W.Log.Lines, (TLines{"      Подключение к порту COM5 выполнено.",
                                     " Прибор обнаружен, Модель:Zorvi-41K6UV\r\n"}));
    EXPECT_EQ(f.W.Serial.OpenHandles(), 0u);
}

TEST(ProbePort, VersionWithoutTheBlankIsUnknownButFound) {
    TProbeFixture f;
    f.Form.DeviceVersion = "1V3";
    AnswerIdentification(f.W.Serial.Port("COM5"),
                         "Zorvi-41K6UV\r\nSoftware version:1V5\r\nDate: 01.01.2020\r\n");
    const TProbeFinding finding = f.Form.ProbePort("COM5");
    EXPECT_EQ(finding.Result, TProbeResult::Found);
    EXPECT_FALSE(finding.VersionRead);
    EXPECT_EQ(f.W.Log.Lines.back(), "      Текущая версия прибора: неизвестна");
    EXPECT_EQ(f.Form.DeviceVersion, "1V3"); // never emptied
}

TEST(ProbePort, DateBeforeTheVersionIsUnknownButTheVersionIsSet) {
    TProbeFixture f;
    AnswerIdentification(f.W.Serial.Port("COM5"),
                         "Zorvi-41K6UV\r\nDate: 01.01.2020\r\nSoftware version: 1V6\r\n");
    EXPECT_EQ(f.Form.ProbePort("COM5").Result, TProbeResult::Found);
    EXPECT_EQ(f.W.Log.Lines.back(), "      Текущая версия прибора: неизвестна");
    EXPECT_EQ(f.Form.DeviceVersion, "1V6");
}

TEST(ProbePort, VersionAndDateInCyrillicAreConvertedFromCodePage1251) {
    TProbeFixture f;
    AnswerIdentification(f.W.Serial.Port("COM5"),
                         IdentificationText("Zorvi-41K6UV", "1В5", "5 мая 2021"));
    EXPECT_EQ(f.Form.ProbePort("COM5").Result, TProbeResult::Found);
    EXPECT_EQ(f.Form.DeviceVersion, "1В5"); // Cyrillic В: not the target version
    EXPECT_EQ(f.W.Log.Lines.back(), "      Текущая версия прибора: 1В5 от 5 мая 2021");
}

TEST(ProbePort, OnlyTheFirst4098BytesAreTaken) {
    TProbeFixture f;
    // The markers lie beyond the cut: the model is found, the markers are not.
    const std::string reply = "Zorvi-41K6UV\r\n" + std::string(4082, 'x') + "\r\n" +
                              "Software version: 1V5\r\nDate: d\r\n";
    TFakePort& port = f.W.Serial.Port("COM5");
    AnswerIdentification(port, reply);
    EXPECT_EQ(f.Form.ProbePort("COM5").Result, TProbeResult::NoMarkers);
    EXPECT_EQ(f.Form.Reply.size(), 4098u);
    EXPECT_EQ(f.Form.Reply.substr(4096), "\r\n");
    // The rest went with the port.
    EXPECT_TRUE(port.Input.empty());
}

TEST(ProbePort, EachProbeJudgesOnlyItsOwnPortsReply) {
    using namespace std::string_literals;
    // What a foreign device on a port probed first sent, and what the instrument on
    // the next port is then taken for: found, with its own version, whatever came
    // before it.
    const std::string instrument = IdentificationText("Zorvi-41K6UV", "1V4", "12.03.2019");
    for (const std::string& foreign :
         {"\x01\xFE\0\x7F\x80garbage\0"s, // binary bytes with zeros
          "\"unterminated quote\r\n"s,    // a quote that would run to the end
          "Model X\r\nSoftware version: 9V9\r\nDate: 01.01.2000\r\n"s}) {
        TProbeFixture f;
        AnswerIdentification(f.W.Serial.Port("COM3"), foreign);
        AnswerIdentification(f.W.Serial.Port("COM5"), instrument);
        EXPECT_EQ(f.Form.ProbePort("COM3").Result, TProbeResult::ForeignDevice);
        const TProbeFinding finding = f.Form.ProbePort("COM5");
        EXPECT_EQ(finding.Result, TProbeResult::Found) << foreign;
        EXPECT_TRUE(finding.VersionRead);
        EXPECT_EQ(f.Form.DeviceVersion, "1V4") << foreign;
        EXPECT_EQ(f.W.Log.Lines.back(), "      Текущая версия прибора: 1V4 от 12.03.2019");
    }

    // The foreign-device line shows that device's bytes alone.
    TProbeFixture f;
    AnswerIdentification(f.W.Serial.Port("COM3"), "FOREIGN-1 hello\r\n");
    AnswerIdentification(f.W.Serial.Port("COM4"), "OTHER-2\r\n");
    EXPECT_EQ(f.Form.ProbePort("COM3").Result, TProbeResult::ForeignDevice);
    EXPECT_EQ(f.Form.ProbePort("COM4").Result, TProbeResult::ForeignDevice);
    EXPECT_EQ(f.W.Log.Lines.back(), "Обнаружен:OTHER-2\r\n\r\n");

    // A model word from one port and the markers from another are no instrument; nor
    // is a device probed after an instrument whose version could not be read.
    AnswerIdentification(f.W.Serial.Port("COM5"), "Zorvi-41K6UV\r\n");
    AnswerIdentification(f.W.Serial.Port("COM6"), "Software version: 2V0\r\nDate: q\r\n");
    EXPECT_EQ(f.Form.ProbePort("COM5").Result, TProbeResult::NoMarkers);
    EXPECT_EQ(f.Form.ProbePort("COM6").Result, TProbeResult::ForeignDevice);
    AnswerIdentification(f.W.Serial.Port("COM7"),
                         "Zorvi-41K6UV\r\nSoftware version:1V5\r\nDate: d\r\n");
    AnswerIdentification(f.W.Serial.Port("COM8"), "anything\r\n");
    EXPECT_EQ(f.Form.ProbePort("COM7").Result, TProbeResult::Found);
    EXPECT_EQ(f.Form.ProbePort("COM8").Result, TProbeResult::ForeignDevice);
}

TEST(ProbePort, ShortReadTakesNothingAndNothingFromBefore) {
    TProbeFixture f;
    TFakePort& port = f.W.Serial.Port("COM5");
    AnswerIdentification(port, IdentificationText());
    port.ReadLimit = 4;
    f.Form.Reply = "Zorvi-41K6UV Software version: 1V1\r\nDate: a\r\n";
    EXPECT_EQ(f.Form.ProbePort("COM5").Result, TProbeResult::ForeignDevice);
    EXPECT_EQ(f.Form.DeviceVersion, "");
    EXPECT_EQ(f.Form.Reply, "");
}

} // namespace
} // namespace zorvi::test
