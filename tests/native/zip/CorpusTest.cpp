// The corpus of archives made by other tools, with the expected result of
// every entry in MANIFEST.tsv, and the hostile archives of other projects' tests.
#include "zip/UnZip.h"
#include "zip/ZipErrors.h"

#include "ExtractionWatch.h"
#include "TestArchive.h"

#include <gtest/gtest.h>

#include <map>

namespace zorvi {
namespace {

namespace fs = std::filesystem;

using test::TCorpusRow;

/// The manifest's entries by archive, an archive without entries with none.
std::map<std::string, std::vector<TCorpusRow>> LoadManifest() {
    std::map<std::string, std::vector<TCorpusRow>> archives;
    for (TCorpusRow& row : test::ReadCorpusManifest()) {
        auto& rows = archives[row.Archive];
        if (!row.IsEmptyArchive()) {
            rows.push_back(std::move(row));
        }
    }
    return archives;
}

fs::path Corpus(const std::string& archive) {
    return test::TestDataPath("corpus/" + archive);
}

std::string Slashes(std::string name) {
    std::replace(name.begin(), name.end(), '\\', '/');
    return name;
}

/// Reads a directory as a user would: as it is, else by rebuilding it.
void ReadDirectory(TUnZip& unzip, const std::string& path) {
    unzip.SetZipName(path);
    unzip.ReadZipDirectory();
    if (unzip.Entries() == nullptr) {
        unzip.SetZipName(path);
        unzip.IncompleteZipMode = TIncompleteZipMode::izAssumeBad;
        unzip.ReadZipDirectory();
    }
}

TEST(ZipCorpus, DirectoriesMatchTheManifest) {
    const auto manifest = LoadManifest();
    for (const auto& [archive, rows] : manifest) {
        SCOPED_TRACE(archive);
        TUnZip unzip;
        ReadDirectory(unzip, Corpus(archive).string());
        ASSERT_EQ(unzip.EntryCount(), static_cast<int>(rows.size()));
        for (int i = 0; i < unzip.EntryCount(); ++i) {
            const TZipHeaderInfo& e = *unzip.Entries()->Entry(i);
            const TCorpusRow& row = rows[static_cast<std::size_t>(i)];
            EXPECT_EQ(Slashes(e.PathName()), row.Entry);
            EXPECT_EQ(e.CompressionMethod, row.Method) << row.Entry;
            EXPECT_EQ(e.UncompressedSize, row.Size) << row.Entry;
            EXPECT_EQ(e.Crc32, row.Crc) << row.Entry;
        }
    }
}

TEST(ZipCorpus, ExtractionMatchesTheManifest) {
    for (const auto& [archive, rows] : LoadManifest()) {
        SCOPED_TRACE(archive);
        test::TTempDir dir;
        TUnZip unzip;
        ReadDirectory(unzip, Corpus(archive).string());
        unzip.SetDestDir(dir.Text("out"));
        unzip.DoAll = true;
        unzip.RecreateDirs = true;
        unzip.OverwriteMode = TUZOverwriteMode::Always;
        if (!rows.empty() && rows[0].Password != "-") {
            unzip.Password = rows[0].Password;
        }
        test::TExtractionWatch watch(unzip);
        bool stopped = false;
        try {
            unzip.ExtractFiles();
        } catch (const EZipError& error) {
            stopped = true; // acceptable only where an entry is damaged
            SCOPED_TRACE(error.what());
        }
        watch.ExpectVerdicts(stopped);
        for (const TCorpusRow& row : rows) {
            const fs::path file = dir.Path() / "out" / test::Utf8Path(row.Entry);
            if (row.Entry.back() == '/') {
                EXPECT_TRUE(fs::is_directory(file) || stopped) << row.Entry;
                continue;
            }
            if (row.Outcome == "ok") {
                ASSERT_TRUE(fs::is_regular_file(file)) << row.Entry;
                const std::string data = test::ReadFile(file);
                EXPECT_EQ(data.size(), row.Size) << row.Entry;
                EXPECT_EQ(test::Crc32Of(data), row.Crc) << row.Entry;
            } else {
                EXPECT_FALSE(fs::exists(file)) << row.Entry << " " << row.Outcome;
            }
        }
        const bool damaged = std::any_of(rows.begin(), rows.end(),
                                         [](const TCorpusRow& r) { return r.Outcome != "ok"; });
        EXPECT_TRUE(!stopped || damaged);
        EXPECT_EQ(watch.Extracted.size(), static_cast<std::size_t>(std::count_if(
                                              rows.begin(), rows.end(), [](const TCorpusRow& r) {
                                                  return r.Outcome == "ok" && !r.IsFolder();
                                              })));
    }
}

// Streamed entries (sizes after the data, in data descriptors of 4-byte or of 8-byte sizes) and
// entries whose local headers keep their sizes in ZIP64 fields.
TEST(ZipCorpus, ArchivesWithoutTheirEndRecordAreRecoveredFromTheLocalHeaders) {
    const auto manifest = LoadManifest();
    for (const std::string archive :
         {"iz-stream-pipe.zip", "py-unseekable.zip", "py-zip64-streamed.zip", "iz-zip64-fz.zip"}) {
        SCOPED_TRACE(archive);
        test::TTempDir dir;
        std::string bytes = test::ReadFile(Corpus(archive));
        const auto end = bytes.rfind(std::string("PK\x05\x06", 4));
        ASSERT_NE(end, std::string::npos);
        bytes.replace(end, 22, std::string(22, '\0'));
        test::WriteFile(dir.Path() / "damaged.zip", bytes);
        TUnZip unzip;
        unzip.SetZipName(dir.Text("damaged.zip"));
        unzip.IncompleteZipMode = TIncompleteZipMode::izAssumeBad;
        unzip.SetDestDir(dir.Text("out"));
        unzip.DoAll = true;
        unzip.RecreateDirs = true;
        unzip.ExtractFiles();
        for (const TCorpusRow& row : manifest.at(archive)) {
            if (row.Entry.back() == '/') {
                continue;
            }
            const std::string data = test::ReadFile(dir.Path() / "out" / test::Utf8Path(row.Entry));
            EXPECT_EQ(data.size(), row.Size) << row.Entry;
            EXPECT_EQ(test::Crc32Of(data), row.Crc) << row.Entry;
        }
    }
}

TEST(ZipCorpus, HostileArchivesEndCleanlyInsideTheDestination) {
    const fs::path vectors = test::TestDataPath("hostile");
    int tried = 0;
    for (const auto& item : fs::recursive_directory_iterator(vectors)) {
        const std::string extension = item.path().extension().string();
        if (!item.is_regular_file() || (extension != ".zip" && extension != ".notzip")) {
            continue;
        }
        SCOPED_TRACE(item.path().filename().string());
        ++tried;
        for (const auto mode :
             {TIncompleteZipMode::izAssumeMulti, TIncompleteZipMode::izAssumeBad}) {
            test::TTempDir dir;
            fs::create_directories(dir.Path() / "nest" / "out");
            TUnZip unzip;
            unzip.SetZipName(item.path().string());
            unzip.IncompleteZipMode = mode;
            unzip.SetDestDir(dir.Text("nest/out"));
            unzip.DoAll = true;
            unzip.RecreateDirs = true;
            unzip.OverwriteMode = TUZOverwriteMode::Always;
            unzip.Password = "12345678";
            test::TExtractionWatch watch(unzip);
            bool stopped = false;
            try {
                unzip.ExtractFiles();
            } catch (const EZipError&) {
                stopped = true; // a clear error is a fine end
            }
            watch.ExpectVerdicts(stopped);
            // Nothing may appear beside the destination.
            std::vector<std::string> outside;
            for (const auto& found : fs::recursive_directory_iterator(dir.Path())) {
                const auto relative = fs::relative(found.path(), dir.Path()).generic_string();
                if (relative != "nest" && relative.rfind("nest/out", 0) != 0) {
                    outside.push_back(relative);
                }
            }
            EXPECT_TRUE(outside.empty()) << outside.front();
        }
    }
    EXPECT_EQ(tried, 30); // every file of tests/data/hostile
}

} // namespace
} // namespace zorvi
