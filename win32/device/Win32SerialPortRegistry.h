// The registry's list of serial ports, HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM,
// read only: one value per port, its name the kernel device name, its data the
// port's name.
#pragma once

#include "device/PortDiscovery.h"

namespace zorvi {

class TWin32SerialPortRegistry final : public TSerialPortRegistry {
public:
    bool ReadSerialComm(std::vector<TSerialCommValue>& values) override;
};

} // namespace zorvi
