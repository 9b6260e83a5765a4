#include "device/PortDiscovery.h"

namespace zorvi {
namespace {

// Only a to z change: a device name is not Russian text, and bytes of other
// characters must not be touched.
std::string AsciiUpperCase(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

} // namespace

void ListDevicePorts(TSerialPortRegistry& registry, std::vector<std::string>& ports) {
    std::vector<TSerialCommValue> values;
    if (!registry.ReadSerialComm(values)) {
        return;
    }
    ports.clear();
    for (const auto& value : values) {
        // The test is on the device name; the data is only the name shown to people.
        if (AsciiUpperCase(value.Name).find(kBridgeDriverMark) == std::string::npos) {
            continue;
        }
        if (value.IsText) {
            ports.push_back(value.Data);
        }
    }
}

} // namespace zorvi
