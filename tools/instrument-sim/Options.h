// What the simulated instrument is told to be and to do. Every setting can be given
// on the command line (--name value, or --name for a switch) and changed while it
// runs through the control file ("set name=value").
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace zorvi::sim {

struct TInstrumentOptions {
    // Identification ("q" then "v").
    std::string Model = "Zorvi-41K6UV";       ///< the model word (UTF-8)
    std::string Version = "1V4";              ///< after "Software version: "
    std::string Date = "12.03.2019";          ///< after "Date: "
    std::chrono::milliseconds ReplyDelay{10}; ///< before the reply begins
    /// When non-zero, the reply goes out one byte at a time this far apart, so that
    /// it is still growing at the program's last poll.
    std::chrono::milliseconds Dribble{0};
    bool Silent = false;  ///< answers nothing at all
    bool Foreign = false; ///< identifies as another device
    /// Identifies as a device that answers in binary frames, zero bytes among them.
    bool Binary = false;
    std::string MissingMarker; ///< "version" or "date": that line is left out
    /// The version line without the blank after its colon: the markers are all
    /// there, but the version cannot be read.
    bool UnreadableVersion = false;
    std::size_t Flood = 0; ///< pads the reply to this many bytes

    // Calibration ("a", "f", "q").
    std::size_t StartSize = 160; ///< length of the start text
    bool NoStart = false;        ///< start text without "Start"
    bool NoCalc = false;         ///< calibration never reports "Calc."

    // Programming mode.
    /// The boot loader answers each erase and copy command this much later: a slow
    /// chip, so that a flashing run lasts long.
    std::chrono::milliseconds IspDelay{0};

    // The simulator itself.
    std::string Control;                 ///< control file to follow, if any
    std::string LogPath;                 ///< log file (standard error when empty)
    std::string Link;                    ///< symbolic link to create to the slave
    std::string Mode = "instrument";     ///< the mode to start in
    std::chrono::seconds TimeLimit{300}; ///< the simulator ends itself after this
};

/// Sets one setting by its name (as on the command line, without the dashes).
/// A switch takes "1"/"0" (or "on"/"off"); an empty value turns it on. Returns an
/// error text, or nothing when the setting was applied.
std::optional<std::string> ApplySetting(TInstrumentOptions& options, const std::string& name,
                                        const std::string& value);

/// Parses the command line; throws std::invalid_argument with a message on error.
TInstrumentOptions ParseCommandLine(const std::vector<std::string>& arguments);

/// The usage text.
std::string Usage();

} // namespace zorvi::sim
