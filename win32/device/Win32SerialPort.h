// The serial port on a Windows file handle: a COM port opened exclusively for
// plain synchronous I/O, configured with GetCommState/SetCommState and
// Get/SetCommTimeouts, its input queue counted with ClearCommError.
#pragma once

#include "device/SerialPort.h"

#include <cstdint>

namespace zorvi {

class TWin32SerialApi final : public TSerialApi {
public:
    TPortHandle Open(const std::string& devicePath) override;
    bool GetCommState(TPortHandle port, TCommState& state) override;
    bool SetCommState(TPortHandle port, const TCommState& state) override;
    bool GetCommTimeouts(TPortHandle port, TCommTimeouts& timeouts) override;
    bool SetCommTimeouts(TPortHandle port, const TCommTimeouts& timeouts) override;
    bool Purge(TPortHandle port, std::uint32_t flags) override;
    bool Write(TPortHandle port, const std::uint8_t* data, std::size_t size,
               std::size_t& written) override;
    bool Flush(TPortHandle port) override;
    bool BytesWaiting(TPortHandle port, std::uint32_t& count) override;
    bool Read(TPortHandle port, std::uint8_t* data, std::size_t size, std::size_t& read) override;
    bool Close(TPortHandle port) override;

    /// GetLastError of the most recent call that failed, taken on the spot.
    std::uint32_t LastError() const { return lastError_; }

private:
    bool Check(bool succeeded);
    std::uint32_t lastError_ = 0;
};

} // namespace zorvi
