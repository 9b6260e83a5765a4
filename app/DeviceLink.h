// What the update workflow needs of the instrument: finding it through the connect
// dialog and running its recalibration. The device link implements both; tests
// script them.
#pragma once

#include <string>

namespace zorvi {

/// The connect dialog as the workflow sees it.
class TDeviceConnection {
public:
    virtual ~TDeviceConnection() = default;
    /// Shows the dialog modally until exactly one instrument answers (true) or the
    /// operator aborts it (false).
    virtual bool WaitForDevice() = 0;
    /// Port where the instrument answered in the last successful wait, such as COM5.
    virtual std::string DevicePort() const = 0;
    /// Software version the instrument reported, as last extracted (never emptied).
    virtual std::string DeviceVersion() const = 0;
    /// Whether the last successful wait read DeviceVersion from the instrument's own
    /// answer; false when that answer carried no readable version, so DeviceVersion
    /// still holds what an earlier wait left.
    virtual bool DeviceVersionRead() const = 0;
};

/// The serial recalibration exchange with the instrument at DevicePort.
class TRecalibration {
public:
    virtual ~TRecalibration() = default;
    /// True when the countdown ran through; the exchange logs its own lines.
    virtual bool RunRecalibration() = 0;
};

} // namespace zorvi
