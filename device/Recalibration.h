// The recalibration exchange that follows a successful update: start command, start
// text, calibration command, a fifteen-second countdown in the log, closing command.
#pragma once

#include "device/DeviceLink.h"

#include <string>

namespace zorvi {

/// Runs the exchange with the instrument on `devicePort`, logging every step. True
/// when the countdown ran through all fifteen cycles. Takes about 17.5 s.
bool RunRecalibration(TDeviceLink& link, const std::string& devicePort);

} // namespace zorvi
