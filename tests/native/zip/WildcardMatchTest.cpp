#include "zip/WildcardMatch.h"

#include <gtest/gtest.h>

namespace zorvi {
namespace {

struct TCase {
    const char* Pattern;
    const char* Name;
    int Result;
};

void ExpectCodes(std::initializer_list<TCase> cases) {
    for (const TCase& c : cases) {
        EXPECT_EQ(MatchPattern(c.Pattern, c.Name), c.Result)
            << "pattern '" << c.Pattern << "' name '" << c.Name << "'";
    }
}

TEST(WildcardMatch, StarsAndQuestionMarks) {
    ExpectCodes({
        {"*", "", kMatchValid},
        {"*", "sub\\any.thing", kMatchValid},
        {"*.*", "data.hex", kMatchValid},
        {"*.*", "sub\\a.b", kMatchValid}, // the star runs across backslashes
        {"*.*", "readme", kMatchAbort},
        {"a?c", "abc", kMatchValid},
        {"a?c", "ac", kMatchAbort},
        {"abc", "abcd", kMatchEnd},
        {"abd", "abc", kMatchLiteral},
        {"*?", "a", kMatchAbort}, // a star before ? needs a character of its own
        {"*?", "ab", kMatchValid},
        {"abc*", "abc", kMatchValid}, // a final star may match nothing
        {"abc*<x>", "abc", kMatchAbort},
        {"*.txt", "sub\\x.txt", kMatchValid},
        {"[a].txt", "[a].txt", kMatchValid}, // square brackets are ordinary
        {"[a].txt", "a.txt", kMatchLiteral},
    });
}

TEST(WildcardMatch, SingleCharacterClasses) {
    ExpectCodes({
        {"<a-c>x", "bx", kMatchValid},
        {"<a-c>x", "dx", kMatchRange},
        {"<!a-c>x", "dx", kMatchValid},
        {"<!a-c>x", "bx", kMatchRange},
        {"<^a-c>x", "dx", kMatchValid},
        {"<^a-c>x", "bx", kMatchRange},
        {"<xyz>", "y", kMatchValid},
        {"<xa-c>", "b", kMatchValid},
        {"<ab", "a", kMatchPatternBad},
        {"<ab", "c", kMatchPatternBad},
        {"<>", "a", kMatchPatternBad},
        {"<!>", "a", kMatchPatternBad},
        {"<a->", "a", kMatchPatternBad},
        {"<a-", "a", kMatchPatternBad},
        {"<a>", "", kMatchAbort},
    });
}

TEST(WildcardMatch, StarFollowedByClassMatchesARunOfIt) {
    ExpectCodes({
        {"*<0-9>.log", "2024.log", kMatchValid},
        {"*<0-9>.log", ".log", kMatchValid}, // a run of no digits
        {"*<0-9>.log", "20a4.log", kMatchAbort},
        {"*<0-9>", "12", kMatchValid},
        {"*<0-9>", "1a", kMatchAbort},
        {"*<0-9>", "", kMatchAbort},
        {"*<>", "a", kMatchAbort}, // an empty star class
        {"*<!0-9>x", "abx", kMatchValid},
        {"*<!0-9>x", "a1x", kMatchAbort},
        // The star's class still holds after a failed try of the rest of the mask.
        {"*<0-9>.log", "1.x.log", kMatchAbort},
    });
}

TEST(WildcardMatch, ManyStarsAgainstLongNamesKeepTheirResultCodes) {
    // Tried one position at a time per star, these take years: every star multiplies the
    // attempts by the name's length. Each verdict below is the one that procedure gives
    // (checked against it on shorter names of the same shape).
    const std::string a200(200, 'a');
    std::string tenStars;
    for (int i = 0; i < 10; ++i) {
        tenStars += "*a";
    }
    std::string manyStars;
    for (int i = 0; i < 500; ++i) {
        manyStars += "*<a-b>?";
    }
    const std::string tenB = tenStars + "b";
    const std::string manyB = manyStars + "*b";
    const std::string a2000(2000, 'a');
    ExpectCodes({
        {"*a*a*a*b", a200.c_str(), kMatchAbort},
        {"*a*a*a*b", (a200 + "b").c_str(), kMatchValid},
        {tenB.c_str(), std::string(60, 'a').c_str(), kMatchAbort},
        {tenB.c_str(), (a200 + "ab").c_str(), kMatchValid},
        {"*a?*a?*a?*ab", (a200 + "b").c_str(), kMatchValid},
        {"*a*a*a*b<c>", (a200 + "bc").c_str(), kMatchValid},
        {"*a*a*a*b<c>", (a200 + "bd").c_str(), kMatchAbort},
        {manyB.c_str(), a2000.c_str(), kMatchAbort},
        {manyB.c_str(), (a2000 + "b").c_str(), kMatchValid},
        {"b*a*a*a*b", a200.c_str(), kMatchLiteral},
    });
}

TEST(WildcardMatch, MatchesMaskIgnoresTheCaseOfAsciiLettersOnly) {
    EXPECT_TRUE(MatchesMask("ABC.TXT", "abc.txt"));
    EXPECT_TRUE(MatchesMask("*.txt", "a\\b.TXT"));
    EXPECT_FALSE(MatchesMask("\xC0", "\xE0")); // Cyrillic А and а in 1251: not folded
    EXPECT_EQ(LowerAscii("AbC\xC0"), "abc\xC0");
}

} // namespace
} // namespace zorvi
