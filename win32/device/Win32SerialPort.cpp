#include "win32/device/Win32SerialPort.h"

#include "win32/base/Utf16.h"

#include <windows.h>

#include <climits>
#include <cstddef>
#include <cstring>

namespace zorvi {
namespace {

// The thirteen flag bits of a DCB are one DWORD of bit fields right after BaudRate;
// they travel as that one word so every bit the driver set comes back unchanged.
constexpr std::size_t kDcbFlagsOffset = offsetof(DCB, BaudRate) + sizeof(DWORD);
static_assert(offsetof(DCB, wReserved) == kDcbFlagsOffset + sizeof(DWORD),
              "the DCB bit fields fill exactly one DWORD");

HANDLE ToHandle(TPortHandle port) {
    return reinterpret_cast<HANDLE>(port);
}

// A single transfer is at most a DWORD; the device link never asks for more than
// 10000 bytes, so the clamp only guards the interface.
DWORD ToTransferSize(std::size_t size) {
    return size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
}

} // namespace

bool TWin32SerialApi::Check(bool succeeded) {
    if (!succeeded) {
        lastError_ = GetLastError();
    }
    return succeeded;
}

TPortHandle TWin32SerialApi::Open(const std::string& devicePath) {
    const HANDLE handle =
        CreateFileW(WideFromUtf8(devicePath).c_str(), GENERIC_READ | GENERIC_WRITE,
                    0, // exclusive: no second user of the port
                    nullptr, OPEN_EXISTING,
                    0, // synchronous, no overlapped I/O
                    nullptr);
    if (!Check(handle != INVALID_HANDLE_VALUE)) {
        return kInvalidPortHandle;
    }
    return reinterpret_cast<TPortHandle>(handle);
}

bool TWin32SerialApi::GetCommState(TPortHandle port, TCommState& state) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!Check(::GetCommState(ToHandle(port), &dcb))) {
        return false;
    }
    state.BaudRate = dcb.BaudRate;
    std::memcpy(&state.Flags, reinterpret_cast<const char*>(&dcb) + kDcbFlagsOffset,
                sizeof state.Flags);
    state.XonLim = dcb.XonLim;
    state.XoffLim = dcb.XoffLim;
    state.ByteSize = dcb.ByteSize;
    state.Parity = dcb.Parity;
    state.StopBits = dcb.StopBits;
    state.XonChar = dcb.XonChar;
    state.XoffChar = dcb.XoffChar;
    state.ErrorChar = dcb.ErrorChar;
    state.EofChar = dcb.EofChar;
    state.EvtChar = dcb.EvtChar;
    return true;
}

bool TWin32SerialApi::SetCommState(TPortHandle port, const TCommState& state) {
    DCB dcb{}; // the two reserved words must be zero
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = state.BaudRate;
    std::memcpy(reinterpret_cast<char*>(&dcb) + kDcbFlagsOffset, &state.Flags, sizeof state.Flags);
    dcb.XonLim = state.XonLim;
    dcb.XoffLim = state.XoffLim;
    dcb.ByteSize = state.ByteSize;
    dcb.Parity = state.Parity;
    dcb.StopBits = state.StopBits;
    dcb.XonChar = state.XonChar;
    dcb.XoffChar = state.XoffChar;
    dcb.ErrorChar = state.ErrorChar;
    dcb.EofChar = state.EofChar;
    dcb.EvtChar = state.EvtChar;
    return Check(::SetCommState(ToHandle(port), &dcb));
}

bool TWin32SerialApi::GetCommTimeouts(TPortHandle port, TCommTimeouts& timeouts) {
    COMMTIMEOUTS t{};
    if (!Check(::GetCommTimeouts(ToHandle(port), &t))) {
        return false;
    }
    timeouts = {t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant,
                t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant};
    return true;
}

bool TWin32SerialApi::SetCommTimeouts(TPortHandle port, const TCommTimeouts& timeouts) {
    COMMTIMEOUTS t{timeouts.ReadIntervalTimeout, timeouts.ReadTotalTimeoutMultiplier,
                   timeouts.ReadTotalTimeoutConstant, timeouts.WriteTotalTimeoutMultiplier,
                   timeouts.WriteTotalTimeoutConstant};
    return Check(::SetCommTimeouts(ToHandle(port), &t));
}

bool TWin32SerialApi::Purge(TPortHandle port, std::uint32_t flags) {
    return Check(PurgeComm(ToHandle(port), flags));
}

bool TWin32SerialApi::Write(TPortHandle port, const std::uint8_t* data, std::size_t size,
                            std::size_t& written) {
    DWORD done = 0;
    const bool ok = Check(WriteFile(ToHandle(port), data, ToTransferSize(size), &done, nullptr));
    written = done;
    return ok;
}

bool TWin32SerialApi::Flush(TPortHandle port) {
    return Check(FlushFileBuffers(ToHandle(port)));
}

bool TWin32SerialApi::BytesWaiting(TPortHandle port, std::uint32_t& count) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!Check(ClearCommError(ToHandle(port), &errors, &status))) {
        count = 0;
        return false;
    }
    count = status.cbInQue;
    return true;
}

bool TWin32SerialApi::Read(TPortHandle port, std::uint8_t* data, std::size_t size,
                           std::size_t& read) {
    DWORD done = 0;
    const bool ok = Check(ReadFile(ToHandle(port), data, ToTransferSize(size), &done, nullptr));
    read = done;
    return ok;
}

bool TWin32SerialApi::Close(TPortHandle port) {
    return Check(CloseHandle(ToHandle(port)));
}

} // namespace zorvi
