// The COM port FM.EXE talks to the boot loader through, at 8 data bits, no
// parity, one stop bit and no flow control.
#pragma once

#include <cstdint>
#include <string>

namespace zorvi {

class TWin32SerialLink {
public:
    TWin32SerialLink() = default;
    ~TWin32SerialLink();
    TWin32SerialLink(const TWin32SerialLink&) = delete;
    TWin32SerialLink& operator=(const TWin32SerialLink&) = delete;

    /// Opens \\.\COM<n> and sets the line; on failure `error` says which step failed.
    bool Open(int comPort, std::uint32_t baudRate, std::string& error);

    bool Write(const char* bytes, std::uint32_t count);
    /// Bytes placed in the buffer, as soon as any have arrived or 0 after the
    /// time-out; -1 when the port failed.
    std::int32_t Read(char* buffer, std::uint32_t capacity, std::uint32_t timeoutMs);
    void DiscardInput();

private:
    void* handle_ = nullptr; // HANDLE; this header stays free of <windows.h>
};

} // namespace zorvi
