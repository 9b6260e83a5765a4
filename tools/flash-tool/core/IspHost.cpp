#include "tools/flash-tool/core/IspHost.h"

#include "tools/flash-tool/core/FlashImage.h"
#include "tools/flash-tool/core/IspProtocol.h"
#include "tools/flash-tool/core/Lpc2138.h"
#include "tools/flash-tool/core/UuCodec.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace zorvi {
namespace {

// "A 0" turns the echo off, "A 1" on.
constexpr std::uint32_t kEchoOff = 0;
constexpr std::uint32_t kEchoOn = 1;

// In ISP mode the first 64 bytes of the flash are overlaid by the boot loader's
// own vectors, so a compare of a block at address 0 must skip them.
constexpr std::uint32_t kRemappedVectorBytes = 64;

std::string Hex32(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

std::string Printable(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const auto code = static_cast<unsigned char>(c);
        if (code >= 0x20 && code < 0x7F) {
            out += c;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", code);
            out += escaped;
        }
    }
    return out;
}

} // namespace

TIspHost::TIspHost(TIspLink& link, TIspTimeouts timeouts) : link_(link), timeouts_(timeouts) {}

bool TIspHost::Fail(std::string message) {
    lastError_ = std::move(message);
    return false;
}

bool TIspHost::SendLine(std::string_view line) {
    std::string bytes(line);
    bytes += isp::kLineEnd;
    if (!link_.Write(bytes)) {
        return Fail("the serial port refused to send");
    }
    return true;
}

std::optional<std::string> TIspHost::ReadLine(std::chrono::milliseconds timeout) {
    while (true) {
        const std::size_t newline = received_.find('\n');
        if (newline != std::string::npos) {
            std::string line = received_.substr(0, newline);
            received_.erase(0, newline + 1);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            if (line.empty()) {
                continue; // a stray line end between replies carries nothing
            }
            return line;
        }
        const std::size_t before = received_.size();
        if (!link_.Read(received_, timeout)) {
            Fail("the serial port failed while reading");
            return std::nullopt;
        }
        if (received_.size() == before) {
            Fail(received_.empty()
                     ? "no answer from the boot loader"
                     : "incomplete answer from the boot loader: \"" + Printable(received_) + "\"");
            return std::nullopt;
        }
    }
}

bool TIspHost::ExpectLine(std::string_view expected, std::chrono::milliseconds timeout) {
    const auto line = ReadLine(timeout);
    if (!line) {
        return false;
    }
    if (*line != expected) {
        return Fail("expected \"" + std::string(expected) + "\" from the boot loader, got \"" +
                    Printable(*line) + "\"");
    }
    return true;
}

bool TIspHost::TakeEcho(std::string_view sent) {
    return !echo_ || ExpectLine(sent, timeouts_.reply);
}

bool TIspHost::RunCommand(const std::string& line, std::chrono::milliseconds timeout) {
    lastCode_.reset();
    if (!SendLine(line) || !TakeEcho(line)) {
        return false;
    }
    const auto reply = ReadLine(timeout);
    if (!reply) {
        lastError_ = "\"" + line + "\": " + lastError_;
        return false;
    }
    const auto code = isp::ParseDecimal(*reply);
    if (!code) {
        return Fail("\"" + line + "\": not a return code: \"" + Printable(*reply) + "\"");
    }
    lastCode_ = static_cast<int>(*code);
    if (*code != 0) {
        return Fail("\"" + line + "\" failed: " + std::string(isp::ReturnCodeName(*lastCode_)) +
                    " (" + std::to_string(*code) + ")");
    }
    return true;
}

bool TIspHost::Synchronise(std::uint32_t crystalKHz) {
    bool synchronised = false;
    for (int attempt = 0; attempt < timeouts_.syncAttempts && !synchronised; ++attempt) {
        link_.DiscardInput();
        received_.clear();
        if (!link_.Write(std::string_view(&isp::kSyncRequest, 1))) {
            return Fail("the serial port refused to send");
        }
        const auto line = ReadLine(timeouts_.syncWait);
        synchronised = line && *line == isp::kSynchronized;
    }
    if (!synchronised) {
        return Fail("the boot loader did not answer \"?\" with \"Synchronized\" after " +
                    std::to_string(timeouts_.syncAttempts) + " attempts");
    }
    // From here the boot loader echoes each line before its answer.
    echo_ = true;
    if (!SendLine(isp::kSynchronized) || !TakeEcho(isp::kSynchronized) ||
        !ExpectLine(isp::kOk, timeouts_.reply)) {
        return false;
    }
    const std::string frequency = std::to_string(crystalKHz);
    return SendLine(frequency) && TakeEcho(frequency) && ExpectLine(isp::kOk, timeouts_.reply);
}

bool TIspHost::SetEcho(bool on) {
    if (!RunCommand(isp::Command('A', {on ? kEchoOn : kEchoOff}), timeouts_.reply)) {
        return false;
    }
    echo_ = on;
    return true;
}

bool TIspHost::ReadPartId(std::uint32_t& partId) {
    if (!RunCommand(isp::Command('J', {}), timeouts_.reply)) {
        return false;
    }
    const auto line = ReadLine(timeouts_.reply);
    const auto value = line ? isp::ParseDecimal(*line) : std::nullopt;
    if (!value) {
        return line ? Fail("not a part identification: \"" + Printable(*line) + "\"") : false;
    }
    partId = *value;
    return true;
}

bool TIspHost::Unlock() {
    return RunCommand(isp::Command('U', {lpc2138::kUnlockCode}), timeouts_.reply);
}

bool TIspHost::Prepare(int firstSector, int lastSector) {
    return RunCommand(isp::Command('P', {static_cast<std::uint32_t>(firstSector),
                                         static_cast<std::uint32_t>(lastSector)}),
                      timeouts_.reply);
}

bool TIspHost::Erase(int firstSector, int lastSector) {
    return RunCommand(isp::Command('E', {static_cast<std::uint32_t>(firstSector),
                                         static_cast<std::uint32_t>(lastSector)}),
                      timeouts_.erase);
}

bool TIspHost::SendDataBlock(std::span<const std::uint8_t> block) {
    for (std::size_t offset = 0; offset < block.size(); offset += kUuBytesPerLine) {
        const std::string line =
            UuEncodeLine(block.subspan(offset, std::min(kUuBytesPerLine, block.size() - offset)));
        if (!SendLine(line) || !TakeEcho(line)) {
            return false;
        }
    }
    const std::string checksum = std::to_string(ByteSum(block));
    return SendLine(checksum) && TakeEcho(checksum);
}

bool TIspHost::WriteToRam(std::uint32_t address, std::span<const std::uint8_t> data) {
    const auto count = static_cast<std::uint32_t>(data.size());
    if (!RunCommand(isp::Command('W', {address, count}), timeouts_.reply)) {
        return false;
    }
    constexpr std::size_t kBlockBytes = kUuBytesPerLine * kUuLinesPerBlock;
    for (std::size_t offset = 0; offset < data.size(); offset += kBlockBytes) {
        const auto block = data.subspan(offset, std::min(kBlockBytes, data.size() - offset));
        for (int attempt = 0;; ++attempt) {
            if (!SendDataBlock(block)) {
                return false;
            }
            const auto verdict = ReadLine(timeouts_.reply);
            if (!verdict) {
                return false;
            }
            if (*verdict == isp::kOk) {
                break;
            }
            if (*verdict != isp::kResend) {
                return Fail("expected \"OK\" or \"RESEND\" after a data block, got \"" +
                            Printable(*verdict) + "\"");
            }
            if (attempt == timeouts_.resendLimit) {
                return Fail("the boot loader asked to resend the data at " +
                            Hex32(address + static_cast<std::uint32_t>(offset)) + " " +
                            std::to_string(attempt + 1) + " times");
            }
            ++resends_;
        }
    }
    return true;
}

bool TIspHost::CopyRamToFlash(std::uint32_t flashAddress, std::uint32_t ramAddress,
                              std::uint32_t count) {
    return RunCommand(isp::Command('C', {flashAddress, ramAddress, count}), timeouts_.reply);
}

bool TIspHost::Compare(std::uint32_t address1, std::uint32_t address2, std::uint32_t count) {
    if (RunCommand(isp::Command('M', {address1, address2, count}), timeouts_.reply)) {
        return true;
    }
    if (lastCode_ == static_cast<int>(isp::TReturnCode::CompareError)) {
        // COMPARE_ERROR is followed by the offset of the first difference.
        const std::string failure = lastError_;
        const auto line = ReadLine(timeouts_.reply);
        const auto offset = line ? isp::ParseDecimal(*line) : std::nullopt;
        return Fail(failure + (offset ? ", first difference at " + Hex32(address1 + *offset) : ""));
    }
    return false;
}

bool TIspHost::Go(std::uint32_t address) {
    // The mode letter is the one argument that is not a number.
    return RunCommand(isp::Command('G', {address}) + " A", timeouts_.reply);
}

bool ProgramFlash(TIspLink& link, const TFlashImage& image, std::uint32_t crystalKHz,
                  const std::function<void(const std::string&)>& progress, std::string& error,
                  TIspTimeouts timeouts) {
    TIspHost host(link, timeouts);
    const auto failed = [&] {
        error = host.LastError();
        return false;
    };

    progress("Synchronising with the boot loader (crystal " + std::to_string(crystalKHz) +
             " kHz)...");
    if (!host.Synchronise(crystalKHz) || !host.SetEcho(false)) {
        return failed();
    }
    std::uint32_t partId = 0;
    if (!host.ReadPartId(partId)) {
        return failed();
    }
    if (partId != lpc2138::kPartId) {
        error = "the device is not an LPC2138: part identification " + Hex32(partId);
        return false;
    }
    progress("Device: LPC2138, part identification " + Hex32(partId));
    if (!host.Unlock()) {
        return failed();
    }

    // ERASEUSED: each run of consecutive used sectors is prepared and erased at once.
    const std::vector<int> sectors = UsedSectors(image);
    for (std::size_t first = 0; first < sectors.size();) {
        std::size_t last = first;
        while (last + 1 < sectors.size() && sectors[last + 1] == sectors[last] + 1) {
            ++last;
        }
        progress("Erasing sectors " + std::to_string(sectors[first]) + " to " +
                 std::to_string(sectors[last]));
        if (!host.Prepare(sectors[first], sectors[last]) ||
            !host.Erase(sectors[first], sectors[last])) {
            return failed();
        }
        first = last + 1;
    }

    const std::vector<TCopyBlock> blocks = PlanCopyBlocks(image);
    std::uint32_t total = 0;
    for (const TCopyBlock& block : blocks) {
        total += block.size;
    }
    std::uint32_t written = 0;
    for (const TCopyBlock& block : blocks) {
        const int sector = *lpc2138::SectorOf(block.address);
        const auto data = std::span(image.bytes).subspan(block.address, block.size);
        const std::uint32_t skip = block.address == 0 ? kRemappedVectorBytes : 0;
        if (!host.WriteToRam(lpc2138::kRamTransferBuffer, data) || !host.Prepare(sector, sector) ||
            !host.CopyRamToFlash(block.address, lpc2138::kRamTransferBuffer, block.size) ||
            !host.Compare(block.address + skip, lpc2138::kRamTransferBuffer + skip,
                          block.size - skip)) {
            return failed();
        }
        written += block.size;
        progress("Written " + Hex32(block.address) + " (" + std::to_string(block.size) +
                 " bytes), " + std::to_string(written * 100 / total) + "%");
    }
    if (host.Resends() > 0) {
        progress("Data blocks sent again after RESEND: " + std::to_string(host.Resends()));
    }
    progress("Starting the program");
    if (!host.Go(0)) {
        return failed();
    }
    return true;
}

} // namespace zorvi
