// Every parser and the boot loader take bytes from outside. Here each gets many
// seeded random inputs close to valid ones (run under the sanitizers this finds
// out-of-range accesses and overflows); each must give an answer or a message,
// never crash, and the boot loader must keep its memory sizes and answer in its
// own alphabet.
#include "tools/flash-tool/core/FlashImage.h"
#include "tools/flash-tool/core/IntelHex.h"
#include "tools/flash-tool/core/JobFile.h"
#include "tools/flash-tool/core/Lpc2138.h"
#include "tools/flash-tool/core/UuCodec.h"
#include "tools/instrument-sim/isp/IspBootLoader.h"

#include <gtest/gtest.h>

#include <random>

namespace zorvi {
namespace {

// Numbers near the edges that matter: 0, word and page boundaries, RAM and flash
// ends, sector numbers, and values that overflow when added to.
std::string EdgeNumber(std::mt19937& random) {
    static constexpr std::uint32_t kEdges[] = {
        0,          1,          3,          4,          7,          8,          21,
        26,         27,         255,        256,        257,        512,        1024,
        4096,       4097,       0x7D000,    0x7CF00,    0x80000,    0x40000000, 0x40000200,
        0x40007FFC, 0x40008000, 0xFFFFFF00, 0xFFFFFFFC, 0xFFFFFFFF, 23130,      14318};
    if (random() % 8 == 0) {
        return std::to_string(random()) + (random() % 2 ? "9" : ""); // may not fit 32 bits
    }
    return std::to_string(kEdges[random() % std::size(kEdges)]);
}

// A command letter with, mostly, the number of arguments it takes.
std::string RandomCommand(std::mt19937& random) {
    static constexpr struct {
        char letter;
        int arguments;
    } kCommands[] = {{'U', 1}, {'A', 1}, {'J', 0}, {'W', 2}, {'P', 2}, {'E', 2},
                     {'C', 3}, {'M', 3}, {'G', 1}, {'K', 0}, {'Z', 1}, {'?', 0}};
    const auto& command = kCommands[random() % std::size(kCommands)];
    std::string line(1, command.letter);
    const int words = random() % 4 == 0 ? static_cast<int>(random() % 5) : command.arguments;
    for (int i = 0; i < words; ++i) {
        line += ' ';
        line += random() % 20 == 0 ? std::string(1, "AT-x"[random() % 4]) : EdgeNumber(random);
    }
    if (command.letter == 'G' && random() % 4 != 0) {
        line += random() % 2 ? " A" : " T";
    }
    return line;
}

std::string RandomBytes(std::mt19937& random, std::size_t count) {
    std::string bytes(count, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(random());
    }
    return bytes;
}

TEST(RandomInput, BootLoaderKeepsItsShapeAndAlphabet) {
    std::mt19937 random(20150907);
    TIspBootLoader chip;
    int successes = 0;
    for (int round = 0; round < 3000; ++round) {
        if (chip.State() == TIspBootLoader::TState::AwaitingSync ||
            chip.State() == TIspBootLoader::TState::Running || random() % 200 == 0) {
            chip.Reset();
            chip.Receive("?Synchronized\r\n14318\r\nA 0\r\nU 23130\r\n");
        }
        std::string input;
        switch (random() % 4) {
        case 0:
            input = RandomBytes(random, random() % 80);
            break;
        case 1: {
            std::vector<std::uint8_t> data(random() % 46);
            for (auto& b : data) {
                b = static_cast<std::uint8_t>(random());
            }
            input = (data.empty() ? std::string("`") : UuEncodeLine(data)) + "\r\n";
            break;
        }
        default:
            input = RandomCommand(random) + "\r\n";
        }
        const std::string answer = chip.Receive(input);
        successes += answer.rfind("0\r\n", 0) == 0;
        if (!chip.Echo()) {
            for (const char c : answer) {
                ASSERT_TRUE((c >= ' ' && c <= '~') || c == '\r' || c == '\n')
                    << "answer to \"" << input << "\"";
            }
        }
        ASSERT_EQ(chip.Flash().size(), lpc2138::kFlashSize);
    }
    EXPECT_GT(successes, 100) << "the inputs must reach the commands' work, not only their checks";
}

TEST(RandomInput, HexParserRejectsOrAcceptsDamagedFilesCleanly) {
    const std::string valid = ":020000040000FA\r\n"
                              ":10000000000102030405060708090A0B0C0D0E0F78\r\n"
                              ":10001000101112131415161718191A1B1C1D1E1F68\r\n"
                              ":0400000500000000F7\r\n"
                              ":00000001FF\r\n";
    std::mt19937 random(4868);
    static constexpr char kAlphabet[] = ":0123456789ABCDEFabcdef\r\nG ";
    for (int round = 0; round < 5000; ++round) {
        std::string text = valid;
        const int changes = 1 + static_cast<int>(random() % 4);
        for (int i = 0; i < changes; ++i) {
            const std::size_t at = random() % text.size();
            switch (random() % 3) {
            case 0:
                text[at] = kAlphabet[random() % (sizeof kAlphabet - 1)];
                break;
            case 1:
                text.erase(at, 1 + random() % 3);
                break;
            default:
                text.insert(at, 1, kAlphabet[random() % (sizeof kAlphabet - 1)]);
            }
        }
        THexImage hex;
        TFlashImage image;
        std::string error;
        if (ParseIntelHex(text, hex, error)) {
            EXPECT_TRUE(error.empty());
            if (!BuildFlashImage(hex, image, error)) {
                EXPECT_FALSE(error.empty());
            }
        } else {
            EXPECT_FALSE(error.empty()) << text;
        }
    }
}

TEST(RandomInput, JobFileParserRejectsOrAcceptsDamagedJobsCleanly) {
    const std::string valid = "COM(5,115200)\r\nDEVICE(LPC2138,14.318180)\r\n"
                              "HARDWARE(BOOTEXEC,50,100)\r\nHIGHSPEED(0,115200)\r\n"
                              "ERASEUSED(Data.hex,PROTECTISP)\r\n"
                              "HEXFILE(Data.hex,NOCHECKSUMS,NOFILL,PROTECTISP)\r\n";
    std::mt19937 random(178);
    static constexpr char kAlphabet[] = "(),. 0123456789\r\n\xC0";
    for (int round = 0; round < 5000; ++round) {
        std::string text = valid;
        const std::size_t at = random() % text.size();
        if (random() % 2) {
            text[at] = kAlphabet[random() % (sizeof kAlphabet - 1)];
        } else {
            text.erase(at, 1 + random() % 8);
        }
        TFlashJob job;
        std::string error;
        if (!ParseJobFile(text, job, error)) {
            EXPECT_FALSE(error.empty()) << text;
        } else {
            EXPECT_GE(job.comPort, 1);
            EXPECT_LE(job.comPort, 255);
        }
    }
}

} // namespace
} // namespace zorvi
