// Damaged copies of real archives, made with a fixed seed: bytes of the directory
// records flipped, fields set to extremes, files cut short. Whatever the damage, the
// component must end with a clear error or a skip, inside its destination, and
// (under the native preset's sanitizers) without touching memory it does not own.
#include "zip/UnZip.h"
#include "zip/ZipErrors.h"

#include "ExtractionWatch.h"
#include "TestArchive.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

namespace zorvi {
namespace {

namespace fs = std::filesystem;

// Damage done to one copy.
std::string Damage(std::string bytes, std::mt19937& random) {
    const auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    const std::size_t central = bytes.find(std::string("PK\x01\x02", 4));
    const std::size_t end = bytes.rfind(std::string("PK\x05\x06", 4));
    // Most damage lands in the directory records, where the reader's decisions are;
    // one copy in four is damaged anywhere.
    const std::size_t start = central == std::string::npos || random() % 4 == 0 ? 0 : central;
    switch (random() % 4) {
    case 0: // flip a few bytes
        for (int i = 0; i < 4; ++i) {
            const std::size_t at = start + pick(bytes.size() - start);
            bytes[at] = static_cast<char>(bytes[at] ^ (1 << pick(8)));
        }
        break;
    case 1: { // a 16- or 32-bit field set to an extreme
        const std::size_t at = start + pick(bytes.size() - start - 4);
        const char value = random() % 2 ? '\xFF' : '\0';
        for (std::size_t i = 0; i < (random() % 2 ? 2u : 4u); ++i) {
            bytes[at + i] = value;
        }
        break;
    }
    case 2: // cut short
        bytes.resize(pick(bytes.size()));
        break;
    default: // the end record's counts and offsets
        if (end != std::string::npos && end + 22 <= bytes.size()) {
            const std::size_t field = end + 8 + 2 * pick(7);
            bytes[field] = static_cast<char>(random());
            bytes[field + 1] = static_cast<char>(random());
        }
        break;
    }
    return bytes;
}

TEST(ZipMutation, DamagedArchivesEndCleanly) {
    const char* sources[] = {"iz-comments.zip", "py-folders-comments.zip", "bad-crc.zip",
                             "iz-encrypted-stored.zip", "sfx-prefixed.zip"};
    // ZORVI_ZIP_MUTATIONS=n runs n copies per archive instead of 60 (a longer hunt).
    const char* wanted = std::getenv("ZORVI_ZIP_MUTATIONS");
    const int rounds = wanted != nullptr ? std::max(1, std::atoi(wanted)) : 60;
    std::mt19937 random(20261207);
    int copies = 0;
    for (const char* source : sources) {
        const std::string original =
            test::ReadFile(test::TestDataPath(std::string("corpus/") + source));
        ASSERT_FALSE(original.empty()) << source;
        for (int round = 0; round < rounds; ++round) {
            const std::string damaged = Damage(original, random);
            SCOPED_TRACE(std::string(source) + " copy " + std::to_string(round));
            test::TTempDir dir;
            fs::create_directories(dir.Path() / "nest" / "out");
            test::WriteFile(dir.Path() / "nest" / "damaged.zip", damaged);
            TUnZip unzip;
            unzip.SetZipName(dir.Text("nest/damaged.zip"));
            unzip.IncompleteZipMode =
                round % 2 ? TIncompleteZipMode::izAssumeBad : TIncompleteZipMode::izAssumeMulti;
            unzip.SetDestDir(dir.Text("nest/out"));
            unzip.DoAll = true;
            unzip.RecreateDirs = true;
            unzip.OverwriteMode = TUZOverwriteMode::Always;
            unzip.Password = "secret";
            test::TExtractionWatch watch(unzip);
            bool stopped = false;
            try {
                unzip.ExtractFiles();
                for (int i = 0; i < unzip.EntryCount(); ++i) {
                    unzip.EntryComment(i);
                }
                unzip.ArchiveComment();
            } catch (const EZipError&) {
                stopped = true; // a clear error is a fine end
            }
            watch.ExpectVerdicts(stopped);
            for (const auto& found : fs::recursive_directory_iterator(dir.Path())) {
                const auto relative = fs::relative(found.path(), dir.Path()).generic_string();
                EXPECT_TRUE(relative == "nest" || relative == "nest/damaged.zip" ||
                            relative.rfind("nest/out", 0) == 0)
                    << relative;
            }
            ++copies;
        }
    }
    EXPECT_EQ(copies, rounds * 5);
}

} // namespace
} // namespace zorvi
