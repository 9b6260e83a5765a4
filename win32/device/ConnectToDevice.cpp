#include "win32/device/ConnectToDevice.h"

namespace zorvi {

TConnectToDevice::TConnectToDevice(HWND mainWindow, TWin32MessagePump& pump, TClock& clock,
                                   TProgressLog& log)
    : Link_{Serial_, clock, pump, log}, Form_(Link_, Registry_), Window_(mainWindow, pump, Form_) {
    Form_.AttachWindow(Window_);
}

} // namespace zorvi
