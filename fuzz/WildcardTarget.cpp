// Fuzz target: the wildcard matcher. Input: the mask, a NUL byte, the name (no NUL: the whole
// input is the mask and the name is empty). tools/fuzz.sh runs it with a short -timeout: the
// time a match takes must grow with the lengths, not explode with the stars (the
// invariant wildcard.time, kept by libFuzzer's timeout alone).
//
// Invariants:
//  - wildcard.result: the result is one of the matcher's result codes;
//  - wildcard.lowering: MatchesMask is MatchPattern on the lowered texts;
//  - wildcard.glob: for a mask without classes ("<...>"), a match is a match of plain glob
//    rules ("*" any run, "?" one character); with at most one star and no "?", it is the
//    other way round too.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "zip/WildcardMatch.h"

namespace zorvi::fuzz {
namespace {

/// While the exponential matcher is a known fault, masks with more stars than this are
/// skipped: each one would only end the run as the same timeout.
constexpr std::size_t kStarsWhileSlow = 2;

/// Plain glob matching by dynamic programming: at[j] tells whether the mask so far matches
/// the first j characters of the name.
bool Glob(std::string_view mask, std::string_view name) {
    std::vector<char> at(name.size() + 1, 0);
    at[0] = 1;
    for (char m : mask) {
        std::vector<char> next(name.size() + 1, 0);
        if (m == '*') {
            char any = 0;
            for (std::size_t j = 0; j <= name.size(); ++j) {
                any = static_cast<char>(any | at[j]);
                next[j] = any;
            }
        } else {
            for (std::size_t j = 0; j < name.size(); ++j) {
                next[j + 1] = static_cast<char>(at[j] && (m == '?' || m == name[j]));
            }
        }
        at = std::move(next);
    }
    return at[name.size()] != 0;
}

std::string Quoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text.substr(0, 300)) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F && c != '"' && c != '\\') {
            out += c;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", b);
            out += hex;
        }
    }
    return out + (text.size() > 300 ? "...\"" : "\"");
}

} // namespace
} // namespace zorvi::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zorvi;
    using namespace zorvi::fuzz;
    return RunInput([&] {
        const std::string_view input(reinterpret_cast<const char*>(data), size);
        const std::size_t nul = input.find('\0');
        const std::string_view mask = input.substr(0, nul);
        const std::string_view name =
            nul == std::string_view::npos ? std::string_view() : input.substr(nul + 1);
        const auto stars = static_cast<std::size_t>(std::count(mask.begin(), mask.end(), '*'));
        if (stars > kStarsWhileSlow && IsKnownFault("wildcard.time")) {
            return;
        }
        const auto detail = [&] { return "mask " + Quoted(mask) + ", name " + Quoted(name); };

        const std::string lowMask = LowerAscii(mask);
        const std::string lowName = LowerAscii(name);
        const int result = MatchPattern(lowMask, lowName);
        Check(result >= kMatchValid && result <= kMatchPatternBad, "wildcard.result",
              [&] { return detail() + ": result " + std::to_string(result); });
        Check(MatchesMask(mask, name) == (result == kMatchValid), "wildcard.lowering", detail);

        if (mask.find('<') == std::string_view::npos) {
            const bool glob = Glob(lowMask, lowName);
            const bool exact = stars <= 1 && mask.find('?') == std::string_view::npos;
            Check(result == kMatchValid ? glob : !(exact && glob), "wildcard.glob", [&] {
                return detail() + ": result " + std::to_string(result) + ", glob " +
                       (glob ? "matches" : "does not match");
            });
        }
    });
}
