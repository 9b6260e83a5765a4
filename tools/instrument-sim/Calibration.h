// The instrument's calibration: "a" asks for the start text, "f" starts the
// calibration, which reports "Calc." and then its progress once a second, and "q"
// ends it.
#pragma once

#include "Mode.h"

namespace zorvi::sim {

/// The start text for the options: StartSize bytes holding "Start" (or not).
std::string CalibrationStartText(const TInstrumentOptions& options);

class TCalibrationRole {
public:
    void OnByte(std::uint8_t byte, TSimContext& context);
    void OnTick(TSimClock::time_point now, TSimContext& context);

private:
    bool Calibrating = false;
    int Percent = 0;
    TSimClock::time_point NextReport{};
};

} // namespace zorvi::sim
