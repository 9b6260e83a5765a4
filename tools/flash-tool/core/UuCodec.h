// The UU encoding in which the LPC2000 boot loader takes the data of "Write to
// RAM": each line carries up to 45 bytes, as a length character followed by one
// group of four characters per three bytes. Every character stands for six bits,
// written as 0x20 + value, except that the value 0 is sent as '`' rather than a
// blank so that no line ends in blanks a terminal might strip. Decoding accepts
// both spellings of 0.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zorvi {

/// Bytes per UU line; 45 bytes make 60 data characters plus the length character.
inline constexpr std::size_t kUuBytesPerLine = 45;

/// Lines after which the sender gives the checksum of the block.
inline constexpr std::size_t kUuLinesPerBlock = 20;

/// One line (without line end) for 1..45 bytes. The last group is padded with zero
/// bytes; the length character says how many bytes are real.
std::string UuEncodeLine(std::span<const std::uint8_t> bytes);

/// The bytes of one line, or nothing when the line is malformed: empty, a length
/// above 45, a character outside the alphabet, or more characters than the length
/// implies. Missing trailing characters count as 0 (the block checksum is what
/// catches a line damaged on the way).
std::optional<std::vector<std::uint8_t>> UuDecodeLine(std::string_view line);

/// The block checksum: the sum of the raw (not encoded) bytes.
std::uint32_t ByteSum(std::span<const std::uint8_t> bytes);

} // namespace zorvi
