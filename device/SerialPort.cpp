#include "device/SerialPort.h"

namespace zorvi {

TMyComPortParams DeviceLineParams(const std::string& portName) {
    return TMyComPortParams{portName, 921600, 8, 0, 0};
}

bool OpenPort(TSerialApi& serial, TClock& clock, const TMyComPortParams& params, TPortHandle& port,
              TMessagePump* pump) {
    // The "\\.\" prefix reaches ports above COM9 too, which plain names do not.
    const std::string devicePath = "\\\\.\\" + params.PortName;
    if (port != kInvalidPortHandle) {
        ClosePort(serial, port);
    }

    // A bridge that was just plugged in may need a moment before it opens; the
    // pause follows every failed attempt, the last one included. A port that never
    // opens (another program holds it) costs five pauses, too long for a window
    // that handles nothing meanwhile: it would be marked as not responding.
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        port = serial.Open(devicePath);
        if (port != kInvalidPortHandle) {
            break;
        }
        clock.Sleep(kOpenRetryPause);
        if (pump != nullptr) {
            pump->ProcessMessages();
        }
    }
    if (port == kInvalidPortHandle) {
        return false;
    }

    TCommState state;
    if (!serial.GetCommState(port, state)) {
        return false;
    }
    state.BaudRate = params.BaudRate;
    state.ByteSize = params.ByteSize;
    state.Parity = params.Parity;
    state.StopBits = params.StopBits;
    if (!serial.SetCommState(port, state)) {
        return false;
    }

    TCommTimeouts timeouts;
    if (!serial.GetCommTimeouts(port, timeouts)) {
        return false;
    }
    timeouts.ReadIntervalTimeout = kReadIntervalReturnAtOnce;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    if (!serial.SetCommTimeouts(port, timeouts)) {
        return false;
    }

    return serial.Purge(port, kPurgeClearBoth);
}

bool ClosePort(TSerialApi& serial, TPortHandle& port) {
    bool closed = false;
    try {
        closed = serial.Close(port);
    } catch (...) {
        // A close that throws counts as failed; the variable is given up either way.
    }
    port = kInvalidPortHandle;
    return closed;
}

} // namespace zorvi
