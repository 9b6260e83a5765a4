#include "tools/flash-tool/core/IntelHex.h"

#include <algorithm>
#include <cstdio>

namespace zorvi {
namespace {

// Record types.
constexpr std::uint8_t kData = 0x00;
constexpr std::uint8_t kEndOfFile = 0x01;
constexpr std::uint8_t kExtendedSegment = 0x02;
constexpr std::uint8_t kStartSegment = 0x03;
constexpr std::uint8_t kExtendedLinear = 0x04;
constexpr std::uint8_t kStartLinear = 0x05;

// count, address high, address low, type and checksum.
constexpr std::size_t kRecordOverhead = 5;

std::optional<std::uint8_t> HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return static_cast<std::uint8_t>(c - '0');
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<std::uint8_t>(c - 'A' + 10);
    }
    if (c >= 'a' && c <= 'f') {
        return static_cast<std::uint8_t>(c - 'a' + 10);
    }
    return std::nullopt;
}

std::string HexAddress(std::uint32_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", address);
    return text;
}

std::string LineError(std::size_t lineNumber, std::string_view what) {
    return "line " + std::to_string(lineNumber) + ": " + std::string(what);
}

std::uint32_t BigEndian(const std::vector<std::uint8_t>& bytes, std::size_t from,
                        std::size_t count) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        value = (value << 8) | bytes[from + i];
    }
    return value;
}

// Sorts the data records by address, rejects overlaps and merges adjacent runs.
bool MergeSegments(std::vector<THexSegment>& pieces, std::string& error) {
    std::stable_sort(pieces.begin(), pieces.end(), [](const THexSegment& a, const THexSegment& b) {
        return a.address < b.address;
    });
    std::vector<THexSegment> merged;
    for (auto& piece : pieces) {
        if (!merged.empty()) {
            THexSegment& last = merged.back();
            const std::uint64_t lastEnd = std::uint64_t{last.address} + last.bytes.size();
            if (piece.address < lastEnd) {
                error = "data given twice for address " + HexAddress(piece.address);
                return false;
            }
            if (piece.address == lastEnd) {
                last.bytes.insert(last.bytes.end(), piece.bytes.begin(), piece.bytes.end());
                continue;
            }
        }
        merged.push_back(std::move(piece));
    }
    pieces = std::move(merged);
    return true;
}

} // namespace

bool ParseIntelHex(std::string_view text, THexImage& image, std::string& error) {
    image = {};
    std::vector<THexSegment> pieces;
    std::uint32_t base = 0;
    bool ended = false;
    std::size_t lineNumber = 0;

    while (!text.empty()) {
        const std::size_t newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.empty()) {
            continue;
        }
        if (ended) {
            error = LineError(lineNumber, "record after the end-of-file record");
            return false;
        }
        if (line[0] != ':' || line.size() % 2 != 1) {
            error = LineError(lineNumber, "not a HEX record");
            return false;
        }
        std::vector<std::uint8_t> record;
        record.reserve(line.size() / 2);
        for (std::size_t i = 1; i < line.size(); i += 2) {
            const auto high = HexDigit(line[i]);
            const auto low = HexDigit(line[i + 1]);
            if (!high || !low) {
                error = LineError(lineNumber, "not a hex digit");
                return false;
            }
            record.push_back(static_cast<std::uint8_t>(*high << 4 | *low));
        }
        if (record.size() < kRecordOverhead || record.size() != kRecordOverhead + record[0]) {
            error = LineError(lineNumber, "byte count does not match the record length");
            return false;
        }
        std::uint8_t sum = 0;
        for (const std::uint8_t b : record) {
            sum = static_cast<std::uint8_t>(sum + b);
        }
        if (sum != 0) {
            error = LineError(lineNumber, "checksum mismatch");
            return false;
        }
        ++image.recordCount;

        const std::uint8_t count = record[0];
        const std::uint32_t offset = BigEndian(record, 1, 2);
        const std::uint8_t type = record[3];
        const auto payloadIs = [&](std::uint8_t size) {
            if (count == size) {
                return true;
            }
            error = LineError(lineNumber, "wrong length for the record type");
            return false;
        };
        switch (type) {
        case kData: {
            const std::uint64_t start = std::uint64_t{base} + offset;
            if (start + count > 0x100000000ull) {
                error = LineError(lineNumber, "data beyond the 4 GB address space");
                return false;
            }
            pieces.push_back({static_cast<std::uint32_t>(start),
                              std::vector<std::uint8_t>(record.begin() + 4, record.end() - 1)});
            break;
        }
        case kEndOfFile:
            if (!payloadIs(0)) {
                return false;
            }
            ended = true;
            break;
        case kExtendedSegment:
            if (!payloadIs(2)) {
                return false;
            }
            base = BigEndian(record, 4, 2) << 4;
            break;
        case kExtendedLinear:
            if (!payloadIs(2)) {
                return false;
            }
            base = BigEndian(record, 4, 2) << 16;
            break;
        case kStartSegment:
            if (!payloadIs(4)) {
                return false;
            }
            break;
        case kStartLinear:
            if (!payloadIs(4)) {
                return false;
            }
            image.entryPoint = BigEndian(record, 4, 4);
            break;
        default:
            error = LineError(lineNumber, "unknown record type");
            return false;
        }
    }
    if (!ended) {
        error = "no end-of-file record";
        return false;
    }
    if (!MergeSegments(pieces, error)) {
        return false;
    }
    image.segments = std::move(pieces);
    return true;
}

} // namespace zorvi
