// The instrument running its normal firmware.
#pragma once

#include "Mode.h"

namespace zorvi::sim {

std::unique_ptr<TSimMode> MakeInstrumentMode();

} // namespace zorvi::sim
