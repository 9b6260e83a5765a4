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

    TConnectToDeviceForm& Form() { return Form_; }
    TConnectDialog& Window() { return Window_; }
    /// The serial port, clock, pump and log the dialog uses; the recalibration
    /// exchange uses the same.
    TDeviceLink& Link() { return Link_; }

private:
    TWin32SerialApi Serial_;
    TWin32SerialPortRegistry Registry_;
    TDeviceLink Link_;
    TConnectToDeviceForm Form_;
    TConnectDialog Window_;
};

} // namespace zorvi
