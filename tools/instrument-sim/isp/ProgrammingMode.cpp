#include "tools/instrument-sim/isp/ProgrammingMode.h"

#include "InstrumentMode.h"
#include "common/CodePage.h"
#include "tools/instrument-sim/isp/FirmwareIdentity.h"

#include <fstream>

namespace zorvi::sim {
namespace {

// The boot loader answers within microseconds; the line's own pace is the delay.
constexpr std::chrono::milliseconds kAnswerDelay{0};

class TProgrammingMode final : public TSimMode {
public:
    explicit TProgrammingMode(std::shared_ptr<TIspBootLoader> chip) : Chip(std::move(chip)) {}

    ~TProgrammingMode() override {
        // Leaving the mode is the operator's reset into normal operation: whatever
        // complete firmware the flash now holds is what runs.
        if (Options != nullptr) {
            AdoptFlashedFirmware(*Chip, *Options);
        }
    }

    void Enter(TSimContext& context) override {
        Options = &context.Options;
        Chip->Reset();
        context.Log.Line("boot loader waiting for \"?\"");
    }

    void OnByte(std::uint8_t byte, TSimContext& context) override {
        if (context.Options.Silent) {
            return;
        }
        if (Firmware) {
            Firmware->OnByte(byte, context);
            return;
        }
        const char c = static_cast<char>(byte);
        const bool command = Chip->State() == TIspBootLoader::TState::Commands;
        const std::string answer = Chip->Receive(std::string_view(&c, 1));
        const std::chrono::milliseconds delay = AnswerDelay(command, c, context.Options);
        if (!answer.empty()) {
            context.SendAfter(delay, answer);
        }
        if (Chip->State() == TIspBootLoader::TState::Running) {
            StartFirmware(context);
        }
    }

    void OnTick(TSimClock::time_point now, TSimContext& context) override {
        if (Firmware) {
            Firmware->OnTick(now, context);
        }
    }

    /// "save-flash PATH": writes the whole 512 KB flash to a file.
    bool OnControl(const std::vector<std::string>& words, TSimContext& context) override {
        if (words.size() != 2 || words[0] != "save-flash") {
            return Firmware && Firmware->OnControl(words, context);
        }
        std::ofstream out(words[1], std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(Chip->Flash().data()),
                  static_cast<std::streamsize>(Chip->Flash().size()));
        return static_cast<bool>(out);
    }

private:
    /// The delay of the answer to a byte, which it notes in the command line being
    /// received: the end of an erase ("E") or copy ("C") command line waits
    /// IspDelay, as on a slow chip; everything else goes at once.
    std::chrono::milliseconds AnswerDelay(bool command, char byte,
                                          const TInstrumentOptions& options) {
        if (!command) {
            CommandLine.clear();
            return kAnswerDelay;
        }
        if (byte != '\n') {
            CommandLine += byte;
            return kAnswerDelay;
        }
        const bool slow = CommandLine.starts_with("E ") || CommandLine.starts_with("C ");
        CommandLine.clear();
        return slow ? options.IspDelay : kAnswerDelay;
    }

    void StartFirmware(TSimContext& context) {
        if (AdoptFlashedFirmware(*Chip, context.Options)) {
            context.Log.Line("flashed firmware started: version " + context.Options.Version +
                             " of " + context.Options.Date);
        } else {
            context.Log.Line("flashed image holds no runnable firmware with an identification");
        }
        Firmware = MakeInstrumentMode();
        Firmware->Enter(context);
    }

    std::shared_ptr<TIspBootLoader> Chip;
    TInstrumentOptions* Options = nullptr;
    std::unique_ptr<TSimMode> Firmware; // the flashed program, once "G" started it
    std::string CommandLine;            // the command line being received
};

} // namespace

bool AdoptFlashedFirmware(const TIspBootLoader& chip, TInstrumentOptions& options) {
    if (!chip.HasValidUserCode()) {
        return false;
    }
    const auto identity =
        FindFirmwareIdentity(chip.Flash(), FromUtf8(options.Model, TCodePage::Windows1251));
    if (!identity) {
        return false;
    }
    options.Version = ToUtf8(identity->version, TCodePage::Windows1251);
    options.Date = ToUtf8(identity->date, TCodePage::Windows1251);
    return true;
}

std::unique_ptr<TSimMode> MakeProgrammingMode(std::shared_ptr<TIspBootLoader> chip) {
    return std::make_unique<TProgrammingMode>(std::move(chip));
}

} // namespace zorvi::sim
