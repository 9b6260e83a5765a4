// The bytes a password text is tried as. The traditional cipher keys on bytes, and a
// password typed on a Russian Windows system reached the writer as Windows Cyrillic (1251)
// bytes, one typed on a system of today (Info-ZIP on Linux, for one) as UTF-8 bytes. The
// archive does not say which: both are tried, the likelier first, before the user is asked
// for another password.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zorvi {

/// The byte strings of `password` (UTF-8 text) in the order they are tried: its 1251 bytes
/// and its UTF-8 bytes, UTF-8 first when `utf8First`. One string when both are the same (an
/// ASCII password) or the text has characters 1251 lacks (UTF-8 alone then).
std::vector<std::string> PasswordCandidates(const std::string& password, bool utf8First);

/// Whether an entry's password is likelier UTF-8 than 1251: its name is flagged UTF-8
/// (flag bit 11) or it was made on Unix.
bool PasswordLikelyUtf8(std::uint16_t versionMadeBy, std::uint16_t bitFlags);

} // namespace zorvi
