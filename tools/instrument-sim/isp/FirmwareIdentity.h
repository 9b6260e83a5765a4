// What the firmware in a flash image will say about itself. The instrument's
// firmware keeps its identification reply as one NUL-terminated 8-bit text
// (code page 1251, CR LF lines) holding the model word, "Software version: <v>"
// and "Date: <d>"; after a flashing the simulator answers the identification
// query with the text of the image it now holds.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace zorvi {

struct TFirmwareIdentity {
    std::string model;   // "Zorvi-41K6UV"
    std::string version; // the text after "Software version: " up to CR LF
    std::string date;    // the text after "Date: " up to CR LF
    std::string text;    // the whole NUL-terminated text holding them, as stored
};

/// Finds the identification text: the first "Software version: " whose line ends
/// in CR LF, followed by a "Date: " line ended by CR LF, within one NUL-terminated
/// text that also holds the model word as a word of its own (delimited by
/// characters with codes 0..32 or the ends of the text). Nothing when the image
/// holds no such text (an erased or foreign image).
std::optional<TFirmwareIdentity> FindFirmwareIdentity(std::span<const std::uint8_t> image,
                                                      std::string_view model = "Zorvi-41K6UV");

} // namespace zorvi
