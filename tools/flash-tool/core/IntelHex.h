// Reading firmware images in the Intel HEX text format: one record per line,
//   ':' count(1) address(2) type(1) data(count) checksum(1)
// every field as pairs of hex digits, the checksum making the sum of all bytes of
// the record 0 modulo 256. Addresses above 64 KB come from extended linear (type
// 04, upper 16 bits) or extended segment (type 02, base = value * 16) records.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorvi {

/// A run of bytes at consecutive addresses.
struct THexSegment {
    std::uint32_t address = 0;
    std::vector<std::uint8_t> bytes;
};

/// The data of a HEX file: segments sorted by address, adjacent runs merged, no
/// two overlapping.
struct THexImage {
    std::vector<THexSegment> segments;
    /// From a start linear address record (type 05), when the file has one.
    std::optional<std::uint32_t> entryPoint;
    std::size_t recordCount = 0;
};

/// Parses the whole text of a HEX file. Lines end in LF or CR LF; empty lines are
/// skipped. Fails with a message naming the line when a record is malformed, its
/// checksum is wrong, two records give the same address, a record follows the
/// end-of-file record, or the end-of-file record is missing.
bool ParseIntelHex(std::string_view text, THexImage& image, std::string& error);

} // namespace zorvi
