// Links between the flashing tool's protocol code and the simulated boot loader,
// in memory: what the host writes goes straight into the chip, what the chip
// answers waits to be read.
#pragma once

#include "tools/flash-tool/core/IspLink.h"
#include "tools/flash-tool/dll/FlashMagicApi.h"
#include "tools/instrument-sim/isp/IspBootLoader.h"

#include <functional>
#include <string>

namespace zorvi {

class TBootLoaderLink final : public TIspLink {
public:
    explicit TBootLoaderLink(TIspBootLoader& chip) : chip_(chip) {}

    bool Write(std::string_view bytes) override;
    bool Read(std::string& bytes, std::chrono::milliseconds timeout) override;
    void DiscardInput() override { answer_.clear(); }

    /// Changes the bytes of a write on their way to the chip (line noise).
    std::function<void(std::string&)> tamper;
    /// When set, each read hands over at most this many bytes.
    std::size_t bytesPerRead = 0;
    /// Everything the host sent, in order.
    std::string sent;
    /// Reads that found nothing waiting (each would have been a time-out).
    int emptyReads = 0;

    /// The same link as the C callbacks FlashMagicARM.dll takes.
    FmLink AsFmLink();
    std::vector<std::string> progress;

private:
    TIspBootLoader& chip_;
    std::string answer_;
};

} // namespace zorvi
