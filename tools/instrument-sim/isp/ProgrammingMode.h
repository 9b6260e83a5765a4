// The instrument in programming mode: the operator has reset it with the boot pin
// held, so its LPC2138 boot loader is on the line instead of the firmware. The
// flashing tool talks to the boot loader engine (IspBootLoader.h); when the tool
// starts the new program ("G"), the instrument runs the firmware it now holds and
// identifies with the version and date found in the flashed image.
#pragma once

#include "Mode.h"
#include "tools/instrument-sim/isp/IspBootLoader.h"

#include <memory>

namespace zorvi::sim {

/// A programming mode on `chip`, which outlives the mode: the simulator keeps one
/// chip, so what was flashed stays when the mode is left and entered again.
std::unique_ptr<TSimMode> MakeProgrammingMode(std::shared_ptr<TIspBootLoader> chip);

/// When the chip holds runnable firmware (valid vector checksum) with an
/// identification text, makes the options report its version and date; false,
/// leaving the options alone, otherwise.
bool AdoptFlashedFirmware(const TIspBootLoader& chip, TInstrumentOptions& options);

} // namespace zorvi::sim
