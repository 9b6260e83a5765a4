// The byte stream between the flashing tool and the boot loader, as the protocol
// code sees it: a serial port on Windows, an in-memory boot loader in the tests.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace zorvi {

class TIspLink {
public:
    virtual ~TIspLink() = default;
    /// Sends all bytes; false when the link failed.
    virtual bool Write(std::string_view bytes) = 0;
    /// Appends to `bytes` what arrives, returning as soon as something did or when
    /// the time-out ran out with nothing; false when the link failed.
    virtual bool Read(std::string& bytes, std::chrono::milliseconds timeout) = 0;
    /// Drops whatever has arrived and not been read.
    virtual void DiscardInput() = 0;
};

} // namespace zorvi
