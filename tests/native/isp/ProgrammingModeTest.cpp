// The simulator's programming mode on a real pseudo-terminal: the flashing tool's
// protocol code on the slave side, the mode behind the master, as FM.EXE and the
// simulated instrument meet under Wine.
#include "tools/instrument-sim/isp/ProgrammingMode.h"
#include "tools/flash-tool/core/FlashImage.h"
#include "tools/flash-tool/core/IntelHex.h"
#include "tools/flash-tool/core/IspHost.h"
#include "tools/flash-tool/core/IspLink.h"

#include "Options.h"
#include "Pty.h"
#include "SimLog.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace zorvi::sim {
namespace {

TFlashImage FirmwareImage() {
    std::ifstream in(ISP_FIRMWARE_HEX, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    THexImage hex;
    TFlashImage image;
    std::string error;
    EXPECT_TRUE(ParseIntelHex(text.str(), hex, error)) << error;
    EXPECT_TRUE(BuildFlashImage(hex, image, error)) << error;
    return image;
}

// The program's end of the line: the slave opened raw, as a serial port. What it
// writes is handed to the mode as the simulator's loop would; what the mode queues
// is pumped out to be read here.
class TSlaveLink final : public TIspLink {
public:
    TSlaveLink(TSimMode& mode, TSimContext& context) : Mode(mode), Context(context) {
        Fd = open(context.Line.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios raw{};
        tcgetattr(Fd, &raw);
        cfmakeraw(&raw);
        tcsetattr(Fd, TCSANOW, &raw);
    }
    ~TSlaveLink() override { close(Fd); }

    bool Write(std::string_view bytes) override {
        if (write(Fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
            return false;
        }
        std::string input;
        while (input.size() < bytes.size()) { // the master sees what the slave wrote
            pollfd master{Context.Line.MasterFd(), POLLIN, 0};
            poll(&master, 1, 100);
            if (!Context.Line.ReadInput(input)) {
                return false;
            }
        }
        for (const char c : input) {
            Mode.OnByte(static_cast<std::uint8_t>(c), Context);
        }
        return true;
    }

    bool Read(std::string& bytes, std::chrono::milliseconds timeout) override {
        const auto deadline = TSimClock::now() + timeout;
        do {
            Context.Line.Pump(TSimClock::now());
            pollfd slave{Fd, POLLIN, 0};
            poll(&slave, 1, 2);
            char buffer[512];
            const ssize_t count = read(Fd, buffer, sizeof buffer);
            if (count > 0) {
                bytes.append(buffer, static_cast<std::size_t>(count));
                return true;
            }
        } while (TSimClock::now() < deadline);
        return true;
    }

    void DiscardInput() override { tcflush(Fd, TCIFLUSH); }

private:
    TSimMode& Mode;
    TSimContext& Context;
    int Fd = -1;
};

struct TSimulatedInstrument {
    TInstrumentOptions options;
    TPseudoTerminal line;
    TSimLog log{::testing::TempDir() + "programming-mode.log"};
    TSimContext context{options, line, log};
    std::shared_ptr<TIspBootLoader> chip = std::make_shared<TIspBootLoader>();
};

TEST(ProgrammingMode, FlashedFirmwareIdentifiesWithItsVersion) {
    TSimulatedInstrument instrument;
    auto mode = MakeProgrammingMode(instrument.chip);
    mode->Enter(instrument.context);
    TSlaveLink link(*mode, instrument.context);
    std::string error;
    ASSERT_TRUE(ProgramFlash(
        link, FirmwareImage(), 14318, [](const std::string&) {}, error))
        << error;
    EXPECT_EQ(instrument.options.Version, "1V5");
    EXPECT_EQ(instrument.options.Date, "07.09.2015");

    // The program now runs: it answers the identification query, no longer "?".
    std::string reply;
    ASSERT_TRUE(link.Write("qv"));
    for (int i = 0; i < 20 && reply.find("Date: 07.09.2015\r\n") == std::string::npos; ++i) {
        link.Read(reply, std::chrono::milliseconds(50));
    }
    EXPECT_NE(reply.find("Zorvi-41K6UV\r\nSoftware version: 1V5\r\nDate: 07.09.2015\r\n"),
              std::string::npos)
        << reply;
}

TEST(ProgrammingMode, KeepsTheFlashWhenEnteredAgain) {
    TSimulatedInstrument instrument;
    {
        auto mode = MakeProgrammingMode(instrument.chip);
        mode->Enter(instrument.context);
        TSlaveLink link(*mode, instrument.context);
        std::string error;
        ASSERT_TRUE(ProgramFlash(
            link, FirmwareImage(), 14318, [](const std::string&) {}, error));
    }
    instrument.options.Version = "1V4"; // as if told so; the flash says otherwise
    auto again = MakeProgrammingMode(instrument.chip);
    again->Enter(instrument.context);
    EXPECT_EQ(instrument.chip->State(), TIspBootLoader::TState::AwaitingSync) << "reset on entry";
    again.reset(); // the operator resets the instrument into normal operation
    EXPECT_EQ(instrument.options.Version, "1V5");
}

TEST(ProgrammingMode, IncompleteFlashingLeavesTheReportedVersionAlone) {
    TSimulatedInstrument instrument;
    {
        auto mode = MakeProgrammingMode(instrument.chip);
        mode->Enter(instrument.context);
        TSlaveLink link(*mode, instrument.context);
        TIspHost host(link);
        ASSERT_TRUE(host.Synchronise(14318) && host.SetEcho(false) && host.Unlock() &&
                    host.Prepare(0, 9) && host.Erase(0, 9))
            << host.LastError();
    }
    EXPECT_EQ(instrument.options.Version, "1V4");
}

TEST(ProgrammingMode, SilentInstrumentAnswersNothing) {
    TSimulatedInstrument instrument;
    instrument.options.Silent = true; // unplugged
    auto mode = MakeProgrammingMode(instrument.chip);
    mode->Enter(instrument.context);
    TSlaveLink link(*mode, instrument.context);
    TIspTimeouts quick;
    quick.syncWait = std::chrono::milliseconds(20);
    TIspHost host(link, quick);
    EXPECT_FALSE(host.Synchronise(14318));
    EXPECT_EQ(instrument.chip->State(), TIspBootLoader::TState::AwaitingSync);
}

} // namespace
} // namespace zorvi::sim
