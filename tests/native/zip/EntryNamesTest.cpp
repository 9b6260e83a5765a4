// Names and comments of entries: the Info-ZIP Unicode fields when their CRC-32 is the
// header's, raw UTF-8 from any host, the host's code page otherwise; and the same rules
// through the directory reader and the recovery scan.
#include "zip/EntryNames.h"
#include "zip/ExtraFields.h"
#include "zip/UnZip.h"

#include "TestArchive.h"

#include <gtest/gtest.h>

namespace zorvi {
namespace {

using test::UnicodeField;

const std::string kPribor866 = "\x8F\xE0\xA8\xA1\xAE\xE0";  // "Прибор" in 866
const std::string kPribor1251 = "\xCF\xF0\xE8\xE1\xEE\xF0"; // "Прибор" in 1251
constexpr std::uint16_t kMadeOnDos = 0x0014, kMadeOnUnix = 0x0314, kMadeOnNtfs = 0x0A14;

TEST(EntryNames, UnicodePathFieldCountsOnlyWithTheCrcOfTheHeadersName) {
    const std::string raw = "docs/" + kPribor866 + ".txt";
    const std::string utf8 = "docs/Прибор №1 日本.txt"; // more than 866 can hold
    const auto name = [&](const std::string& extra) {
        return DecodeEntryName(raw, kMadeOnDos, 0, false, extra);
    };
    EXPECT_EQ(name(UnicodeField(kExtraUnicodePath, raw, utf8)), "docs\\Прибор №1 日本.txt");
    // Behind another field, too.
    EXPECT_EQ(name(test::TimestampField(1, {0}) + UnicodeField(kExtraUnicodePath, raw, utf8)),
              "docs\\Прибор №1 日本.txt");
    // A name changed after the field was written: the header's bytes are the newer.
    EXPECT_EQ(name(UnicodeField(kExtraUnicodePath, "docs/old.txt", utf8)), "docs\\Прибор.txt");
    EXPECT_EQ(name(UnicodeField(kExtraUnicodePath, raw, utf8, test::Crc32Of(raw) ^ 1)),
              "docs\\Прибор.txt");
    // Fields that are no Unicode name: another version, broken UTF-8, no text, cut short,
    // the comment's id.
    std::string version2 = UnicodeField(kExtraUnicodePath, raw, utf8);
    version2[4] = 2;
    EXPECT_EQ(name(version2), "docs\\Прибор.txt");
    EXPECT_EQ(name(UnicodeField(kExtraUnicodePath, raw, "docs/\xD0.txt")), "docs\\Прибор.txt");
    EXPECT_EQ(name(UnicodeField(kExtraUnicodePath, raw, "")), "docs\\Прибор.txt");
    const std::string whole = UnicodeField(kExtraUnicodePath, raw, utf8);
    EXPECT_EQ(name(whole.substr(0, whole.size() - 1)), "docs\\Прибор.txt");
    EXPECT_EQ(name(UnicodeField(kExtraUnicodeComment, raw, utf8)), "docs\\Прибор.txt");
}

TEST(EntryNames, RawUtf8FromAnyHostAndCodePagesForTheRest) {
    for (const std::uint16_t host : {kMadeOnDos, kMadeOnUnix, kMadeOnNtfs}) {
        EXPECT_EQ(DecodeEntryName("ru/Привет.txt", host, 0, false, ""), "ru\\Привет.txt");
    }
    EXPECT_EQ(DecodeEntryName("ru/Привет.txt", 0, 0, true, ""), "ru\\Привет.txt");
    EXPECT_EQ(DecodeEntryName(kPribor866, kMadeOnDos, 0, false, ""), "Прибор");
    EXPECT_EQ(DecodeEntryName(kPribor866, 0, 0, true, ""), "Прибор"); // a local header's
    EXPECT_EQ(DecodeEntryName(kPribor1251, kMadeOnUnix, 0, false, ""), "Прибор");
    EXPECT_EQ(DecodeEntryName(kPribor1251, kMadeOnNtfs, 0, false, ""), "Прибор");
    // Flag bit 11 on bytes that are no UTF-8: the host's code page after all.
    EXPECT_EQ(DecodeEntryName(kPribor1251, kMadeOnUnix, kFlagUtf8Name, false, ""), "Прибор");
    EXPECT_EQ(DecodeEntryName("plain/a.txt", kMadeOnDos, 0, false, ""), "plain\\a.txt");
}

TEST(EntryNames, CommentsTakeTheirUnicodeFieldOrTheirBytes) {
    const std::string raw = "\xCE\xEF\xE8\xF1\xE0\xED\xE8\xE5"; // "Описание" in 1251
    EXPECT_EQ(
        DecodeEntryComment(raw, kMadeOnNtfs, UnicodeField(kExtraUnicodeComment, raw, "Описание ✓")),
        "Описание ✓");
    EXPECT_EQ(DecodeEntryComment(raw, kMadeOnNtfs,
                                 UnicodeField(kExtraUnicodeComment, "other", "Описание ✓")),
              "Описание");
    EXPECT_EQ(DecodeEntryComment("Описание", kMadeOnDos, ""), "Описание");
    EXPECT_EQ(DecodeArchiveComment(raw), "Описание");
}

TEST(EntryNames, DirectoryAndRecoveryScanReadTheFieldsOfTheirHeaders) {
    test::TTempDir dir;
    const std::string raw = "dos/" + kPribor866 + ".txt";
    const std::string comment = "\xAE\xA1"; // "об" in 866
    const std::string field = UnicodeField(kExtraUnicodePath, raw, "dos/Прибор №1.txt");
    const std::string commentField = UnicodeField(kExtraUnicodeComment, comment, "об ✓");
    auto built = test::BuildArchive({
        {.Name = raw,
         .Data = "a",
         .VersionMadeBy = kMadeOnDos,
         .Comment = comment,
         .LocalExtra = field,
         .CentralExtra = field + commentField},
        {.Name = "wrong/" + kPribor866,
         .Data = "b",
         .VersionMadeBy = kMadeOnDos,
         .CentralExtra = UnicodeField(kExtraUnicodePath, "wrong/x", "wrong/Икс")},
    });
    test::WriteFile(dir.Path() / "u.zip", built.Bytes);
    TUnZip unzip;
    unzip.SetZipName(dir.Text("u.zip"));
    unzip.ReadZipDirectory();
    ASSERT_EQ(unzip.EntryCount(), 2);
    EXPECT_EQ(unzip.Entries()->Entry(0)->PathName(), "dos\\Прибор №1.txt");
    EXPECT_EQ(unzip.EntryComment(0), "об ✓");
    EXPECT_EQ(unzip.Entries()->Entry(1)->PathName(), "wrong\\Прибор");

    // Without a directory the local header's field names the entry.
    built.Bytes.resize(built.CentralOffset);
    test::WriteFile(dir.Path() / "scan.zip", built.Bytes);
    TUnZip scan;
    scan.SetZipName(dir.Text("scan.zip"));
    scan.IncompleteZipMode = TIncompleteZipMode::izAssumeBad;
    scan.ReadZipDirectory();
    ASSERT_EQ(scan.EntryCount(), 2);
    EXPECT_EQ(scan.Entries()->Entry(0)->PathName(), "dos\\Прибор №1.txt");
    EXPECT_EQ(scan.Entries()->Entry(1)->PathName(), "wrong\\Прибор");
}

} // namespace
} // namespace zorvi
