#include "common/LogText.h"

#include <gtest/gtest.h>

namespace zorvi {
namespace {

TEST(LogText, EveryRowIsOneLineEndedByCrLf) {
    // Rows as AddLogLine makes them: the log's blank, the callers' indentation,
    // the empty separator row, and a failure text with a line break inside.
    const std::vector<std::string> rows = {
        " Подключение к прибору...",
        "    Операция прервана.",
        " ",
        " Ошибка! Калибровка не стартовала!\r\nПопробуйте сначала",
        " Прибор обнаружен, Модель:Zorvi-41K6UV\r\n",
    };
    EXPECT_EQ(LogText(rows), " Подключение к прибору...\r\n"
                             "    Операция прервана.\r\n"
                             " \r\n"
                             " Ошибка! Калибровка не стартовала! Попробуйте сначала\r\n"
                             " Прибор обнаружен, Модель:Zorvi-41K6UV \r\n");
    EXPECT_EQ(LogText({}), "");
}

TEST(LogText, EachLineBreakInsideARowBecomesOneBlank) {
    EXPECT_EQ(LogRowLine("a\r\nb"), "a b");
    EXPECT_EQ(LogRowLine("a\rb\nc"), "a b c");
    EXPECT_EQ(LogRowLine("a\n\rb"), "a  b") << "LF CR is two breaks";
    EXPECT_EQ(LogRowLine("a\r\n\r\nb"), "a  b");
    EXPECT_EQ(LogRowLine("\r"), " ");
    EXPECT_EQ(LogRowLine("  x\t"), "  x\t");
}

TEST(LogText, FileNameCarriesDateAndTimeWithLeadingZeros) {
    EXPECT_EQ(LogFileName(2024, 3, 7, 9, 5), "ZorviUpdate-2024-03-07-0905.log");
    EXPECT_EQ(LogFileName(2025, 12, 31, 23, 59), "ZorviUpdate-2025-12-31-2359.log");
}

} // namespace
} // namespace zorvi
