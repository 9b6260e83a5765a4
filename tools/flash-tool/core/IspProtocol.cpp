#include "tools/flash-tool/core/IspProtocol.h"

#include <array>
#include <charconv>

namespace zorvi::isp {
namespace {

// Names indexed by the return code's value.
constexpr std::array<std::string_view, 20> kReturnCodeNames = {
    "CMD_SUCCESS",         "INVALID_COMMAND",
    "SRC_ADDR_ERROR",      "DST_ADDR_ERROR",
    "SRC_ADDR_NOT_MAPPED", "DST_ADDR_NOT_MAPPED",
    "COUNT_ERROR",         "INVALID_SECTOR",
    "SECTOR_NOT_BLANK",    "SECTOR_NOT_PREPARED_FOR_WRITE_OPERATION",
    "COMPARE_ERROR",       "BUSY",
    "PARAM_ERROR",         "ADDR_ERROR",
    "ADDR_NOT_MAPPED",     "CMD_LOCKED",
    "INVALID_CODE",        "INVALID_BAUD_RATE",
    "INVALID_STOP_BIT",    "CODE_READ_PROTECTION_ENABLED",
};
static_assert(kReturnCodeNames.size() ==
              static_cast<std::size_t>(TReturnCode::CodeReadProtectionEnabled) + 1);

} // namespace

std::string_view ReturnCodeName(int code) {
    if (code < 0 || static_cast<std::size_t>(code) >= kReturnCodeNames.size()) {
        return "unknown return code";
    }
    return kReturnCodeNames[static_cast<std::size_t>(code)];
}

std::string Command(char letter, const std::vector<std::uint32_t>& arguments) {
    std::string line(1, letter);
    for (const std::uint32_t argument : arguments) {
        line += ' ';
        line += std::to_string(argument);
    }
    return line;
}

std::optional<std::uint32_t> ParseDecimal(std::string_view text) {
    std::uint32_t value = 0;
    const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || status != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<TCommandLine> ParseCommandLine(std::string_view line) {
    TCommandLine command;
    std::vector<std::string_view> words;
    while (!line.empty()) {
        const std::size_t start = line.find_first_not_of(' ');
        if (start == std::string_view::npos) {
            break;
        }
        line.remove_prefix(start);
        const std::size_t end = line.find(' ');
        words.push_back(line.substr(0, end));
        line.remove_prefix(end == std::string_view::npos ? line.size() : end);
    }
    if (words.empty() || words[0].size() != 1) {
        return std::nullopt;
    }
    command.letter = words[0][0];
    command.words.assign(words.begin() + 1, words.end());
    return command;
}

} // namespace zorvi::isp
