// The instrument running its normal firmware: identification and calibration.
#include "InstrumentMode.h"
#include "Calibration.h"
#include "Identification.h"

namespace zorvi::sim {
namespace {

class TInstrumentMode final : public TSimMode {
public:
    void OnByte(std::uint8_t byte, TSimContext& context) override {
        Identification.OnByte(byte, context);
        Calibration.OnByte(byte, context);
    }
    void OnTick(TSimClock::time_point now, TSimContext& context) override {
        Calibration.OnTick(now, context);
    }

private:
    TIdentificationRole Identification;
    TCalibrationRole Calibration;
};

} // namespace

std::unique_ptr<TSimMode> MakeInstrumentMode() {
    return std::make_unique<TInstrumentMode>();
}

} // namespace zorvi::sim
