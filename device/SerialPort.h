// The serial port of the USB-to-UART bridge as the device link sees it: the line
// settings record, the platform's serial calls behind one small interface, and the
// opening and closing of a port in the mode where a read never waits.
#pragma once

#include "common/Clock.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace zorvi {

/// A platform file handle of an open port; kInvalidPortHandle when none is open.
using TPortHandle = std::intptr_t;
/// INVALID_HANDLE_VALUE: all bits set, -1 as a signed number.
inline constexpr TPortHandle kInvalidPortHandle = -1;

/// Line settings of one port. The codes go to the platform unchanged.
struct TMyComPortParams {
    std::string PortName;       ///< as the registry lists it, e.g. COM3 (UTF-8)
    std::uint32_t BaudRate = 0; ///< bits per second
    std::uint8_t ByteSize = 0;  ///< data bits per character
    std::uint8_t Parity = 0;    ///< 0 none, 1 odd, 2 even, 3 mark, 4 space
    std::uint8_t StopBits = 0;  ///< 0 one, 1 one and a half, 2 two
};

/// The instrument's line: 921600 bits per second, 8 data bits, no parity, one stop bit.
TMyComPortParams DeviceLineParams(const std::string& portName);

/// Every field of the platform's device control block (DCB), so that a
/// read-modify-write changes only the four line settings and hands the driver back
/// everything else (flow control, DTR/RTS, XON/XOFF) exactly as it reported it.
struct TCommState {
    std::uint32_t BaudRate = 0;
    /// The DCB's thirteen bit fields, bit 0 first: fBinary, fParity, fOutxCtsFlow,
    /// fOutxDsrFlow, fDtrControl (2 bits), fDsrSensitivity, fTXContinueOnXoff, fOutX,
    /// fInX, fErrorChar, fNull, fRtsControl (2 bits), fAbortOnError, fDummy2 (17 bits).
    std::uint32_t Flags = 0;
    std::uint16_t XonLim = 0;
    std::uint16_t XoffLim = 0;
    std::uint8_t ByteSize = 0;
    std::uint8_t Parity = 0;
    std::uint8_t StopBits = 0;
    char XonChar = 0;
    char XoffChar = 0;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;
    bool operator==(const TCommState&) const = default;
};

/// The platform's COMMTIMEOUTS, all in milliseconds.
struct TCommTimeouts {
    std::uint32_t ReadIntervalTimeout = 0;
    std::uint32_t ReadTotalTimeoutMultiplier = 0;
    std::uint32_t ReadTotalTimeoutConstant = 0;
    std::uint32_t WriteTotalTimeoutMultiplier = 0;
    std::uint32_t WriteTotalTimeoutConstant = 0;
    bool operator==(const TCommTimeouts&) const = default;
};

/// MAXDWORD as a read interval with zero totals: ReadFile returns at once with what
/// is already queued.
inline constexpr std::uint32_t kReadIntervalReturnAtOnce = 0xFFFFFFFFu;

// PurgeComm flags.
inline constexpr std::uint32_t kPurgeTxAbort = 0x0001; ///< end pending writes
inline constexpr std::uint32_t kPurgeRxAbort = 0x0002; ///< end pending reads
inline constexpr std::uint32_t kPurgeTxClear = 0x0004; ///< empty the output buffer
inline constexpr std::uint32_t kPurgeRxClear = 0x0008; ///< empty the input buffer
/// Both buffers emptied (12): what an open does so nothing older is read later.
inline constexpr std::uint32_t kPurgeClearBoth = kPurgeTxClear | kPurgeRxClear;
/// All four flags (15): what the recalibration does before each command.
inline constexpr std::uint32_t kPurgeAll = kPurgeTxAbort | kPurgeRxAbort | kPurgeClearBoth;

/// The platform's serial calls on a handle. Each returns whether the call succeeded.
class TSerialApi {
public:
    virtual ~TSerialApi() = default;
    /// Opens a device path such as \\.\COM3 exclusively for synchronous reading and
    /// writing; kInvalidPortHandle when it cannot be opened.
    virtual TPortHandle Open(const std::string& devicePath) = 0;
    virtual bool GetCommState(TPortHandle port, TCommState& state) = 0;
    virtual bool SetCommState(TPortHandle port, const TCommState& state) = 0;
    virtual bool GetCommTimeouts(TPortHandle port, TCommTimeouts& timeouts) = 0;
    virtual bool SetCommTimeouts(TPortHandle port, const TCommTimeouts& timeouts) = 0;
    virtual bool Purge(TPortHandle port, std::uint32_t flags) = 0;
    virtual bool Write(TPortHandle port, const std::uint8_t* data, std::size_t size,
                       std::size_t& written) = 0;
    /// Hands everything written to the device (FlushFileBuffers).
    virtual bool Flush(TPortHandle port) = 0;
    /// The count of bytes waiting in the input queue (ClearCommError).
    virtual bool BytesWaiting(TPortHandle port, std::uint32_t& count) = 0;
    virtual bool Read(TPortHandle port, std::uint8_t* data, std::size_t size,
                      std::size_t& read) = 0;
    virtual bool Close(TPortHandle port) = 0;
};

/// Attempts to open a port before giving up; each failed one costs kOpenRetryPause.
inline constexpr int kOpenAttempts = 5;
inline constexpr std::chrono::milliseconds kOpenRetryPause{1000};

/// Opens and configures the port of `params` into `port` (closing what it held
/// first). True when open and fully configured; on a configuration failure the
/// handle stays open in `port` for the caller to close. `pump`, when given,
/// processes the window's messages after each pause between attempts.
bool OpenPort(TSerialApi& serial, TClock& clock, const TMyComPortParams& params, TPortHandle& port,
              TMessagePump* pump = nullptr);

/// Closes `port`; it is invalid afterwards in every case. True when the platform
/// reported success.
bool ClosePort(TSerialApi& serial, TPortHandle& port);

} // namespace zorvi
