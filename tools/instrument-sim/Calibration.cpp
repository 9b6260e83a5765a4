#include "Calibration.h"

namespace zorvi::sim {
namespace {

constexpr std::uint8_t kStartCommand = 'a';
constexpr std::uint8_t kCalibrateCommand = 'f';
constexpr std::uint8_t kFinishCommand = 'q';

/// "Calc." comes this soon after "f", well inside the program's first second.
constexpr std::chrono::milliseconds kCalcDelay{200};
/// Progress reports follow once a second; each repeats "Calc.", so the program still
/// sees it however its reads fall.
constexpr std::chrono::milliseconds kReportInterval{1000};
constexpr int kPercentPerReport = 7;

} // namespace

std::string CalibrationStartText(const TInstrumentOptions& o) {
    std::string text =
        o.NoStart ? "ZORVI calibration: waiting\r\n" : "ZORVI calibration: Start\r\n";
    const std::string filler = "sensor self-test passed\r\n";
    while (text.size() < o.StartSize) {
        text += filler.substr(0, std::min(filler.size(), o.StartSize - text.size()));
    }
    text.resize(o.StartSize);
    return text;
}

void TCalibrationRole::OnByte(std::uint8_t byte, TSimContext& context) {
    const auto& o = context.Options;
    if (byte == kFinishCommand && Calibrating) {
        Calibrating = false;
        context.Log.Line("calibration finished");
        return;
    }
    if (o.Silent) {
        return;
    }
    if (byte == kStartCommand) {
        const std::string text = CalibrationStartText(o);
        context.SendAfter(o.ReplyDelay, text);
        context.Log.Line("start text sent, " + std::to_string(text.size()) + " bytes");
    } else if (byte == kCalibrateCommand) {
        Calibrating = true;
        Percent = 0;
        context.SendAfter(kCalcDelay, o.NoCalc ? "Measuring\r\n" : "Calc.\r\n");
        NextReport = TSimClock::now() + kCalcDelay + kReportInterval;
        context.Log.Line(o.NoCalc ? "calibration started without Calc." : "calibration started");
    }
}

void TCalibrationRole::OnTick(TSimClock::time_point now, TSimContext& context) {
    if (!Calibrating || now < NextReport) {
        return;
    }
    Percent = std::min(100, Percent + kPercentPerReport);
    const std::string progress = std::to_string(Percent) + "%\r\n";
    context.Line.Send(now, context.Options.NoCalc ? "Measuring " + progress : "Calc. " + progress);
    NextReport += kReportInterval;
}

} // namespace zorvi::sim
