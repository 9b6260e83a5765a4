#include "tools/flash-tool/win/Win32SerialLink.h"

#include <windows.h>

namespace zorvi {
namespace {

// Pause between looks at the port while a read waits for its first byte.
constexpr DWORD kPollIntervalMs = 1;

// A write that has not gone out after this long means the line is stuck.
constexpr DWORD kWriteTimeoutMs = 5000;

std::string SystemMessage(const char* step, DWORD code) {
    return std::string(step) + " failed (Windows error " + std::to_string(code) + ")";
}

} // namespace

TWin32SerialLink::~TWin32SerialLink() {
    if (handle_ != nullptr) {
        CloseHandle(handle_);
    }
}

bool TWin32SerialLink::Open(int comPort, std::uint32_t baudRate, std::string& error) {
    // 1. The device name; "\\.\" makes COM10 and above reachable too.
    const std::wstring name = L"\\\\.\\COM" + std::to_wstring(comPort);
    HANDLE handle = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = SystemMessage("opening the port", GetLastError());
        return false;
    }
    // 2. The line: 8N1, binary, no flow control, DTR and RTS on.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle, &dcb)) {
        error = SystemMessage("reading the port settings", GetLastError());
        CloseHandle(handle);
        return false;
    }
    dcb.BaudRate = baudRate;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    if (!SetCommState(handle, &dcb)) {
        error = SystemMessage("setting the line", GetLastError());
        CloseHandle(handle);
        return false;
    }
    // 3. Reads return at once with what has arrived (the waiting is done in Read);
    //    writes give up after kWriteTimeoutMs.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.WriteTotalTimeoutConstant = kWriteTimeoutMs;
    if (!SetCommTimeouts(handle, &timeouts)) {
        error = SystemMessage("setting the time-outs", GetLastError());
        CloseHandle(handle);
        return false;
    }
    PurgeComm(handle, PURGE_RXCLEAR | PURGE_TXCLEAR);
    handle_ = handle;
    return true;
}

bool TWin32SerialLink::Write(const char* bytes, std::uint32_t count) {
    while (count > 0) {
        DWORD written = 0;
        if (!WriteFile(handle_, bytes, count, &written, nullptr) || written == 0) {
            return false;
        }
        bytes += written;
        count -= written;
    }
    return true;
}

std::int32_t TWin32SerialLink::Read(char* buffer, std::uint32_t capacity, std::uint32_t timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (true) {
        DWORD got = 0;
        if (!ReadFile(handle_, buffer, capacity, &got, nullptr)) {
            return -1;
        }
        if (got > 0) {
            return static_cast<std::int32_t>(got);
        }
        if (GetTickCount64() >= deadline) {
            return 0;
        }
        Sleep(kPollIntervalMs);
    }
}

void TWin32SerialLink::DiscardInput() {
    PurgeComm(handle_, PURGE_RXCLEAR);
}

} // namespace zorvi
