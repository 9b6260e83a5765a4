#include "tools/flash-tool/core/JobFile.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <vector>

namespace zorvi {
namespace {

constexpr std::size_t kJobLines = 6;

// Baud rates a PC serial port offers; anything else in a job file is a typo.
constexpr std::array<std::uint32_t, 11> kBaudRates = {1200,  2400,   4800,   9600,   19200, 38400,
                                                      57600, 115200, 230400, 460800, 921600};

// The crystal range in which the LPC2138's boot loader can synchronise.
constexpr std::uint32_t kMinCrystalMHz = 1;
constexpr std::uint32_t kMaxCrystalMHz = 30;

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) {
                   return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
               };
               return lower(x) == lower(y);
           });
}

std::optional<std::uint32_t> Number(std::string_view text) {
    std::uint32_t value = 0;
    const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || status != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// Megahertz with up to six decimals ("14.318180") to whole kilohertz (14318),
// without floating-point rounding surprises.
std::optional<std::uint32_t> MegahertzToKilohertz(std::string_view text) {
    const std::size_t dot = text.find('.');
    const auto whole = Number(text.substr(0, dot));
    std::string_view fraction = dot == std::string_view::npos ? "" : text.substr(dot + 1);
    if (!whole || fraction.size() > 6 ||
        !std::all_of(fraction.begin(), fraction.end(),
                     [](char c) { return c >= '0' && c <= '9'; }) ||
        *whole < kMinCrystalMHz || *whole > kMaxCrystalMHz) {
        return std::nullopt;
    }
    std::uint32_t kHz = *whole * 1000;
    for (std::size_t i = 0; i < 3 && i < fraction.size(); ++i) {
        kHz += static_cast<std::uint32_t>(fraction[i] - '0') * (i == 0 ? 100 : i == 1 ? 10 : 1);
    }
    return kHz;
}

std::optional<std::uint32_t> BaudRate(std::string_view text) {
    const auto value = Number(text);
    if (!value || std::find(kBaudRates.begin(), kBaudRates.end(), *value) == kBaudRates.end()) {
        return std::nullopt;
    }
    return value;
}

// "KEY(a,b,c)" with the expected keyword → the trimmed arguments.
std::optional<std::vector<std::string_view>> Arguments(std::string_view line,
                                                       std::string_view key) {
    line = Trim(line);
    if (line.size() < key.size() + 2 || line.substr(0, key.size()) != key || line.back() != ')') {
        return std::nullopt;
    }
    std::string_view rest = Trim(line.substr(key.size(), line.size() - key.size() - 1));
    if (rest.empty() || rest.front() != '(') {
        return std::nullopt;
    }
    rest.remove_prefix(1);
    std::vector<std::string_view> arguments;
    while (true) {
        const std::size_t comma = rest.find(',');
        arguments.push_back(Trim(rest.substr(0, comma)));
        if (comma == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(comma + 1);
    }
    return arguments;
}

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        lines.push_back(line);
    }
    // Empty lines after the last one (an extra line end) are no lines of the job.
    while (!lines.empty() && Trim(lines.back()).empty()) {
        lines.pop_back();
    }
    return lines;
}

} // namespace

bool ParseJobFile(std::string_view text, TFlashJob& job, std::string& error) {
    job = {};
    const std::vector<std::string_view> lines = SplitLines(text);
    if (lines.size() != kJobLines) {
        error = "the job file must have " + std::to_string(kJobLines) + " lines, it has " +
                std::to_string(lines.size());
        return false;
    }
    const auto fail = [&](int line, std::string_view expected) {
        error = "line " + std::to_string(line) + " must be " + std::string(expected) + ": \"" +
                std::string(lines[line - 1]) + "\"";
        return false;
    };

    const auto com = Arguments(lines[0], "COM");
    const auto port = com && com->size() == 2 ? Number((*com)[0]) : std::nullopt;
    const auto baud = com && com->size() == 2 ? BaudRate((*com)[1]) : std::nullopt;
    if (!port || *port < 1 || *port > 255 || !baud) {
        return fail(1, "COM(<port 1..255>,<baud rate>)");
    }
    job.comPort = static_cast<int>(*port);
    job.baudRate = *baud;

    const auto device = Arguments(lines[1], "DEVICE");
    const auto crystal =
        device && device->size() == 2 ? MegahertzToKilohertz((*device)[1]) : std::nullopt;
    if (!device || device->size() != 2 || (*device)[0] != "LPC2138" || !crystal) {
        return fail(2, "DEVICE(LPC2138,<crystal MHz>)");
    }
    job.device = (*device)[0];
    job.crystalKHz = *crystal;

    const auto hardware = Arguments(lines[2], "HARDWARE");
    const auto pulse = hardware && hardware->size() == 3 ? Number((*hardware)[1]) : std::nullopt;
    const auto delay = hardware && hardware->size() == 3 ? Number((*hardware)[2]) : std::nullopt;
    if (!pulse || !delay || ((*hardware)[0] != "BOOTEXEC" && (*hardware)[0] != "NONE")) {
        return fail(3, "HARDWARE(BOOTEXEC|NONE,<ms>,<ms>)");
    }
    job.resetThroughControlLines = (*hardware)[0] == "BOOTEXEC";
    job.resetPulseMs = *pulse;
    job.bootDelayMs = *delay;

    const auto highSpeed = Arguments(lines[3], "HIGHSPEED");
    const auto enabled =
        highSpeed && highSpeed->size() == 2 ? Number((*highSpeed)[0]) : std::nullopt;
    const auto fastBaud =
        highSpeed && highSpeed->size() == 2 ? BaudRate((*highSpeed)[1]) : std::nullopt;
    if (!enabled || *enabled > 1 || !fastBaud) {
        return fail(4, "HIGHSPEED(<0|1>,<baud rate>)");
    }
    job.highSpeed = *enabled == 1;
    job.highSpeedBaud = *fastBaud;

    const auto erase = Arguments(lines[4], "ERASEUSED");
    if (!erase || erase->size() != 2 || (*erase)[0].empty() || (*erase)[1] != "PROTECTISP") {
        return fail(5, "ERASEUSED(<hex file>,PROTECTISP)");
    }

    const auto hex = Arguments(lines[5], "HEXFILE");
    if (!hex || hex->size() < 2 || !EqualNoCase((*hex)[0], (*erase)[0])) {
        return fail(6, "HEXFILE(<the hex file of line 5>,<options>)");
    }
    job.hexFile = (*hex)[0];
    // The tool writes the image as the file gives it: it neither computes the
    // vector checksum (the image carries its own) nor fills the gaps between records.
    std::vector<std::string_view> options(hex->begin() + 1, hex->end());
    std::sort(options.begin(), options.end());
    if (options != std::vector<std::string_view>{"NOCHECKSUMS", "NOFILL", "PROTECTISP"}) {
        return fail(6, "HEXFILE(<hex file>,NOCHECKSUMS,NOFILL,PROTECTISP)");
    }
    return true;
}

} // namespace zorvi
