// The pseudo-terminal the simulated instrument sits behind. The program under test
// opens the slave side as its serial port; the simulator reads and writes the master.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>

namespace zorvi::sim {

using TSimClock = std::chrono::steady_clock;

class TPseudoTerminal {
public:
    /// Opens a master/slave pair with the slave in raw mode (no echo, no line
    /// editing, no CR/LF translation). Throws std::runtime_error on failure.
    TPseudoTerminal();
    ~TPseudoTerminal();
    TPseudoTerminal(const TPseudoTerminal&) = delete;
    TPseudoTerminal& operator=(const TPseudoTerminal&) = delete;

    /// The slave's path, e.g. /dev/pts/7.
    const std::string& SlavePath() const { return Path; }
    /// Descriptor to poll for input.
    int MasterFd() const { return Master; }

    /// Appends the bytes the program wrote since the last call; false once the
    /// master reports an error other than "nothing there".
    bool ReadInput(std::string& bytes);

    /// Queues `bytes` to go out at `due`; queued output leaves in order, never
    /// before its time, and waits while the terminal's buffer is full.
    void Send(TSimClock::time_point due, std::string bytes);
    /// Writes what is due; returns how long until the next piece is due (or a
    /// default when nothing is queued).
    std::chrono::milliseconds Pump(TSimClock::time_point now);
    /// Drops every queued piece not yet written (a new command cancels old replies).
    void CancelQueued() { Queue.clear(); }
    /// The instrument is pulled out: both ends close, so the program's open port
    /// sees a hung-up line and the slave's path goes away. Nothing is sent or read
    /// afterwards.
    void HangUp();
    bool HungUp() const { return Master < 0; }
    std::size_t QueuedBytes() const;

private:
    struct TPiece {
        TSimClock::time_point Due;
        std::string Bytes;
    };
    int Master = -1;
    /// Kept open so the terminal stays up while the program under test has it closed.
    int Slave = -1;
    std::string Path;
    std::deque<TPiece> Queue;
};

} // namespace zorvi::sim
