// The matcher walks mask and name side by side. A star hands over to
// MatchAfterStar, which tries the rest of the mask at every later position of the
// name whose character could start it, and which also enforces the star's class
// (if the star has one) on every character the star swallows.
//
// Each star keeps its own class: a recursive MatchPattern (trying the rest of the
// mask) starts with no class of its own, and the class of the star that called it
// still applies to the characters that star goes on to swallow afterwards.
#include "zip/WildcardMatch.h"

#include <bitset>
#include <cstdint>

namespace zorvi {
namespace {

/// The class that follows a star: the byte values it accepts, or rejects when negated.
struct TStarClass {
    std::bitset<256> set;
    bool negated = false;

    bool Constrains() const { return set.any(); }
    bool Accepts(char c) const { return set.test(static_cast<std::uint8_t>(c)) != negated; }
};

// Out-of-range positions read as NUL, as the character after the end of a text does
// in the system this matcher is written for; no mask or name character is NUL-sensitive.
char At(std::string_view text, std::size_t i) {
    return i < text.size() ? text[i] : '\0';
}

std::uint8_t Byte(char c) {
    return static_cast<std::uint8_t>(c);
}

int MatchAfterStar(std::string_view pattern, std::string_view name, const TStarClass& star);

/// Builds the class that starts at pattern[p] == '<' after a star; leaves p past '>'.
/// A class that never closes leaves the set empty.
void BuildStarClass(std::string_view pattern, std::size_t& p, TStarClass& star) {
    star = {};
    ++p; // past '<'
    if (p >= pattern.size()) {
        return;
    }
    if (pattern[p] == '!' || pattern[p] == '^') {
        star.negated = true;
        ++p;
    }
    while (p < pattern.size() && pattern[p] != '>') {
        if (At(pattern, p + 1) == '-' && p + 2 < pattern.size()) {
            for (unsigned c = Byte(pattern[p]); c <= Byte(pattern[p + 2]); ++c) {
                star.set.set(c);
            }
            p += 3;
        } else {
            star.set.set(Byte(pattern[p]));
            ++p;
        }
    }
    if (p >= pattern.size()) {
        star.set.reset();
    }
    ++p; // past '>'
}

/// Matches the single-character class at pattern[p] == '<' against c; leaves p past '>'.
int MatchClass(std::string_view pattern, std::size_t& p, char c) {
    ++p; // past '<'
    bool negated = false;
    if (At(pattern, p) == '!' || At(pattern, p) == '^') {
        negated = true;
        ++p;
    }
    if (p >= pattern.size() || pattern[p] == '>') {
        return kMatchPatternBad;
    }
    bool matched = false;
    while (!matched && At(pattern, p) != '>') {
        if (p >= pattern.size()) {
            return kMatchPatternBad;
        }
        std::uint8_t low = Byte(pattern[p]);
        std::uint8_t high = low;
        if (At(pattern, p + 1) == '-') {
            if (p + 2 >= pattern.size() || pattern[p + 2] == '>') {
                return kMatchPatternBad;
            }
            high = Byte(pattern[p + 2]);
            p += 3;
        } else {
            ++p;
        }
        matched = Byte(c) >= low && Byte(c) <= high;
    }
    if (negated == matched) {
        return kMatchRange;
    }
    if (matched) {
        while (p < pattern.size() && pattern[p] != '>') {
            ++p;
        }
        if (p >= pattern.size()) {
            return kMatchPatternBad;
        }
    }
    ++p; // past '>'
    return 0;
}

int MatchPatternFrom(std::string_view pattern, std::string_view name) {
    if (pattern == "*") {
        return kMatchValid;
    }
    std::size_t p = 0;
    std::size_t n = 0;
    int r = 0;
    while (r == 0 && p < pattern.size()) {
        if (n >= name.size()) {
            r = (pattern[p] == '*' && p + 1 == pattern.size()) ? kMatchValid : kMatchAbort;
            break;
        }
        if (pattern[p] == '*') {
            TStarClass star;
            if (At(pattern, p + 1) == '<') {
                ++p;
                BuildStarClass(pattern, p, star);
                if (!star.Constrains()) {
                    r = kMatchAbort;
                    break;
                }
            }
            r = MatchAfterStar(pattern.substr(std::min(p, pattern.size())), name.substr(n), star);
            // No position of the name could start the rest of the mask: the star has
            // nowhere to end, so the name cannot match.
            if (r == 0) {
                r = kMatchAbort;
            }
        } else if (pattern[p] == '<') {
            r = MatchClass(pattern, p, name[n]);
            ++n;
        } else {
            if (pattern[p] != '?' && pattern[p] != name[n]) {
                r = kMatchLiteral;
            }
            ++p;
            ++n;
        }
    }
    if (r == 0) {
        r = n < name.size() ? kMatchEnd : kMatchValid;
    }
    return r;
}

int MatchAfterStar(std::string_view pattern, std::string_view name, const TStarClass& star) {
    std::size_t i = 0;
    std::size_t j = 0;
    int r = 0;
    if (!pattern.empty()) {
        // Stars and question marks right after the star: each "?" takes one character.
        while (j < name.size() && i < pattern.size() && (pattern[i] == '*' || pattern[i] == '?')) {
            if (pattern[i] == '?') {
                ++j;
            }
            ++i;
        }
    }
    if (j >= name.size()) {
        return kMatchAbort; // also when the mask is used up: *? needs two characters
    }
    if (!pattern.empty() && i >= pattern.size()) {
        return kMatchValid;
    }
    do {
        if (!pattern.empty() && (pattern[i] == name[j] || pattern[i] == '<')) {
            r = MatchPatternFrom(pattern.substr(i), name.substr(j));
        }
        if (r != kMatchValid && star.Constrains() && !star.Accepts(name[j])) {
            return kMatchAbort;
        }
        ++j;
    } while (r != kMatchValid && j < name.size());
    if (i >= pattern.size() && j >= name.size()) {
        r = kMatchValid;
    }
    return r;
}

} // namespace

std::string LowerAscii(std::string_view text) {
    std::string lowered(text);
    for (char& c : lowered) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lowered;
}

int MatchPattern(std::string_view pattern, std::string_view name) {
    return MatchPatternFrom(pattern, name);
}

bool MatchesMask(std::string_view mask, std::string_view name) {
    return MatchPattern(LowerAscii(mask), LowerAscii(name)) == kMatchValid;
}

} // namespace zorvi
