#include "tools/instrument-sim/isp/IspBootLoader.h"

#include "tools/flash-tool/core/IspProtocol.h"
#include "tools/flash-tool/core/Lpc2138.h"
#include "tools/flash-tool/core/UuCodec.h"

#include <algorithm>
#include <optional>

namespace zorvi {
namespace {

using isp::TReturnCode;

constexpr std::uint8_t kErased = 0xFF;

// The chip's command buffer; a longer line is cut (and then fails as a command).
constexpr std::size_t kMaxLineLength = 256;

// The crystal frequencies (kHz) the boot loader can derive its timing from.
constexpr std::uint32_t kMinCrystalKHz = 1000;
constexpr std::uint32_t kMaxCrystalKHz = 30000;

constexpr std::uint32_t kWordSize = 4;
constexpr std::uint32_t kVectorCount = 8;

int Code(TReturnCode code) {
    return static_cast<int>(code);
}

bool AllowedCopySize(std::uint32_t count) {
    return std::find(std::begin(lpc2138::kCopyBlockSizes), std::end(lpc2138::kCopyBlockSizes),
                     count) != std::end(lpc2138::kCopyBlockSizes);
}

// The first and last sector of a flash range already known to lie in the user flash.
std::pair<int, int> SectorsOf(std::uint32_t address, std::uint32_t count) {
    return {*lpc2138::SectorOf(address), *lpc2138::SectorOf(address + count - 1)};
}

} // namespace

TIspBootLoader::TIspBootLoader()
    : prepared_(lpc2138::kSectorCount, false), flash_(lpc2138::kFlashSize, kErased),
      ram_(lpc2138::kRamSize, 0) {}

void TIspBootLoader::Reset() {
    state_ = TState::AwaitingSync;
    echo_ = true;
    unlocked_ = false;
    prepared_.assign(lpc2138::kSectorCount, false);
    ram_.assign(lpc2138::kRamSize, 0);
    line_.clear();
    block_.clear();
    blockLines_ = 0;
    blockDamaged_ = false;
    writeRemaining_ = 0;
}

bool TIspBootLoader::HasValidUserCode() const {
    std::uint32_t sum = 0;
    for (std::uint32_t i = 0; i < kVectorCount; ++i) {
        const std::uint8_t* word = &flash_[i * kWordSize];
        sum += std::uint32_t{word[0]} | std::uint32_t{word[1]} << 8 | std::uint32_t{word[2]} << 16 |
               std::uint32_t{word[3]} << 24;
    }
    return sum == 0;
}

std::string TIspBootLoader::Receive(std::string_view bytes) {
    std::string out;
    for (const char byte : bytes) {
        ProcessByte(byte, out);
    }
    return out;
}

void TIspBootLoader::ProcessByte(char byte, std::string& out) {
    switch (state_) {
    case TState::Running:
        return;
    case TState::AwaitingSync:
        // Autobaud measures the '?'; every other byte is noise at an unknown rate.
        if (byte == isp::kSyncRequest) {
            out += isp::kSynchronized;
            out += isp::kLineEnd;
            state_ = TState::AwaitingSyncWord;
            line_.clear();
        }
        return;
    default:
        break;
    }
    if (echo_) {
        out += byte;
    }
    if (byte != '\n') {
        if (line_.size() < kMaxLineLength) {
            line_ += byte;
        }
        return;
    }
    std::string line = std::move(line_);
    line_.clear();
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    ProcessLine(line, out);
}

void TIspBootLoader::ProcessLine(std::string_view line, std::string& out) {
    switch (state_) {
    case TState::AwaitingSyncWord:
        if (line == isp::kSynchronized) {
            out += isp::kOk;
            out += isp::kLineEnd;
            state_ = TState::AwaitingCrystal;
        } else {
            state_ = TState::AwaitingSync;
        }
        return;
    case TState::AwaitingCrystal: {
        const auto kHz = isp::ParseDecimal(line);
        if (kHz && *kHz >= kMinCrystalKHz && *kHz <= kMaxCrystalKHz) {
            out += isp::kOk;
            out += isp::kLineEnd;
            state_ = TState::Commands;
        } else {
            state_ = TState::AwaitingSync;
        }
        return;
    }
    case TState::Commands:
        ProcessCommand(line, out);
        return;
    case TState::RamData:
        ProcessDataLine(line, out);
        return;
    default:
        return;
    }
}

void TIspBootLoader::ProcessCommand(std::string_view line, std::string& out) {
    const auto reply = [&out](int code) {
        out += std::to_string(code);
        out += isp::kLineEnd;
    };
    if (line.empty()) {
        return;
    }
    const auto command = isp::ParseCommandLine(line);
    if (!command) {
        reply(Code(TReturnCode::InvalidCommand));
        return;
    }
    // Every argument is a decimal number, except the mode letter that ends "G".
    std::vector<std::string_view> words = command->words;
    std::string_view mode;
    if (command->letter == 'G' && !words.empty()) {
        mode = words.back();
        words.pop_back();
    }
    std::vector<std::uint32_t> a;
    for (const std::string_view word : words) {
        const auto value = isp::ParseDecimal(word);
        if (!value) {
            reply(Code(TReturnCode::ParamError));
            return;
        }
        a.push_back(*value);
    }
    const auto expect = [&](std::size_t count) {
        if (a.size() == count) {
            return true;
        }
        reply(Code(TReturnCode::ParamError));
        return false;
    };

    switch (command->letter) {
    case 'U':
        if (expect(1)) {
            reply(Unlock(a));
        }
        return;
    case 'A':
        if (expect(1)) {
            reply(SetEcho(a));
        }
        return;
    case 'J':
        if (expect(0)) {
            reply(Code(TReturnCode::Success));
            out += std::to_string(lpc2138::kPartId);
            out += isp::kLineEnd;
        }
        return;
    case 'W':
        if (expect(2)) {
            reply(WriteToRam(a));
        }
        return;
    case 'P':
        if (expect(2)) {
            reply(Prepare(a));
        }
        return;
    case 'E':
        if (expect(2)) {
            reply(Erase(a));
        }
        return;
    case 'C':
        if (expect(3)) {
            reply(Copy(a));
        }
        return;
    case 'M':
        if (expect(3)) {
            std::string detail;
            reply(CompareMemory(a, detail));
            out += detail;
        }
        return;
    case 'G':
        if (expect(1)) {
            reply(Go(a, mode));
        }
        return;
    default:
        reply(Code(TReturnCode::InvalidCommand));
        return;
    }
}

int TIspBootLoader::Unlock(const std::vector<std::uint32_t>& a) {
    if (a[0] != lpc2138::kUnlockCode) {
        return Code(TReturnCode::InvalidCode);
    }
    unlocked_ = true;
    return Code(TReturnCode::Success);
}

int TIspBootLoader::SetEcho(const std::vector<std::uint32_t>& a) {
    if (a[0] > 1) {
        return Code(TReturnCode::ParamError);
    }
    // The echo of this very line has gone out already, byte by byte.
    echo_ = a[0] == 1;
    return Code(TReturnCode::Success);
}

int TIspBootLoader::WriteToRam(const std::vector<std::uint32_t>& a) {
    const std::uint32_t address = a[0];
    const std::uint32_t count = a[1];
    if (address % kWordSize != 0) {
        return Code(TReturnCode::AddrError);
    }
    if (count % kWordSize != 0) {
        return Code(TReturnCode::CountError);
    }
    if (!lpc2138::InRam(address, count)) {
        return Code(TReturnCode::AddrNotMapped);
    }
    if (count > 0) {
        state_ = TState::RamData;
        writeAddress_ = address;
        writeRemaining_ = count;
        block_.clear();
        blockLines_ = 0;
        blockDamaged_ = false;
    }
    return Code(TReturnCode::Success);
}

void TIspBootLoader::ProcessDataLine(std::string_view line, std::string& out) {
    const bool checksumDue = blockLines_ == kUuLinesPerBlock || writeRemaining_ == 0;
    if (!checksumDue) {
        const auto bytes = UuDecodeLine(line);
        if (bytes && !bytes->empty() && bytes->size() <= writeRemaining_) {
            block_.insert(block_.end(), bytes->begin(), bytes->end());
            writeRemaining_ -= static_cast<std::uint32_t>(bytes->size());
        } else {
            // The line is unusable, but the line count must go on so that the
            // checksum is expected where the host will send it; the checksum
            // comparison then fails and the block is asked for again.
            const auto count = std::min<std::uint32_t>(static_cast<std::uint32_t>(kUuBytesPerLine),
                                                       writeRemaining_);
            block_.insert(block_.end(), count, 0);
            writeRemaining_ -= count;
            blockDamaged_ = true;
        }
        ++blockLines_;
        return;
    }
    const auto checksum = isp::ParseDecimal(line);
    if (checksum && !blockDamaged_ && *checksum == ByteSum(block_)) {
        std::copy(block_.begin(), block_.end(), ram_.begin() + (writeAddress_ - lpc2138::kRamBase));
        writeAddress_ += static_cast<std::uint32_t>(block_.size());
        out += isp::kOk;
        if (writeRemaining_ == 0) {
            state_ = TState::Commands;
        }
    } else {
        writeRemaining_ += static_cast<std::uint32_t>(block_.size());
        out += isp::kResend;
    }
    out += isp::kLineEnd;
    block_.clear();
    blockLines_ = 0;
    blockDamaged_ = false;
}

int TIspBootLoader::Prepare(const std::vector<std::uint32_t>& a) {
    if (a[0] > a[1] || a[1] >= lpc2138::kSectorCount) {
        return Code(TReturnCode::InvalidSector);
    }
    std::fill(prepared_.begin() + a[0], prepared_.begin() + a[1] + 1, true);
    return Code(TReturnCode::Success);
}

int TIspBootLoader::Erase(const std::vector<std::uint32_t>& a) {
    if (!unlocked_) {
        return Code(TReturnCode::CmdLocked);
    }
    if (a[0] > a[1] || a[1] >= lpc2138::kSectorCount) {
        return Code(TReturnCode::InvalidSector);
    }
    if (!std::all_of(prepared_.begin() + a[0], prepared_.begin() + a[1] + 1,
                     [](bool p) { return p; })) {
        return Code(TReturnCode::SectorNotPrepared);
    }
    const std::uint32_t start = lpc2138::Sector(static_cast<int>(a[0])).start;
    const lpc2138::TSector last = lpc2138::Sector(static_cast<int>(a[1]));
    std::fill(flash_.begin() + start, flash_.begin() + last.start + last.size, kErased);
    std::fill(prepared_.begin() + a[0], prepared_.begin() + a[1] + 1, false);
    return Code(TReturnCode::Success);
}

int TIspBootLoader::Copy(const std::vector<std::uint32_t>& a) {
    const std::uint32_t destination = a[0];
    const std::uint32_t source = a[1];
    const std::uint32_t count = a[2];
    if (!unlocked_) {
        return Code(TReturnCode::CmdLocked);
    }
    if (destination % lpc2138::kFlashPageSize != 0) {
        return Code(TReturnCode::DstAddrError);
    }
    if (source % kWordSize != 0) {
        return Code(TReturnCode::SrcAddrError);
    }
    if (!AllowedCopySize(count)) {
        return Code(TReturnCode::CountError);
    }
    if (!lpc2138::InUserFlash(destination, count)) {
        return Code(TReturnCode::DstAddrNotMapped);
    }
    if (!lpc2138::InRam(source, count)) {
        return Code(TReturnCode::SrcAddrNotMapped);
    }
    const auto [first, last] = SectorsOf(destination, count);
    if (!std::all_of(prepared_.begin() + first, prepared_.begin() + last + 1,
                     [](bool p) { return p; })) {
        return Code(TReturnCode::SectorNotPrepared);
    }
    // Programming can only turn 1 bits into 0 bits.
    const std::uint8_t* from = &ram_[source - lpc2138::kRamBase];
    for (std::uint32_t i = 0; i < count; ++i) {
        flash_[destination + i] &= from[i];
    }
    std::fill(prepared_.begin() + first, prepared_.begin() + last + 1, false);
    return Code(TReturnCode::Success);
}

std::uint8_t* TIspBootLoader::Memory(std::uint32_t address, std::uint32_t count) {
    if (address < lpc2138::kFlashSize && count <= lpc2138::kFlashSize - address) {
        return &flash_[address];
    }
    if (lpc2138::InRam(address, count)) {
        return &ram_[address - lpc2138::kRamBase];
    }
    return nullptr;
}

int TIspBootLoader::CompareMemory(const std::vector<std::uint32_t>& a, std::string& out) {
    if (a[0] % kWordSize != 0 || a[1] % kWordSize != 0) {
        return Code(TReturnCode::AddrError);
    }
    if (a[2] % kWordSize != 0) {
        return Code(TReturnCode::CountError);
    }
    const std::uint8_t* first = Memory(a[0], a[2]);
    const std::uint8_t* second = Memory(a[1], a[2]);
    if (first == nullptr || second == nullptr) {
        return Code(TReturnCode::AddrNotMapped);
    }
    const auto mismatch = std::mismatch(first, first + a[2], second);
    if (mismatch.first == first + a[2]) {
        return Code(TReturnCode::Success);
    }
    out += std::to_string(mismatch.first - first);
    out += isp::kLineEnd;
    return Code(TReturnCode::CompareError);
}

int TIspBootLoader::Go(const std::vector<std::uint32_t>& a, std::string_view mode) {
    if (!unlocked_) {
        return Code(TReturnCode::CmdLocked);
    }
    if (mode != "A" && mode != "T") {
        return Code(TReturnCode::ParamError);
    }
    // ARM code starts on a word boundary, Thumb code on a halfword boundary.
    if (a[0] % (mode == "A" ? kWordSize : 2) != 0) {
        return Code(TReturnCode::AddrError);
    }
    if (Memory(a[0], kWordSize) == nullptr) {
        return Code(TReturnCode::AddrNotMapped);
    }
    state_ = TState::Running;
    return Code(TReturnCode::Success);
}

} // namespace zorvi
