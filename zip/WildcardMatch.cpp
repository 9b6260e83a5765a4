// The matcher walks mask and name side by side. At a star, the rest of the mask is
// tried at every later position of the name whose character could start it (the
// procedure MatchAfterStar), and the star's class, if it has one, holds for every
// character the star swallows. The first position where the rest matches makes the
// match; when none does, the verdict is that of the last position tried.
//
// Tried naively, one attempt per position and star, that takes time exponential in the
// number of stars ("*a*a*a*b" against a long run of a's). But an attempt depends only
// on where it starts in the mask and in the name, and the mask's stars split it into a
// chain of segments: the walk of one segment either ends by itself or reaches the star
// that leads to the next segment. So the verdicts are computed segment by segment from
// the last one back, for every start in the name at once: the time is the mask's length
// times the name's, the memory two rows as long as the name. The verdicts, result codes
// included, are exactly those of the attempt-by-attempt procedure.
#include "zip/WildcardMatch.h"

#include <bitset>
#include <cstdint>
#include <vector>

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

/// What follows one star of the mask, as MatchAfterStar sees it: the star's class, then
/// a run of stars and question marks (each "?" takes one character), then the rest of
/// the mask, which starts the next segment.
struct TStarStep {
    TStarClass Star;
    bool EmptyClass = false;   // "*<...>" whose class holds nothing: the match aborts
    bool NothingAfter = false; // the mask ends with the star's class
    bool RunToEnd = false;     // the run of stars and question marks ends the mask
    std::size_t Questions = 0; // question marks in the run
    std::size_t Next = 0;      // where the next segment starts
};

/// Where the walk of a segment that starts at p meets a star, or npos when it ends
/// without one (at the mask's end, or at a class that cannot close).
std::size_t StarOfSegment(std::string_view pattern, std::size_t p) {
    while (p < pattern.size()) {
        if (pattern[p] == '*') {
            return p;
        }
        if (pattern[p] == '<') {
            // A class that matches ends at its first '>' (see MatchClass); one with no
            // '>' or none at all never lets the walk go on.
            std::size_t q = p + 1;
            if (At(pattern, q) == '!' || At(pattern, q) == '^') {
                ++q;
            }
            const std::size_t close = pattern.find('>', q);
            if (close == std::string_view::npos || close == q) {
                return std::string_view::npos;
            }
            p = close + 1;
        } else {
            ++p;
        }
    }
    return std::string_view::npos;
}

TStarStep ParseStarStep(std::string_view pattern, std::size_t star) {
    TStarStep step;
    std::size_t p = star;
    if (At(pattern, p + 1) == '<') {
        ++p;
        BuildStarClass(pattern, p, step.Star);
        if (!step.Star.Constrains()) {
            step.EmptyClass = true;
            return step;
        }
        if (p >= pattern.size()) {
            step.NothingAfter = true;
            return step;
        }
    }
    // Without a class the rest handed over starts with the star itself.
    while (p < pattern.size() && (pattern[p] == '*' || pattern[p] == '?')) {
        step.Questions += pattern[p] == '?' ? 1 : 0;
        ++p;
    }
    step.RunToEnd = p >= pattern.size();
    step.Next = p;
    return step;
}

/// The verdicts of one step for every name position j: what MatchAfterStar's search
/// loop gives when it starts at j, 0 when it tries no position at all.
using TVerdicts = std::vector<std::int8_t>;

class TMaskMatcher {
public:
    TMaskMatcher(std::string_view pattern, std::string_view name) : pattern_(pattern), name_(name) {
        // The chain of segments: each one's start, and the star step that ends it.
        std::size_t start = 0;
        for (;;) {
            starts_.push_back(start);
            const std::size_t star = StarOfSegment(pattern_, start);
            if (star == std::string_view::npos) {
                break;
            }
            steps_.push_back(ParseStarStep(pattern_, star));
            const TStarStep& step = steps_.back();
            if (step.EmptyClass || step.NothingAfter || step.RunToEnd) {
                break;
            }
            start = step.Next;
        }
    }

    int Match() {
        // From the last segment back to the first: the segment's verdicts at every name
        // position, then the search loop of the star in front of it.
        const std::size_t n = name_.size();
        TVerdicts afterStar(n + 1, 0);
        for (std::size_t k = starts_.size(); k-- > 1;) {
            TVerdicts segment(n, 0);
            for (std::size_t j = 0; j < n; ++j) {
                segment[j] = static_cast<std::int8_t>(Walk(k, j, afterStar));
            }
            afterStar = SearchLoop(steps_[k - 1], segment);
        }
        return Walk(0, 0, afterStar);
    }

private:
    /// MatchPattern on the mask from segment k's start and the name from j.
    int Walk(std::size_t k, std::size_t j, const TVerdicts& afterStar) const {
        std::size_t p = starts_[k];
        std::size_t n = j;
        int r = 0;
        while (r == 0 && p < pattern_.size()) {
            if (n >= name_.size()) {
                r = (pattern_[p] == '*' && p + 1 == pattern_.size()) ? kMatchValid : kMatchAbort;
                break;
            }
            if (pattern_[p] == '*') {
                r = MatchAfterStar(steps_[k], n, afterStar);
                // No position of the name could start the rest of the mask: the star has
                // nowhere to end, so the name cannot match.
                if (r == 0) {
                    r = kMatchAbort;
                }
            } else if (pattern_[p] == '<') {
                r = MatchClass(pattern_, p, name_[n]);
                ++n;
            } else {
                if (pattern_[p] != '?' && pattern_[p] != name_[n]) {
                    r = kMatchLiteral;
                }
                ++p;
                ++n;
            }
        }
        if (r == 0) {
            r = n < name_.size() ? kMatchEnd : kMatchValid;
        }
        return r;
    }

    /// The star of `step` met at name position n; afterStar holds the search loop's
    /// verdicts for the segment that follows it.
    int MatchAfterStar(const TStarStep& step, std::size_t n, const TVerdicts& afterStar) const {
        if (step.EmptyClass) {
            return kMatchAbort;
        }
        // Each "?" after the star takes a character; *? needs two of them.
        if (n + step.Questions >= name_.size()) {
            return kMatchAbort;
        }
        if (step.NothingAfter) {
            // The star swallows the rest of the name, which its class must accept.
            for (std::size_t j = n; j < name_.size(); ++j) {
                if (!step.Star.Accepts(name_[j])) {
                    return kMatchAbort;
                }
            }
            return kMatchValid;
        }
        if (step.RunToEnd) {
            return kMatchValid;
        }
        return afterStar[n + step.Questions];
    }

    /// MatchAfterStar's loop over the name for every start j, from the verdicts of the
    /// next segment: the rest of the mask is tried where the name's character could
    /// start it; the first match ends the loop, as does a character the star's class
    /// refuses; otherwise the last try's verdict stands.
    TVerdicts SearchLoop(const TStarStep& step, const TVerdicts& segment) const {
        const std::size_t n = name_.size();
        const char first = pattern_[step.Next];
        TVerdicts loop(n + 1, 0);
        for (std::size_t j = n; j-- > 0;) {
            const int r = (first == name_[j] || first == '<') ? segment[j] : 0;
            int verdict = 0;
            if (r == kMatchValid) {
                verdict = kMatchValid;
            } else if (step.Star.Constrains() && !step.Star.Accepts(name_[j])) {
                verdict = kMatchAbort;
            } else {
                verdict = loop[j + 1] != 0 ? loop[j + 1] : r;
            }
            loop[j] = static_cast<std::int8_t>(verdict);
        }
        return loop;
    }

    std::string_view pattern_;
    std::string_view name_;
    std::vector<std::size_t> starts_;
    std::vector<TStarStep> steps_;
};

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
    if (pattern == "*") {
        return kMatchValid;
    }
    return TMaskMatcher(pattern, name).Match();
}

bool MatchesMask(std::string_view mask, std::string_view name) {
    return MatchPattern(LowerAscii(mask), LowerAscii(name)) == kMatchValid;
}

} // namespace zorvi
