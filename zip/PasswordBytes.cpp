#include "zip/PasswordBytes.h"

#include "common/CodePage.h"
#include "zip/EntryModes.h"
#include "zip/ZipRecords.h"

namespace zorvi {

std::vector<std::string> PasswordCandidates(const std::string& password, bool utf8First) {
    const std::string ansi = FromUtf8(password, TCodePage::Windows1251);
    if (ansi == password || ToUtf8(ansi, TCodePage::Windows1251) != password) {
        return {password};
    }
    if (utf8First) {
        return {password, ansi};
    }
    return {ansi, password};
}

bool PasswordLikelyUtf8(std::uint16_t versionMadeBy, std::uint16_t bitFlags) {
    return (bitFlags & kFlagUtf8Name) != 0 || (versionMadeBy >> 8) == kHostUnix;
}

} // namespace zorvi
