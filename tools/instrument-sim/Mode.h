// A mode is one way of being the device on the line: the instrument's normal
// firmware (InstrumentMode.cpp) or any other a test needs. The simulator hands each
// received byte, each loop turn and each control command it does not know itself
// to the current mode. Adding a mode is a new file with a class like this and one
// line in Modes.cpp.
#pragma once

#include "Options.h"
#include "Pty.h"
#include "SimLog.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zorvi::sim {

/// What a mode works with.
struct TSimContext {
    TInstrumentOptions& Options;
    TPseudoTerminal& Line;
    TSimLog& Log;
    /// Sends bytes `delay` from now.
    void SendAfter(std::chrono::milliseconds delay, std::string bytes) const {
        Line.Send(TSimClock::now() + delay, std::move(bytes));
    }
};

class TSimMode {
public:
    virtual ~TSimMode() = default;
    /// The mode became the current one.
    virtual void Enter(TSimContext&) {}
    /// One byte the program wrote.
    virtual void OnByte(std::uint8_t byte, TSimContext& context) = 0;
    /// Called at every turn of the main loop (at least every 20 ms).
    virtual void OnTick(TSimClock::time_point, TSimContext&) {}
    /// A control command the simulator does not handle itself, split into words.
    /// True when the mode took it.
    virtual bool OnControl(const std::vector<std::string>&, TSimContext&) { return false; }
};

using TModeFactory = std::function<std::unique_ptr<TSimMode>()>;

struct TModeEntry {
    std::string Name;
    TModeFactory Make;
};

/// Every mode the simulator knows (Modes.cpp).
std::vector<TModeEntry> KnownModes();

} // namespace zorvi::sim
