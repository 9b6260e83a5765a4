// The instrument's identification: "q" followed by "v" makes it send its model word,
// software version and date as CR LF lines of code page 1251 text.
#pragma once

#include "Mode.h"

namespace zorvi::sim {

/// The identification text for the options (code page 1251 bytes).
std::string IdentificationReply(const TInstrumentOptions& options);

class TIdentificationRole {
public:
    void OnByte(std::uint8_t byte, TSimContext& context);

private:
    std::uint8_t Previous = 0;
};

} // namespace zorvi::sim
