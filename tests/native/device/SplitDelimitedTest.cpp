#include "device/SplitDelimited.h"

#include <gtest/gtest.h>

namespace zorvi {
namespace {

using TItems = std::vector<std::string>;

TItems Split(char delimiter, std::string_view text) {
    TItems items{"left over"};
    SplitDelimited(delimiter, text, items);
    return items;
}

TEST(SplitDelimited, ControlCharactersAndBlanksSeparateLikeTheDelimiter) {
    EXPECT_EQ(Split(',', "Zorvi-41K6UV"), TItems{"Zorvi-41K6UV"});
    EXPECT_EQ(Split(',', "a,b c\td"), (TItems{"a", "b", "c", "d"}));
    EXPECT_EQ(Split('\r', "\r\n  Zorvi-41K6UV\r\nSoftware version: 1V5\r\n"),
              (TItems{"Zorvi-41K6UV", "Software", "version:", "1V5"}));
    EXPECT_EQ(Split(',', ""), TItems{});
    EXPECT_EQ(Split(',', " \x01\x1F "), TItems{});
}

TEST(SplitDelimited, DelimitersMakeEmptyItems) {
    EXPECT_EQ(Split(',', "a,,b"), (TItems{"a", "", "b"}));
    EXPECT_EQ(Split(',', ",a"), (TItems{"", "a"}));
    EXPECT_EQ(Split(',', "a,"), (TItems{"a", ""}));
    // A delimiter followed only by separators is not the last character.
    EXPECT_EQ(Split(',', "a, "), TItems{"a"});
    // A word followed by the delimiter is not the word alone.
    EXPECT_EQ(Split(',', "Zorvi-41K6UV,x"), (TItems{"Zorvi-41K6UV", "x"}));
    EXPECT_EQ(Split('\r', "Zorvi-41K6UV,"), TItems{"Zorvi-41K6UV,"});
}

TEST(SplitDelimited, QuotedItems) {
    EXPECT_EQ(Split(',', "\"a b\",c"), (TItems{"a b", "c"}));
    EXPECT_EQ(Split(',', "\"say \"\"hi\"\"\""), TItems{"say \"hi\""});
    EXPECT_EQ(Split(',', "\"unterminated x"), TItems{"unterminated x"});
    EXPECT_EQ(Split(',', "a\"b"), TItems{"a\"b"});
}

TEST(SplitDelimited, TextEndsAtTheFirstZeroByte) {
    using namespace std::string_view_literals;
    EXPECT_EQ(Split('\r', "one\r\ntwo\0three\r\n"sv), (TItems{"one", "two"}));
    EXPECT_EQ(Split('\r', "\0Zorvi-41K6UV"sv), TItems{});
}

} // namespace
} // namespace zorvi
