// The recalibration exchange that follows a successful update: start command, start
// text, calibration command, a fifteen-second countdown in the log, closing command,
// and a last identification query that confirms the instrument is still there.
#pragma once

#include "device/DeviceLink.h"

#include <string>

namespace zorvi {

/// Runs the exchange with the instrument on `devicePort`, logging every step. True
/// when the countdown ran through all fifteen cycles with every serial call working
/// and the instrument answered its identification query after the closing command.
/// Takes about 17.5 s, and up to 1.2 s more for the confirmation.
bool RunRecalibration(TDeviceLink& link, const std::string& devicePort);

} // namespace zorvi
