// The program's connect dialog, ready to use: the dialog's logic on the Windows
// serial port and registry list, and its window, created hidden and owned by the
// main window. The start-up creates one after the main window:
//
//     TConnectToDevice connect(mainForm.Handle(), pump, clock, mainForm /* the log */);
//     ...
//     if (connect.Form().WaitForDevice()) { ... connect.Form().DevicePort ... }
//     RunRecalibration(connect.Link(), connect.Form().DevicePort);
#pragma once

#include "device/ConnectToDeviceForm.h"
#include "win32/device/ConnectDialog.h"
#include "win32/device/Win32SerialPort.h"
#include "win32/device/Win32SerialPortRegistry.h"

namespace zorvi {

class TConnectToDevice {
public:
    TConnectToDevice(HWND mainWindow, TWin32MessagePump& pump, TClock& clock, TProgressLog& log);

    TConnectToDeviceForm& Form() { return form_; }
    TConnectDialog& Window() { return window_; }
    /// The serial port, clock, pump and log the dialog uses; the recalibration
    /// exchange uses the same.
    TDeviceLink& Link() { return link_; }

private:
    TWin32SerialApi serial_;
    TWin32SerialPortRegistry registry_;
    TDeviceLink link_;
    TConnectToDeviceForm form_;
    TConnectDialog window_;
};

} // namespace zorvi
