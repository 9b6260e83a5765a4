// The simulated boot loader on its own, fed the bytes a host would send and
// checked byte for byte against what the chip answers.
#include "tools/instrument-sim/isp/IspBootLoader.h"
#include "tools/flash-tool/core/Lpc2138.h"
#include "tools/flash-tool/core/UuCodec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <span>
#include <string>
#include <vector>

namespace zorvi {
namespace {

constexpr std::string_view kRamBuffer = "1073742336"; // 0x40000200

// A chip synchronised at 14.318 MHz with the echo turned off.
struct TSyncedChip {
    TSyncedChip() { chip.Receive("?Synchronized\r\n14318\r\nA 0\r\n"); }
    std::string Send(std::string_view line) { return chip.Receive(std::string(line) + "\r\n"); }
    TIspBootLoader chip;
};

// Sends `data` to RAM at the transfer buffer; returns the chip's answers to the
// checksum lines, one string.
std::string WriteRam(TSyncedChip& s, const std::vector<std::uint8_t>& data, int damageLine = -1) {
    EXPECT_EQ(s.Send("W " + std::string(kRamBuffer) + " " + std::to_string(data.size())), "0\r\n");
    std::string verdicts;
    std::size_t lineInBlock = 0;
    std::uint32_t sum = 0;
    int line = 0;
    for (std::size_t offset = 0; offset < data.size(); offset += kUuBytesPerLine) {
        const auto part =
            std::span(data).subspan(offset, std::min(kUuBytesPerLine, data.size() - offset));
        std::string encoded = UuEncodeLine(part);
        if (line++ == damageLine) {
            encoded[5] = encoded[5] == '!' ? '"' : '!';
        }
        EXPECT_EQ(s.Send(encoded), "");
        sum += ByteSum(part);
        if (++lineInBlock == kUuLinesPerBlock || offset + part.size() == data.size()) {
            verdicts += s.Send(std::to_string(sum));
            lineInBlock = 0;
            sum = 0;
        }
    }
    return verdicts;
}

TEST(IspBootLoader, SynchronisesAndEchoesUntilEchoIsTurnedOff) {
    TIspBootLoader chip;
    EXPECT_EQ(chip.Receive("\x55\r\n"), "") << "noise before autobaud is ignored";
    EXPECT_EQ(chip.Receive("?"), "Synchronized\r\n");
    EXPECT_EQ(chip.Receive("Synchronized\r\n"), "Synchronized\r\nOK\r\n");
    EXPECT_EQ(chip.Receive("14318\r\n"), "14318\r\nOK\r\n");
    EXPECT_EQ(chip.Receive("J\r\n"), "J\r\n0\r\n196389\r\n");
    EXPECT_EQ(chip.Receive("A 0\r\n"), "A 0\r\n0\r\n") << "the line that turns echo off is echoed";
    EXPECT_EQ(chip.Receive("J\r\n"), "0\r\n196389\r\n");
    EXPECT_EQ(chip.Receive("A 1\r\n"), "0\r\n");
    EXPECT_EQ(chip.Receive("U 23130\r\n"), "U 23130\r\n0\r\n");
}

TEST(IspBootLoader, StartsOverWhenTheHandshakeGoesWrong) {
    TIspBootLoader chip;
    EXPECT_EQ(chip.Receive("?"), "Synchronized\r\n");
    EXPECT_EQ(chip.Receive("Synchronised\r\n"), "Synchronised\r\n");
    EXPECT_EQ(chip.State(), TIspBootLoader::TState::AwaitingSync);
    EXPECT_EQ(chip.Receive("?Synchronized\r\n"), "Synchronized\r\nSynchronized\r\nOK\r\n");
    EXPECT_EQ(chip.Receive("99999\r\n"), "99999\r\n") << "no crystal of 100 MHz";
    EXPECT_EQ(chip.State(), TIspBootLoader::TState::AwaitingSync);
}

TEST(IspBootLoader, RefusesFlashCommandsBeforeUnlock) {
    TSyncedChip s;
    EXPECT_EQ(s.Send("P 0 0"), "0\r\n") << "prepare needs no unlock";
    EXPECT_EQ(s.Send("E 0 0"), "15\r\n");
    EXPECT_EQ(s.Send("C 0 1073742336 256"), "15\r\n");
    EXPECT_EQ(s.Send("G 0 A"), "15\r\n");
    EXPECT_EQ(s.Send("U 23131"), "16\r\n");
    EXPECT_EQ(s.Send("E 0 0"), "15\r\n") << "a wrong code unlocks nothing";
    EXPECT_EQ(s.Send("U 23130"), "0\r\n");
    EXPECT_EQ(s.Send("E 0 0"), "0\r\n");
}

TEST(IspBootLoader, ErasesOnlyPreparedSectorsAndConsumesThePreparation) {
    TSyncedChip s;
    std::fill(s.chip.Flash().begin(), s.chip.Flash().end(), 0x00);
    s.Send("U 23130");
    EXPECT_EQ(s.Send("P 8 9"), "0\r\n");
    EXPECT_EQ(s.Send("E 7 9"), "9\r\n") << "sector 7 was not prepared";
    EXPECT_EQ(s.Send("E 8 9"), "0\r\n");
    EXPECT_EQ(s.Send("E 8 9"), "9\r\n") << "erasing used up the preparation";
    const auto& flash = s.chip.Flash();
    EXPECT_EQ(flash[0x7FFF], 0x00);
    EXPECT_EQ(flash[0x8000], 0xFF);
    EXPECT_EQ(flash[0x17FFF], 0xFF);
    EXPECT_EQ(flash[0x18000], 0x00);
}

TEST(IspBootLoader, RejectsBadSectorNumbers) {
    TSyncedChip s;
    s.Send("U 23130");
    EXPECT_EQ(s.Send("P 0 27"), "7\r\n") << "27 would be the boot block";
    EXPECT_EQ(s.Send("P 3 2"), "7\r\n");
    EXPECT_EQ(s.Send("E 26 27"), "7\r\n");
    EXPECT_EQ(s.Send("P 0"), "12\r\n");
    EXPECT_EQ(s.Send("P x 1"), "12\r\n");
    EXPECT_EQ(s.Send("P 26 26"), "0\r\n");
}

TEST(IspBootLoader, WritesRamAndCopiesOnlyToPreparedSectors) {
    TSyncedChip s;
    s.Send("U 23130");
    std::vector<std::uint8_t> data(256);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i ^ 0xA5);
    }
    EXPECT_EQ(WriteRam(s, data), "OK\r\n");
    EXPECT_EQ(s.Send("C 4096 1073742336 256"), "9\r\n") << "sector 1 not prepared";
    EXPECT_EQ(s.Send("P 1 1"), "0\r\n");
    EXPECT_EQ(s.Send("C 4096 1073742336 256"), "0\r\n");
    EXPECT_EQ(
        std::vector<std::uint8_t>(s.chip.Flash().begin() + 4096, s.chip.Flash().begin() + 4352),
        data);
    EXPECT_EQ(s.Send("M 4096 1073742336 256"), "0\r\n");
    EXPECT_EQ(s.Send("C 4352 1073742336 256"), "9\r\n") << "the copy used up the preparation";
}

TEST(IspBootLoader, ProgrammingOnlyClearsBits) {
    TSyncedChip s;
    s.Send("U 23130");
    std::fill(s.chip.Flash().begin(), s.chip.Flash().begin() + 256, 0xF0);
    EXPECT_EQ(WriteRam(s, std::vector<std::uint8_t>(256, 0x3C)), "OK\r\n");
    s.Send("P 0 0");
    EXPECT_EQ(s.Send("C 0 1073742336 256"), "0\r\n");
    EXPECT_EQ(s.chip.Flash()[0], 0x30);
    EXPECT_EQ(s.Send("M 0 1073742336 256"), "10\r\n0\r\n") << "compare error at offset 0";
}

TEST(IspBootLoader, AsksForABlockAgainWhenItsChecksumFails) {
    TSyncedChip s;
    std::vector<std::uint8_t> data(1000); // 20 lines (900 bytes), then 3 lines
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i * 7);
    }
    // Line 21 (in the second block) arrives damaged: the first block is taken, the
    // second asked for again.
    EXPECT_EQ(WriteRam(s, data, 21), "OK\r\nRESEND\r\n");
    EXPECT_EQ(s.chip.State(), TIspBootLoader::TState::RamData);
    const auto tail = std::span(data).subspan(900);
    EXPECT_EQ(s.Send(UuEncodeLine(tail.subspan(0, 45))), "");
    EXPECT_EQ(s.Send(UuEncodeLine(tail.subspan(45, 45))), "");
    EXPECT_EQ(s.Send(UuEncodeLine(tail.subspan(90))), "");
    EXPECT_EQ(s.Send(std::to_string(ByteSum(tail) + 1)), "RESEND\r\n") << "wrong checksum";
    for (std::size_t offset = 0; offset < tail.size(); offset += 45) {
        s.Send(UuEncodeLine(tail.subspan(offset, std::min<std::size_t>(45, tail.size() - offset))));
    }
    EXPECT_EQ(s.Send(std::to_string(ByteSum(tail))), "OK\r\n");
    EXPECT_EQ(s.chip.State(), TIspBootLoader::TState::Commands);
    EXPECT_EQ(s.Send("M 1073742336 1073742336 1000"), "0\r\n");
}

TEST(IspBootLoader, EchoesDataLinesWhileEchoIsOn) {
    TIspBootLoader chip;
    chip.Receive("?Synchronized\r\n14318\r\n");
    EXPECT_EQ(chip.Receive("W 1073742336 4\r\n"), "W 1073742336 4\r\n0\r\n");
    const std::string line = UuEncodeLine(std::vector<std::uint8_t>{1, 2, 3, 4}) + "\r\n";
    EXPECT_EQ(chip.Receive(line), line);
    EXPECT_EQ(chip.Receive("10\r\n"), "10\r\nOK\r\n");
}

TEST(IspBootLoader, ChecksAddressesCountsAndAlignment) {
    TSyncedChip s;
    s.Send("U 23130");
    s.Send("P 0 26");
    const struct {
        const char* command;
        const char* answer;
    } cases[] = {
        {"W 1073742337 4", "13\r\n"},         // RAM address not on a word boundary
        {"W 1073742336 6", "6\r\n"},          // count not a multiple of 4
        {"W 0 4", "14\r\n"},                  // not RAM
        {"W 1073774592 4", "14\r\n"},         // 0x40008000, just past the RAM
        {"C 100 1073742336 256", "3\r\n"},    // flash address not on a 256-byte boundary
        {"C 0 1073742338 256", "2\r\n"},      // RAM address not on a word boundary
        {"C 0 1073742336 300", "6\r\n"},      // not one of 256/512/1024/4096
        {"C 512000 1073742336 256", "5\r\n"}, // 0x7D000: the boot block
        {"C 0 256 256", "4\r\n"},             // the source is no RAM
        {"M 2 1073742336 4", "13\r\n"},
        {"M 0 1073742336 6", "6\r\n"},
        {"M 0 1 4", "13\r\n"},
        {"M 0 3758096384 4", "14\r\n"},
        {"G 0 X", "12\r\n"},
        {"G 2 A", "13\r\n"},
        {"G 0", "12\r\n"},
        {"Z 1 2", "1\r\n"},
        {"WW 1 2", "1\r\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(s.Send(c.command), c.answer) << c.command;
    }
}

TEST(IspBootLoader, GoLeavesTheBootLoaderUntilTheNextReset) {
    TSyncedChip s;
    s.Send("U 23130");
    EXPECT_EQ(s.Send("G 0 A"), "0\r\n");
    EXPECT_EQ(s.chip.State(), TIspBootLoader::TState::Running);
    EXPECT_EQ(s.chip.Receive("?"), "");
    s.chip.Flash()[0] = 0x12;
    s.chip.Reset();
    EXPECT_EQ(s.chip.Receive("?"), "Synchronized\r\n");
    EXPECT_EQ(s.chip.Flash()[0], 0x12) << "the flash outlives a reset";
}

TEST(IspBootLoader, ValidUserCodeNeedsTheVectorChecksum) {
    TIspBootLoader chip;
    EXPECT_FALSE(chip.HasValidUserCode()) << "erased flash";
    const std::uint32_t words[8] = {0xE59FF018, 0xE59FF018, 0xE59FF018, 0xE59FF018,
                                    0xE59FF018, 0xB8A06F58, 0xE59FF018, 0xE59FF018};
    std::memcpy(chip.Flash().data(), words, sizeof words); // little-endian host
    EXPECT_TRUE(chip.HasValidUserCode());
    chip.Flash()[20] ^= 1;
    EXPECT_FALSE(chip.HasValidUserCode());
}

} // namespace
} // namespace zorvi
