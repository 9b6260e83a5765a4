// The flashing tool's protocol code and the simulated boot loader talking to each
// other in memory, with the firmware image that goes into the update archive.
#include "LinkFakes.h"

#include "tools/flash-tool/core/FlashImage.h"
#include "tools/flash-tool/core/IntelHex.h"
#include "tools/flash-tool/core/IspHost.h"
#include "tools/flash-tool/core/Lpc2138.h"
#include "tools/flash-tool/dll/FlashMagicApi.h"
#include "tools/instrument-sim/isp/FirmwareIdentity.h"
#include "tools/instrument-sim/isp/IspBootLoader.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace zorvi {
namespace {

std::string FirmwareHexText() {
    std::ifstream in(ISP_FIRMWARE_HEX, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TFlashImage FirmwareImage() {
    THexImage hex;
    TFlashImage image;
    std::string error;
    EXPECT_TRUE(ParseIntelHex(FirmwareHexText(), hex, error)) << error;
    EXPECT_TRUE(BuildFlashImage(hex, image, error)) << error;
    return image;
}

// The chip's flash must hold the image wherever the image has data; elsewhere in
// the erased sectors 0xFF.
void ExpectFlashed(const TIspBootLoader& chip, const TFlashImage& image) {
    for (int sector : UsedSectors(image)) {
        const lpc2138::TSector s = lpc2138::Sector(sector);
        for (std::uint32_t a = s.start; a < s.start + s.size; ++a) {
            if (chip.Flash()[a] != image.bytes[a]) {
                FAIL() << "flash differs at " << a;
            }
        }
    }
}

TEST(IspEndToEnd, FlashesTheArchivesFirmwareOverOldFirmware) {
    const TFlashImage image = FirmwareImage();
    TIspBootLoader chip;
    std::fill(chip.Flash().begin(), chip.Flash().end(), 0x00); // an older program everywhere
    TBootLoaderLink link(chip);
    std::vector<std::string> progress;
    std::string error;
    ASSERT_TRUE(ProgramFlash(
        link, image, 14318, [&](const std::string& line) { progress.push_back(line); }, error))
        << error;
    ExpectFlashed(chip, image);
    EXPECT_EQ(chip.Flash()[0x18000], 0x00) << "sector 10 is not used and keeps its contents";
    EXPECT_EQ(chip.State(), TIspBootLoader::TState::Running);
    EXPECT_TRUE(chip.HasValidUserCode());
    EXPECT_EQ(progress.front(), "Synchronising with the boot loader (crystal 14318 kHz)...");
    EXPECT_NE(std::find(progress.begin(), progress.end(), "Erasing sectors 0 to 9"),
              progress.end());
    EXPECT_EQ(progress.back(), "Starting the program");
    EXPECT_EQ(link.sent.substr(0, 1), "?");
    EXPECT_NE(link.sent.find("\r\nU 23130\r\nP 0 9\r\nE 0 9\r\n"), std::string::npos);
    EXPECT_EQ(link.sent.substr(link.sent.size() - 7), "G 0 A\r\n");

    const auto identity = FindFirmwareIdentity(chip.Flash());
    ASSERT_TRUE(identity);
    EXPECT_EQ(identity->version, "1V5");
    EXPECT_EQ(identity->model, "Zorvi-41K6UV");
}

TEST(IspEndToEnd, RunsThroughTheLibrariesInterfaceWithAnswersInDribs) {
    const std::string jobText = "COM(7,115200)\r\nDEVICE(LPC2138,14.318180)\r\n"
                                "HARDWARE(BOOTEXEC,50,100)\r\nHIGHSPEED(0,115200)\r\n"
                                "ERASEUSED(Data.hex,PROTECTISP)\r\n"
                                "HEXFILE(Data.hex,NOCHECKSUMS,NOFILL,PROTECTISP)\r\n";
    char error[256] = "";
    FmJob fmJob{};
    ASSERT_EQ(FmParseJob(jobText.data(), static_cast<std::uint32_t>(jobText.size()), &fmJob, error,
                         sizeof error),
              1)
        << error;
    EXPECT_EQ(fmJob.comPort, 7);
    EXPECT_STREQ(fmJob.hexFile, "Data.hex");

    std::vector<std::uint8_t> bytes(FmFlashSize());
    std::vector<std::uint8_t> pages(FmFlashSize() / 256);
    FmFlashImage image{bytes.data(), static_cast<std::uint32_t>(bytes.size()), pages.data(),
                       static_cast<std::uint32_t>(pages.size())};
    const std::string hex = FirmwareHexText();
    ASSERT_EQ(
        FmParseHex(hex.data(), static_cast<std::uint32_t>(hex.size()), &image, error, sizeof error),
        1)
        << error;

    TIspBootLoader chip;
    TBootLoaderLink link(chip);
    link.bytesPerRead = 3; // a serial port hands over what has arrived, lines cut anywhere
    const FmLink fmLink = link.AsFmLink();
    ASSERT_EQ(FmArmProgram(&fmLink, &image, fmJob.crystalKHz, error, sizeof error), 1) << error;
    ExpectFlashed(chip, FirmwareImage());
    EXPECT_EQ(link.progress.back(), "Starting the program");
}

TEST(IspEndToEnd, LibrariesReportBadInputThroughTheirErrorText) {
    char error[40];
    FmJob job{};
    const std::string bad = "COM(5,115200)\r\n";
    EXPECT_EQ(
        FmParseJob(bad.data(), static_cast<std::uint32_t>(bad.size()), &job, error, sizeof error),
        0);
    EXPECT_STREQ(error, "the job file must have 6 lines, it has ") << "cut to the buffer";

    std::vector<std::uint8_t> bytes(FmFlashSize());
    std::vector<std::uint8_t> pages(10);
    FmFlashImage image{bytes.data(), static_cast<std::uint32_t>(bytes.size()), pages.data(), 10};
    const std::string hex = ":00000001FF\r\n";
    EXPECT_EQ(FmParseHex(hex.data(), 13, &image, error, sizeof error), 0);
    EXPECT_STREQ(error, "the image buffer does not have the size");
}

TEST(IspEndToEnd, SendsADamagedBlockAgain) {
    const TFlashImage image = FirmwareImage();
    TIspBootLoader chip;
    TBootLoaderLink link(chip);
    int dataLines = 0;
    link.tamper = [&](std::string& bytes) {
        // The 30th UU data line (second block of the first write) is hit by noise once.
        if (chip.State() == TIspBootLoader::TState::RamData && bytes.size() > 40 &&
            ++dataLines == 30) {
            bytes[10] = static_cast<char>(bytes[10] == '!' ? '"' : '!');
        }
    };
    std::vector<std::string> progress;
    std::string error;
    ASSERT_TRUE(ProgramFlash(
        link, image, 14318, [&](const std::string& line) { progress.push_back(line); }, error))
        << error;
    ExpectFlashed(chip, image);
    EXPECT_NE(std::find(progress.begin(), progress.end(), "Data blocks sent again after RESEND: 1"),
              progress.end());
}

TEST(IspEndToEnd, GivesUpOnALineThatKeepsDamagingABlock) {
    TIspBootLoader chip;
    TBootLoaderLink link(chip);
    link.tamper = [&](std::string& bytes) {
        if (chip.State() == TIspBootLoader::TState::RamData && bytes.size() > 40) {
            bytes[10] = static_cast<char>(bytes[10] == '!' ? '"' : '!');
        }
    };
    std::string error;
    ASSERT_FALSE(ProgramFlash(
        link, FirmwareImage(), 14318, [](const std::string&) {}, error));
    EXPECT_EQ(error, "the boot loader asked to resend the data at 0x40000200 4 times");
}

TEST(IspEndToEnd, FailsAfterSomeAttemptsWhenNoBootLoaderAnswers) {
    TIspBootLoader chip;
    chip.Receive("?Synchronized\r\n14318\r\nU 23130\r\nG 0 A\r\n"); // the program runs
    TBootLoaderLink link(chip);
    std::string error;
    ASSERT_FALSE(ProgramFlash(
        link, FirmwareImage(), 14318, [](const std::string&) {}, error));
    EXPECT_EQ(error, "the boot loader did not answer \"?\" with \"Synchronized\" after 5 attempts");
    EXPECT_EQ(link.sent, "?????");
    EXPECT_EQ(link.emptyReads, 5) << "one time-out per attempt";
}

TEST(IspEndToEnd, NamesTheReturnCodeOfAFailedCommand) {
    TIspBootLoader chip;
    TBootLoaderLink link(chip);
    TIspHost host(link);
    ASSERT_TRUE(host.Synchronise(14318)) << host.LastError();
    EXPECT_FALSE(host.Erase(0, 0));
    EXPECT_EQ(host.LastError(), "\"E 0 0\" failed: CMD_LOCKED (15)");
    EXPECT_EQ(host.LastReturnCode(), 15);
    ASSERT_TRUE(host.SetEcho(false));
    EXPECT_FALSE(host.Prepare(0, 30));
    EXPECT_EQ(host.LastError(), "\"P 0 30\" failed: INVALID_SECTOR (7)");
}

TEST(IspEndToEnd, ReportsAnAnswerThatIsNoReturnCode) {
    TIspBootLoader chip;
    TBootLoaderLink link(chip);
    TIspHost host(link);
    ASSERT_TRUE(host.Synchronise(14318));
    link.tamper = [](std::string& bytes) {
        if (bytes == "U 23130\r\n") {
            bytes = "U 23130 x\r\n"; // the chip answers PARAM_ERROR, but echoes the changed line
        }
    };
    EXPECT_FALSE(host.Unlock());
    EXPECT_EQ(host.LastError(), "expected \"U 23130\" from the boot loader, got \"U 23130 x\"");
}

} // namespace
} // namespace zorvi
