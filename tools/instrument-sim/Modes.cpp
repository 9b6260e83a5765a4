// The modes the simulator can be switched to ("--mode NAME", control "mode NAME").
#include "InstrumentMode.h"
#include "Mode.h"
#include "tools/instrument-sim/isp/ProgrammingMode.h"

namespace zorvi::sim {

std::vector<TModeEntry> KnownModes() {
    return {
        {"instrument", MakeInstrumentMode},
        // One chip for the simulator's life: the flash keeps what was written.
        {"programming",
         [chip = std::make_shared<TIspBootLoader>()] { return MakeProgrammingMode(chip); }},
    };
}

} // namespace zorvi::sim
