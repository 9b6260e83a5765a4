#include "Options.h"

#include <charconv>
#include <stdexcept>

namespace zorvi::sim {
namespace {

std::optional<long long> ToNumber(const std::string& text) {
    long long value = 0;
    const auto* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || at != end || value < 0) {
        return std::nullopt;
    }
    return value;
}

std::optional<bool> ToSwitch(const std::string& text) {
    if (text.empty() || text == "1" || text == "on" || text == "yes") {
        return true;
    }
    if (text == "0" || text == "off" || text == "no") {
        return false;
    }
    return std::nullopt;
}

bool IsSwitch(const std::string& name) {
    return name == "silent" || name == "foreign" || name == "binary" || name == "no-start" ||
           name == "no-calc" || name == "unreadable-version";
}

} // namespace

std::optional<std::string> ApplySetting(TInstrumentOptions& o, const std::string& name,
                                        const std::string& value) {
    if (IsSwitch(name)) {
        const auto on = ToSwitch(value);
        if (!on) {
            return "not a switch value for " + name + ": " + value;
        }
        (name == "silent"               ? o.Silent
         : name == "foreign"            ? o.Foreign
         : name == "binary"             ? o.Binary
         : name == "no-start"           ? o.NoStart
         : name == "unreadable-version" ? o.UnreadableVersion
                                        : o.NoCalc) = *on;
        return std::nullopt;
    }
    if (name == "model") {
        o.Model = value;
    } else if (name == "version") {
        o.Version = value;
    } else if (name == "date") {
        o.Date = value;
    } else if (name == "missing-marker") {
        if (value != "version" && value != "date" && !value.empty()) {
            return "missing-marker takes version, date or nothing";
        }
        o.MissingMarker = value;
    } else if (name == "control") {
        o.Control = value;
    } else if (name == "log") {
        o.LogPath = value;
    } else if (name == "link") {
        o.Link = value;
    } else if (name == "mode") {
        o.Mode = value;
    } else {
        const auto number = ToNumber(value);
        if (!number) {
            return "not a number for " + name + ": " + value;
        }
        if (name == "reply-delay") {
            o.ReplyDelay = std::chrono::milliseconds(*number);
        } else if (name == "dribble") {
            o.Dribble = std::chrono::milliseconds(*number);
        } else if (name == "flood") {
            o.Flood = static_cast<std::size_t>(*number);
        } else if (name == "start-size") {
            o.StartSize = static_cast<std::size_t>(*number);
        } else if (name == "isp-delay") {
            o.IspDelay = std::chrono::milliseconds(*number);
        } else if (name == "time-limit") {
            o.TimeLimit = std::chrono::seconds(*number);
        } else {
            return "unknown setting: " + name;
        }
    }
    return std::nullopt;
}

TInstrumentOptions ParseCommandLine(const std::vector<std::string>& arguments) {
    TInstrumentOptions options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument.rfind("--", 0) != 0) {
            throw std::invalid_argument("unexpected argument: " + argument);
        }
        std::string name = argument.substr(2);
        std::string value;
        if (const auto equals = name.find('='); equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
        } else if (!IsSwitch(name)) {
            if (i + 1 >= arguments.size()) {
                throw std::invalid_argument("missing value for --" + name);
            }
            value = arguments[++i];
        }
        if (const auto error = ApplySetting(options, name, value)) {
            throw std::invalid_argument(*error);
        }
    }
    return options;
}

std::string Usage() {
    return R"(usage: instrument-sim [options]
Plays the instrument on a new pseudo-terminal and prints the slave's path.
  --model WORD          model word of the identification (Zorvi-41K6UV)
  --version TEXT        software version (1V4)
  --date TEXT           software date (12.03.2019)
  --reply-delay MS      delay before each reply begins (10)
  --dribble MS          identification one byte every MS milliseconds
  --silent              answer nothing
  --foreign             identify as another device
  --binary              identify as a device answering in binary frames (zero
                        bytes among them)
  --missing-marker version|date   leave that line out
  --unreadable-version  no blank after "Software version:" (not readable)
  --flood N             pad the identification to N bytes
  --start-size N        length of the calibration start text (160)
  --no-start            start text without "Start"
  --no-calc             calibration never reports "Calc."
  --isp-delay MS        boot loader answers erase and copy commands MS later
  --mode NAME           mode to start in: instrument (default), or programming
                        (the boot loader, for the flashing tool)
  --control FILE        follow commands appended to FILE: "set NAME=VALUE",
                        "mode NAME", "unplug" (the line hangs up for good, the
                        link goes), "quit", in programming mode "save-flash FILE";
                        the count done is written to FILE.ack
  --log FILE            log to FILE (standard error)
  --link PATH           create a symbolic link PATH to the slave (removed at exit)
  --time-limit S        end after S seconds (300)
)";
}

} // namespace zorvi::sim
