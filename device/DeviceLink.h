// The services every part of the device link works through.
#pragma once

#include "common/Clock.h"
#include "common/ProgressLog.h"
#include "device/SerialPort.h"

namespace zorvi {

struct TDeviceLink {
    TSerialApi& Serial;
    TClock& Clock;
    TMessagePump& Pump;
    TProgressLog& Log;
};

/// Sleeps, then lets the window handle what is pending: the form of every wait of
/// the serial polls, so the window stays responsive while the instrument answers.
void WaitAndProcessMessages(TDeviceLink& link, std::chrono::milliseconds duration);

} // namespace zorvi
