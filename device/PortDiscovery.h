// Finding the serial ports of the USB-to-UART bridge in the platform's registry list
// of serial ports (HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM).
#pragma once

#include <string>
#include <vector>

namespace zorvi {

/// One value of the registry's serial-port list: the kernel device name of the port
/// and the port's name.
struct TSerialCommValue {
    std::string Name;   ///< e.g. \Device\Silabser0 (UTF-8)
    std::string Data;   ///< e.g. COM5 (UTF-8); meaningful only when IsText
    bool IsText = true; ///< false when the value holds something other than text
};

/// The registry's list of serial ports, read only.
class TSerialPortRegistry {
public:
    virtual ~TSerialPortRegistry() = default;
    /// Fills `values` in the registry's enumeration order. False when the key does
    /// not exist or cannot be opened for reading.
    virtual bool ReadSerialComm(std::vector<TSerialCommValue>& values) = 0;
};

/// The mark of the bridge's driver in a port's kernel device name (upper case).
inline constexpr const char* kBridgeDriverMark = "SILABS";

/// Replaces `ports` with the names of the bridge's ports, in registry order. When
/// the registry list cannot be read, `ports` keeps what it held. A marked value
/// whose data is not text is skipped.
void ListDevicePorts(TSerialPortRegistry& registry, std::vector<std::string>& ports);

} // namespace zorvi
