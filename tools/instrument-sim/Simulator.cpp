#include "Simulator.h"

#include <filesystem>

#include <poll.h>

namespace zorvi::sim {

TSimulator::TSimulator(TInstrumentOptions& options, TPseudoTerminal& line, TSimLog& log)
    : Options(options), Context{options, line, log}, Control(options.Control) {
    for (auto& entry : KnownModes()) {
        Modes.emplace(entry.Name, std::move(entry.Make));
    }
}

bool TSimulator::SwitchMode(const std::string& name) {
    const auto found = Modes.find(name);
    if (found == Modes.end()) {
        return false;
    }
    // Replies of the old mode that have not gone out yet are not the new mode's.
    Context.Line.CancelQueued();
    Current = found->second();
    CurrentName = name;
    Current->Enter(Context);
    Context.Log.Line("mode " + name);
    return true;
}

bool TSimulator::Command(const std::string& line) {
    const auto words = SplitWords(line);
    if (words.empty()) {
        return true;
    }
    if (words[0] == "quit") {
        Quit = true;
        return true;
    }
    if (words[0] == "unplug" && words.size() == 1) {
        Context.Line.HangUp();
        if (!Options.Link.empty()) {
            std::error_code ignored;
            std::filesystem::remove(Options.Link, ignored);
        }
        Context.Log.Line("line hung up: the instrument is unplugged");
        return true;
    }
    if (words[0] == "mode" && words.size() == 2) {
        return SwitchMode(words[1]);
    }
    if (words[0] == "set" && words.size() >= 2) {
        // The value may hold blanks (a date such as "5 мая 2021").
        const std::string assignment = line.substr(line.find("set") + 4);
        const auto equals = assignment.find('=');
        const std::string name = assignment.substr(0, equals);
        const std::string value = equals == std::string::npos ? "" : assignment.substr(equals + 1);
        if (const auto error = ApplySetting(Options, name, value)) {
            Context.Log.Line("control error: " + *error);
            return false;
        }
        return true;
    }
    return Current && Current->OnControl(words, Context);
}

int TSimulator::Run(const std::atomic<bool>& stop) {
    if (!SwitchMode(Options.Mode)) {
        Context.Log.Line("unknown mode: " + Options.Mode);
        return 2;
    }
    const auto deadline = TSimClock::now() + Options.TimeLimit;
    std::size_t commandsDone = 0;
    std::string input;

    while (!Quit && !stop) {
        const auto now = TSimClock::now();
        if (now >= deadline) {
            Context.Log.Line("time limit reached");
            break;
        }
        for (const auto& line : Control.NewLines()) {
            const bool ok = Command(line);
            Context.Log.Line((ok ? "control: " : "control refused: ") + line);
            Control.Acknowledge(++commandsDone);
        }

        const auto wait = Context.Line.Pump(now);
        pollfd fd{Context.Line.MasterFd(), POLLIN, 0};
        poll(&fd, 1, static_cast<int>(wait.count()));

        input.clear();
        if (!Context.Line.ReadInput(input)) {
            Context.Log.Line("line error");
            return 1;
        }
        for (const char c : input) {
            const auto byte = static_cast<std::uint8_t>(c);
            Context.Log.Received(byte);
            Current->OnByte(byte, Context);
        }
        Current->OnTick(TSimClock::now(), Context);
    }
    return 0;
}

} // namespace zorvi::sim
