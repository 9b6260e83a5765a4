#include "tools/flash-tool/core/JobFile.h"

#include <gtest/gtest.h>

#include <string>

namespace zorvi {
namespace {

// The job file exactly as the update workflow writes it for COM5.
constexpr std::string_view kWorkflowJob = "COM(5,115200)\r\n"
                                          "DEVICE(LPC2138,14.318180)\r\n"
                                          "HARDWARE(BOOTEXEC,50,100)\r\n"
                                          "HIGHSPEED(0,115200)\r\n"
                                          "ERASEUSED(Data.hex,PROTECTISP)\r\n"
                                          "HEXFILE(Data.hex,NOCHECKSUMS,NOFILL,PROTECTISP)\r\n";

std::string WithLine(int number, std::string_view replacement) {
    std::string text(kWorkflowJob);
    std::size_t begin = 0;
    for (int i = 1; i < number; ++i) {
        begin = text.find("\r\n", begin) + 2;
    }
    const std::size_t end = text.find("\r\n", begin);
    return text.replace(begin, end - begin, replacement);
}

std::string ErrorOf(std::string_view text) {
    TFlashJob job;
    std::string error;
    return ParseJobFile(text, job, error) ? "" : error;
}

TEST(JobFile, ReadsTheWorkflowsJob) {
    TFlashJob job;
    std::string error;
    ASSERT_TRUE(ParseJobFile(kWorkflowJob, job, error)) << error;
    EXPECT_EQ(job.comPort, 5);
    EXPECT_EQ(job.baudRate, 115200u);
    EXPECT_EQ(job.device, "LPC2138");
    EXPECT_EQ(job.crystalKHz, 14318u);
    EXPECT_TRUE(job.resetThroughControlLines);
    EXPECT_EQ(job.resetPulseMs, 50u);
    EXPECT_EQ(job.bootDelayMs, 100u);
    EXPECT_FALSE(job.highSpeed);
    EXPECT_EQ(job.hexFile, "Data.hex");

    ASSERT_TRUE(ParseJobFile(WithLine(1, "COM(12,115200)"), job, error)) << error;
    EXPECT_EQ(job.comPort, 12);
}

TEST(JobFile, ReadsTheArchivesSampleWithBlanksAndLfLineEnds) {
    TFlashJob job;
    std::string error;
    ASSERT_TRUE(ParseJobFile("COM(3, 19200)\n"
                             "DEVICE(LPC2138, 14.318180)\n"
                             "HARDWARE(BOOTEXEC, 50, 100)\n"
                             "HIGHSPEED(0, 19200)\n"
                             "ERASEUSED(Data.hex, PROTECTISP)\n"
                             "HEXFILE(Data.hex, NOCHECKSUMS, NOFILL, PROTECTISP)",
                             job, error))
        << error;
    EXPECT_EQ(job.comPort, 3);
    EXPECT_EQ(job.baudRate, 19200u);
}

TEST(JobFile, RejectsAWrongNumberOfLines) {
    EXPECT_EQ(ErrorOf(""), "the job file must have 6 lines, it has 0");
    EXPECT_EQ(ErrorOf(std::string(kWorkflowJob) + "COM(5,115200)\r\n"),
              "the job file must have 6 lines, it has 7");
    EXPECT_EQ(ErrorOf(std::string(kWorkflowJob) + "\r\n\r\n"), "")
        << "extra line ends are no lines";
}

TEST(JobFile, RejectsEachLineThatIsNotWhatItMustBe) {
    const struct {
        int line;
        const char* text;
    } cases[] = {
        {1, "COM(0,115200)"},
        {1, "COM(COM5,115200)"},
        {1, "COM(5,115201)"},
        {1, "COM5,115200"},
        {1, "PORT(5,115200)"},
        {1, "COM(5)"},
        {2, "DEVICE(LPC2148,14.318180)"},
        {2, "DEVICE(LPC2138,14,318180)"},
        {2, "DEVICE(LPC2138,99.0)"},
        {2, "DEVICE(LPC2138,)"},
        {3, "HARDWARE(RESET,50,100)"},
        {3, "HARDWARE(BOOTEXEC,50)"},
        {4, "HIGHSPEED(2,115200)"},
        {4, "HIGHSPEED(0,fast)"},
        {5, "ERASEUSED(,PROTECTISP)"},
        {5, "ERASEALL(Data.hex,PROTECTISP)"},
        {6, "HEXFILE(Other.hex,NOCHECKSUMS,NOFILL,PROTECTISP)"},
        {6, "HEXFILE(Data.hex,CHECKSUMS,NOFILL,PROTECTISP)"},
        {6, "HEXFILE(Data.hex)"},
    };
    for (const auto& c : cases) {
        const std::string error = ErrorOf(WithLine(c.line, c.text));
        EXPECT_EQ(error.substr(0, 7), "line " + std::to_string(c.line) + " ") << c.text;
        EXPECT_NE(error.find(c.text), std::string::npos)
            << "the message quotes the line: " << error;
    }
}

TEST(JobFile, MatchesTheHexFileNamesWithoutRegardToCase) {
    TFlashJob job;
    std::string error;
    ASSERT_TRUE(
        ParseJobFile(WithLine(6, "HEXFILE(DATA.HEX,PROTECTISP,NOFILL,NOCHECKSUMS)"), job, error))
        << error;
    EXPECT_EQ(job.hexFile, "DATA.HEX");
}

} // namespace
} // namespace zorvi
