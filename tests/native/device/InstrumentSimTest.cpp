// The simulated instrument, run in-process on a real pseudo-terminal and spoken to
// through its slave side as the program under test would.
#include "Options.h"
#include "Pty.h"
#include "SimLog.h"
#include "Simulator.h"

#include "common/CodePage.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <thread>

namespace zorvi::sim {
namespace {

using namespace std::chrono_literals;

/// A running simulator and an open slave side.
class TRunningSim {
public:
    explicit TRunningSim(std::vector<std::string> arguments = {}) {
        Folder = std::filesystem::temp_directory_path() /
                 ("zorvi-sim-test-" + std::to_string(getpid()) + "-" + std::to_string(++Serial));
        std::filesystem::create_directories(Folder);
        arguments.push_back("--control");
        arguments.push_back((Folder / "control").string());
        arguments.push_back("--log");
        arguments.push_back((Folder / "sim.log").string());
        Options = ParseCommandLine(arguments);
        Log = std::make_unique<TSimLog>(Options.LogPath);
        Simulator = std::make_unique<TSimulator>(Options, Line, *Log);
        Thread = std::thread([this] { Simulator->Run(Stop); });
        Slave = open(Line.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios raw{};
        tcgetattr(Slave, &raw);
        cfmakeraw(&raw);
        tcsetattr(Slave, TCSANOW, &raw);
    }
    ~TRunningSim() {
        Stop = true;
        Thread.join();
        close(Slave);
        std::filesystem::remove_all(Folder);
    }

    void Write(const std::string& bytes) {
        ASSERT_EQ(write(Slave, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    /// The error of a write that fails, 0 when it goes through.
    int WriteError(const std::string& bytes) {
        return write(Slave, bytes.data(), bytes.size()) < 0 ? errno : 0;
    }

    /// Everything that arrives within `period`.
    std::string ReadFor(std::chrono::milliseconds period) {
        std::string got;
        const auto end = std::chrono::steady_clock::now() + period;
        while (std::chrono::steady_clock::now() < end) {
            char buffer[4096];
            const ssize_t n = read(Slave, buffer, sizeof buffer);
            if (n > 0) {
                got.append(buffer, static_cast<std::size_t>(n));
            } else {
                std::this_thread::sleep_for(5ms);
            }
        }
        return got;
    }

    /// Appends control lines and waits until the simulator has carried them out.
    void Control(const std::vector<std::string>& lines) {
        {
            std::ofstream out(Folder / "control", std::ios::app);
            for (const auto& line : lines) {
                out << line << '\n';
            }
        }
        Sent += lines.size();
        const auto end = std::chrono::steady_clock::now() + 3s;
        std::size_t done = 0;
        while (std::chrono::steady_clock::now() < end) {
            std::ifstream(Folder / "control.ack") >> done;
            if (done >= Sent) {
                return;
            }
            std::this_thread::sleep_for(5ms);
        }
        FAIL() << "control lines not carried out";
    }

    std::string SimLog() const {
        std::ifstream in(Folder / "sim.log");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    static inline int Serial = 0;
    std::filesystem::path Folder;
    TInstrumentOptions Options;
    TPseudoTerminal Line;
    std::unique_ptr<TSimLog> Log;
    std::unique_ptr<TSimulator> Simulator;
    std::atomic<bool> Stop{false};
    std::thread Thread;
    int Slave = -1;
    std::size_t Sent = 0;
};

TEST(InstrumentSim, AnswersTheIdentificationQueryInCodePage1251) {
    TRunningSim sim({"--version", "1V3", "--date", "5 мая 2021"});
    sim.Write("qv");
    const std::string reply = sim.ReadFor(300ms);
    EXPECT_EQ(ToUtf8(reply, TCodePage::Windows1251),
              "Прибор ЗОРВИ\r\nZorvi-41K6UV\r\nSoftware version: 1V3\r\nDate: 5 мая 2021\r\n"
              "Готов к работе\r\n");
    // "v" alone, or "q" alone, asks nothing.
    sim.Write("vq");
    EXPECT_EQ(sim.ReadFor(150ms), "");
    EXPECT_NE(sim.SimLog().find("rx 'q' 0x71"), std::string::npos);
}

TEST(InstrumentSim, ControlFileChangesTheAnswer) {
    TRunningSim sim;
    sim.Control({"set version=1V5", "set missing-marker=date", "set model=Zorvi-41K6UVX"});
    sim.Write("qv");
    std::string reply = sim.ReadFor(300ms);
    EXPECT_NE(reply.find("Zorvi-41K6UVX\r\nSoftware version: 1V5\r\n"), std::string::npos);
    EXPECT_EQ(reply.find("Date:"), std::string::npos);

    sim.Control({"set foreign=1", "set flood=5000"});
    sim.Write("qv");
    reply = sim.ReadFor(400ms);
    EXPECT_EQ(reply.size(), 5000u);
    EXPECT_EQ(reply.find("Zorvi"), std::string::npos);

    sim.Control({"set foreign=0", "set flood=0", "set binary=1"});
    sim.Write("qv");
    reply = sim.ReadFor(300ms);
    ASSERT_EQ(reply.size(), 16u);
    EXPECT_EQ(reply.find('\0'), 2u);

    sim.Control({"set silent", "mode instrument"});
    sim.Write("qva");
    EXPECT_EQ(sim.ReadFor(200ms), "");
    EXPECT_EQ(sim.SimLog().find("control refused"), std::string::npos);
    sim.Control({"mode no-such-mode"});
    EXPECT_NE(sim.SimLog().find("control refused: mode no-such-mode"), std::string::npos);
}

TEST(InstrumentSim, DribbledReplyKeepsGrowing) {
    TRunningSim sim({"--dribble", "20"});
    sim.Write("qv");
    const std::size_t early = sim.ReadFor(300ms).size();
    const std::size_t later = sim.ReadFor(300ms).size();
    EXPECT_GT(early, 5u);
    EXPECT_GT(later, 5u);
}

TEST(InstrumentSim, PlaysTheCalibration) {
    TRunningSim sim({"--start-size", "120"});
    sim.Write("a");
    const std::string start = sim.ReadFor(200ms);
    EXPECT_EQ(start.size(), 120u);
    EXPECT_NE(start.find("Start"), std::string::npos);

    sim.Write("f");
    EXPECT_EQ(sim.ReadFor(400ms), "Calc.\r\n");
    EXPECT_EQ(sim.ReadFor(1000ms), "Calc. 7%\r\n");
    sim.Write("q");
    EXPECT_EQ(sim.ReadFor(1200ms), "");
    EXPECT_NE(sim.SimLog().find("calibration finished"), std::string::npos);
}

TEST(InstrumentSim, CalibrationFaults) {
    TRunningSim sim({"--no-start", "--no-calc"});
    sim.Write("a");
    EXPECT_EQ(sim.ReadFor(200ms).find("Start"), std::string::npos);
    sim.Write("f");
    const std::string progress = sim.ReadFor(1400ms);
    EXPECT_FALSE(progress.empty());
    EXPECT_EQ(progress.find("Calc."), std::string::npos);
}

TEST(InstrumentSim, UnreadableVersionThenUnplugged) {
    TRunningSim sim({"--unreadable-version"});
    sim.Write("qv");
    EXPECT_NE(sim.ReadFor(300ms).find("\r\nSoftware version:1V4\r\nDate: "), std::string::npos);
    sim.Control({"unplug"});
    // The port the program holds open sees a hung-up line.
    EXPECT_EQ(sim.WriteError("qv"), EIO);
    EXPECT_NE(sim.SimLog().find("control: unplug"), std::string::npos);
}

TEST(InstrumentSimOptions, RejectsWhatItDoesNotKnow) {
    EXPECT_THROW(ParseCommandLine({"--no-such", "1"}), std::invalid_argument);
    EXPECT_THROW(ParseCommandLine({"--flood", "lots"}), std::invalid_argument);
    EXPECT_THROW(ParseCommandLine({"--version"}), std::invalid_argument);
    EXPECT_THROW(ParseCommandLine({"--missing-marker", "model"}), std::invalid_argument);
    EXPECT_THROW(ParseCommandLine({"stray"}), std::invalid_argument);
    const auto options = ParseCommandLine({"--silent", "--flood=9000", "--time-limit", "5"});
    EXPECT_TRUE(options.Silent);
    EXPECT_EQ(options.Flood, 9000u);
    EXPECT_EQ(options.TimeLimit, 5s);
}

} // namespace
} // namespace zorvi::sim
