// The modes the simulator can be switched to ("--mode NAME", control "mode NAME").
#include "InstrumentMode.h"
#include "Mode.h"

namespace zorvi::sim {

std::vector<TModeEntry> KnownModes() {
    return {
        {"instrument", MakeInstrumentMode},
    };
}

} // namespace zorvi::sim
