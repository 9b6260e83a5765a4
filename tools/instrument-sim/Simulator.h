// The simulator's main loop: reads what the program writes, hands it to the
// current mode, sends queued replies on time, follows the control file, and ends
// at the time limit or on "quit".
#pragma once

#include "Control.h"
#include "Mode.h"

#include <atomic>
#include <map>

namespace zorvi::sim {

class TSimulator {
public:
    TSimulator(TInstrumentOptions& options, TPseudoTerminal& line, TSimLog& log);

    /// Runs until the time limit, "quit", or `stop` turns true (set by a signal).
    /// Returns the process exit status.
    int Run(const std::atomic<bool>& stop);

    /// Carries out one control command; false when it was not understood.
    bool Command(const std::string& line);

private:
    bool SwitchMode(const std::string& name);

    TInstrumentOptions& Options;
    TSimContext Context;
    TControlChannel Control;
    std::map<std::string, TModeFactory> Modes;
    std::unique_ptr<TSimMode> Current;
    std::string CurrentName;
    bool Quit = false;
};

} // namespace zorvi::sim
