// File-name masks of the extraction component. A mask is matched against an
// entry's folder and name joined together (sub\readme.txt). Three things set these
// masks apart from the usual ones: classes are written with angle brackets (square
// brackets are ordinary characters), a star followed by a class matches a run of
// characters from that class, and the star runs across backslashes.
//
//   *          any run of characters, backslashes included, also none
//   ?          exactly one character
//   <set>      one character of the set; <!set> or <^set>: one character not in it.
//              A set is a sequence of single characters and ranges x-y (by byte value).
//   *<set>     a run of characters of the set, followed by the rest of the mask
//
// Mask and name are 8-bit texts. Callers holding UTF-8 names convert both sides to
// the Windows Cyrillic code page first (FromUtf8(..., TCodePage::Windows1251)), so
// that one Cyrillic letter is one character for "?" and for classes; a character
// that page lacks becomes "?" on both sides alike.
#pragma once

#include <string>
#include <string_view>

namespace zorvi {

/// Result codes of MatchPattern and MatchAfterStar; only kMatchValid is a match.
enum TMatchResult : int {
    kMatchValid = 1,      // the whole name matches the whole mask
    kMatchEnd = 2,        // the mask ended before the name
    kMatchAbort = 3,      // the name ended before the mask, or no run after a star fits
    kMatchRange = 4,      // a character not accepted by a class
    kMatchLiteral = 5,    // a character differs
    kMatchPatternBad = 6, // malformed class: missing ">" or item, or an empty class
};

/// True when the name matches the mask; A to Z are folded to a to z on both sides.
bool MatchesMask(std::string_view mask, std::string_view name);

/// Matches an already lowered name against an already lowered mask.
int MatchPattern(std::string_view pattern, std::string_view name);

/// Lowers A to Z only, leaving every other byte as it is.
std::string LowerAscii(std::string_view text);

} // namespace zorvi
