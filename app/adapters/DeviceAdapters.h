// The device link's connect dialog and recalibration exchange, as the workflow's
// TDeviceConnection and TRecalibration.
#pragma once

#include "app/DeviceLink.h"
#include "device/ConnectToDeviceForm.h"
#include "device/DeviceLink.h"

namespace zorvi {

class TConnectDialogDevice final : public TDeviceConnection {
public:
    explicit TConnectDialogDevice(TConnectToDeviceForm& form) : Form(form) {}
    bool WaitForDevice() override { return Form.WaitForDevice(); }
    std::string DevicePort() const override { return Form.DevicePort; }
    std::string DeviceVersion() const override { return Form.DeviceVersion; }
    bool DeviceVersionRead() const override { return Form.DeviceVersionRead; }

private:
    TConnectToDeviceForm& Form;
};

/// Recalibrates the instrument on the port the connect dialog found last.
class TSerialRecalibration final : public TRecalibration {
public:
    TSerialRecalibration(TDeviceLink link, const TDeviceConnection& device)
        : Link(link), Device(device) {}
    bool RunRecalibration() override;

private:
    TDeviceLink Link;
    const TDeviceConnection& Device;
};

} // namespace zorvi
