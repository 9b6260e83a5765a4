#include "device/DeviceLink.h"

namespace zorvi {

void WaitAndProcessMessages(TDeviceLink& link, std::chrono::milliseconds duration) {
    link.Clock.Sleep(duration);
    link.Pump.ProcessMessages();
}

} // namespace zorvi
