// The wire vocabulary of the LPC2000 boot loader's serial in-system programming,
// shared by the flashing tool and the simulated instrument. Everything is ASCII:
// commands are a letter and decimal arguments separated by blanks, ended by CR LF;
// the boot loader answers each with a decimal return code on a line of its own,
// some codes followed by more lines of data.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorvi::isp {

/// Autobaud: the host sends this byte until the boot loader answers kSynchronized.
inline constexpr char kSyncRequest = '?';
inline constexpr std::string_view kSynchronized = "Synchronized";
inline constexpr std::string_view kOk = "OK";
inline constexpr std::string_view kResend = "RESEND";
inline constexpr std::string_view kLineEnd = "\r\n";

/// Return codes of the boot loader (LPC213x user manual, ISP return codes).
enum class TReturnCode : int {
    Success = 0,
    InvalidCommand = 1,
    SrcAddrError = 2, // source address not on a word boundary
    DstAddrError = 3, // destination address not on the required boundary
    SrcAddrNotMapped = 4,
    DstAddrNotMapped = 5,
    CountError = 6, // byte count not a multiple of 4 or not an allowed value
    InvalidSector = 7,
    SectorNotBlank = 8,
    SectorNotPrepared = 9, // "Prepare" was not run for the sector
    CompareError = 10,
    Busy = 11,
    ParamError = 12, // too few or too many parameters, or one not a number
    AddrError = 13,  // address not on a word boundary
    AddrNotMapped = 14,
    CmdLocked = 15,   // "Unlock" has not been given
    InvalidCode = 16, // wrong unlock code
    InvalidBaudRate = 17,
    InvalidStopBit = 18,
    CodeReadProtectionEnabled = 19,
};

/// The manual's name of a return code ("CMD_SUCCESS", "CMD_LOCKED", ...), or
/// "unknown return code" for values it does not define.
std::string_view ReturnCodeName(int code);

/// One command line without its line end, e.g. Command('W', {1073742336, 4096}).
std::string Command(char letter, const std::vector<std::uint32_t>& arguments);

/// A decimal number that fills the whole text (return codes, checksums, the
/// arguments of a command), or nothing.
std::optional<std::uint32_t> ParseDecimal(std::string_view text);

/// A received command line split into its letter and blank-separated words.
struct TCommandLine {
    char letter = 0;
    std::vector<std::string_view> words;
};

/// Splits a command line; nothing for an empty line or a first word that is not a
/// single letter.
std::optional<TCommandLine> ParseCommandLine(std::string_view line);

} // namespace zorvi::isp
