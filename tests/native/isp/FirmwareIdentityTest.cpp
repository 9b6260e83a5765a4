#include "tools/instrument-sim/isp/FirmwareIdentity.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zorvi {
namespace {

// An image: filler, NUL, the text, NUL, more filler.
std::vector<std::uint8_t> ImageWith(std::string_view text) {
    std::vector<std::uint8_t> image(300, 0xE5);
    image.push_back(0);
    image.insert(image.end(), text.begin(), text.end());
    image.push_back(0);
    image.resize(image.size() + 200, 0xFF);
    return image;
}

TEST(FirmwareIdentity, FindsModelVersionAndDateInTheirText) {
    const std::string text = "\xC7\xCE\xD0\xC2\xC8\r\nZorvi-41K6UV\r\nSoftware version: 1V5\r\n"
                             "Date: 07.09.2015\r\n";
    const auto identity = FindFirmwareIdentity(ImageWith(text));
    ASSERT_TRUE(identity);
    EXPECT_EQ(identity->model, "Zorvi-41K6UV");
    EXPECT_EQ(identity->version, "1V5");
    EXPECT_EQ(identity->date, "07.09.2015");
    EXPECT_EQ(identity->text, text);
}

TEST(FirmwareIdentity, FindsNothingInErasedOrForeignImages) {
    EXPECT_FALSE(FindFirmwareIdentity(std::vector<std::uint8_t>(4096, 0xFF)));
    EXPECT_FALSE(
        FindFirmwareIdentity(ImageWith("Zorvi-41K6UV,\r\nSoftware version: 1V5\r\nDate: x\r\n")))
        << "the model inside a longer word";
    EXPECT_FALSE(
        FindFirmwareIdentity(ImageWith("zorvi-41k6uv\r\nSoftware version: 1V5\r\nDate: x\r\n")))
        << "another letter case";
    EXPECT_FALSE(
        FindFirmwareIdentity(ImageWith("Zorvi-41K6UV\r\nDate: x\r\nSoftware version: 1V5\r\n")))
        << "the date before the version";
    EXPECT_FALSE(
        FindFirmwareIdentity(ImageWith("Zorvi-41K6UV\r\nSoftware version: 1V5\r\nDate: x")))
        << "the date line without CR LF";
}

TEST(FirmwareIdentity, TakesTheTextThatHoldsTheModel) {
    // A version string of a library comes first, in a text of its own.
    std::vector<std::uint8_t> image = ImageWith("Software version: 9.9\r\nDate: 2001\r\n");
    const std::vector<std::uint8_t> second =
        ImageWith("Zorvi-41K6UV\r\nSoftware version: 1V5\r\nDate: 07.09.2015\r\n");
    image.insert(image.end(), second.begin(), second.end());
    const auto identity = FindFirmwareIdentity(image);
    ASSERT_TRUE(identity);
    EXPECT_EQ(identity->version, "1V5");
}

} // namespace
} // namespace zorvi
