#include "win32/device/ConnectToDevice.h"

namespace zorvi {

TConnectToDevice::TConnectToDevice(HWND mainWindow, TWin32MessagePump& pump, TClock& clock,
                                   TProgressLog& log)
    : link_{serial_, clock, pump, log}, form_(link_, registry_), window_(mainWindow, pump, form_) {
    form_.AttachWindow(window_);
}

} // namespace zorvi
