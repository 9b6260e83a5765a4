#include "common/CodePage.h"

#include <gtest/gtest.h>

namespace zorvi {
namespace {

TEST(CodePage, DecodesCyrillicOfBothPages) {
    // "Прибор" in 1251 and in 866.
    EXPECT_EQ(ToUtf8("\xCF\xF0\xE8\xE1\xEE\xF0", TCodePage::Windows1251), "Прибор");
    EXPECT_EQ(ToUtf8("\x8F\xE0\xA8\xA1\xAE\xE0", TCodePage::Dos866), "Прибор");
    EXPECT_EQ(ToUtf8("abc\x01", TCodePage::Dos866), "abc\x01");
}

TEST(CodePage, RoundTripsEveryByteOfBothPages) {
    for (const auto page : {TCodePage::Windows1251, TCodePage::Dos866}) {
        std::string all;
        for (int b = 1; b < 256; ++b) {
            all += static_cast<char>(b);
        }
        EXPECT_EQ(FromUtf8(ToUtf8(all, page), page), all);
    }
}

TEST(CodePage, UnmappableAndBrokenInputBecomesQuestionMark) {
    EXPECT_EQ(FromUtf8("a\xE2\x82\xAC", TCodePage::Dos866), "a?");      // euro sign
    EXPECT_EQ(FromUtf8("\xC3\x28x", TCodePage::Windows1251), "?(x");     // broken sequence
    EXPECT_EQ(FromUtf8("\xE0\x80\xAF", TCodePage::Windows1251), "???"); // overlong '/'
    EXPECT_FALSE(IsValidUtf8("\xE0\x80\xAF"));
    EXPECT_FALSE(IsValidUtf8("\xD0"));
    EXPECT_TRUE(IsValidUtf8("Обновление"));
}

} // namespace
} // namespace zorvi
