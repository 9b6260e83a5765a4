// ZIP64 archives as today's tools write them, made in the test into a temporary folder:
// Info-ZIP zip -fz, zip -s volumes named .z01, and Python's zipfile (ZIP64 fields forced,
// written to a pipe, more than 65,535 entries, an entry over 4 GiB; see
// make-zip64-archives.py). zorvi-unzip lists, tests and extracts them as a user runs it.
//
// The entry over 4 GiB is decoded once, in the process, into a sink that keeps nothing (as
// -t does): 4 GiB written to a disk would make the suite slow and could fill /tmp.
#include "zip/UnZip.h"

#include "TestArchive.h"
#include "UnzipProcess.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <sstream>

namespace zorvi {
namespace {

namespace fs = std::filesystem;
using test::Quote;
using test::RunUnzip;
using test::TRun;

struct TListed {
    std::uint64_t Size = 0;
    std::string Crc;
};

/// What -l prints: name -> size and CRC-32; the listing must succeed.
std::map<std::string, TListed> List(const fs::path& archive, const std::string& options = "") {
    const TRun run = RunUnzip(options + " -l " + Quote(archive));
    EXPECT_EQ(run.Status, 0) << run.Output.substr(0, 500);
    std::map<std::string, TListed> listed;
    std::stringstream lines(run.Output);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> c;
        std::stringstream fields(line);
        for (std::string cell; std::getline(fields, cell, '\t');) {
            c.push_back(cell);
        }
        if (c.size() == 6) {
            listed[c[0]] = {std::stoull(c[3]), c[4]};
        }
    }
    return listed;
}

std::string Hex(std::uint32_t crc) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", crc);
    return text;
}

/// Runs make-zip64-archives.py; Python 3 is one of the test tools (tools/install-deps.sh).
void MakeWithPython(const std::string& arguments) {
    const std::string command = "python3 '" ZORVI_ZIP64_MAKER "' " + arguments;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

/// The small entries of make-zip64-archives.py and their contents (content_of there).
std::map<std::string, std::string> SmallEntries() {
    std::map<std::string, std::string> entries;
    for (const std::string name :
         {"readme.txt", "docs/manual.txt", "docs/deep/notes.md", "bin/tool.dat", "empty.txt"}) {
        std::string data;
        if (name != "empty.txt") {
            for (std::size_t i = 0; i < name.size() * 37 % 200 + 1; ++i) {
                data += name + "\n";
            }
        }
        entries[name] = data;
    }
    return entries;
}

/// Lists and extracts `archive` and compares both with `files` (name -> content).
void ExpectListedAndExtracted(const fs::path& archive,
                              const std::map<std::string, std::string>& files,
                              const std::string& options = "") {
    const auto listed = List(archive, options);
    EXPECT_EQ(listed.size(), files.size());
    for (const auto& [name, data] : files) {
        ASSERT_EQ(listed.count(name), 1u) << name;
        EXPECT_EQ(listed.at(name).Size, data.size()) << name;
        EXPECT_EQ(listed.at(name).Crc, Hex(test::Crc32Of(data))) << name;
    }
    const fs::path out = archive.parent_path() / (archive.stem().string() + "-out");
    const TRun run = RunUnzip("-q " + options + " -d " + Quote(out) + " " + Quote(archive));
    EXPECT_EQ(run.Status, 0) << run.Output;
    for (const auto& [name, data] : files) {
        EXPECT_EQ(test::ReadFile(out / name), data) << name;
    }
}

TEST(Zip64Archives, InfoZipWithZip64RecordsOnEveryEntry) {
    test::TTempDir dir;
    std::mt19937 random(64);
    std::string binary(70000, '\0');
    for (char& c : binary) {
        c = static_cast<char>(random());
    }
    std::string text;
    for (int i = 0; i < 20000; ++i) {
        text += std::to_string(i) + "\n";
    }
    const std::map<std::string, std::string> files = {
        {"a.txt", "hello\n"}, {"d/b.txt", text}, {"c.bin", binary}};
    fs::create_directories(dir.Path() / "d");
    for (const auto& [name, data] : files) {
        test::WriteFile(dir.Path() / name, data);
    }
    const std::string command =
        "cd " + Quote(dir.Path()) + " && zip -q -fz fz.zip a.txt d/b.txt c.bin";
    ASSERT_EQ(std::system(command.c_str()), 0) << "Info-ZIP zip (tools/install-deps.sh)";
    ExpectListedAndExtracted(dir.Path() / "fz.zip", files);
}

TEST(Zip64Archives, PythonForcedAndStreamedZip64Fields) {
    test::TTempDir dir;
    for (const std::string kind : {"forced", "streamed"}) {
        SCOPED_TRACE(kind);
        const fs::path archive = dir.Path() / (kind + ".zip");
        MakeWithPython(kind + " " + Quote(archive));
        ExpectListedAndExtracted(archive, SmallEntries());
    }
    // Without its directory, the streamed archive's entries are found from their local
    // headers: sizes in ZIP64 fields (zeros) and in 8-byte data descriptors after the data.
    std::string bytes = test::ReadFile(dir.Path() / "streamed.zip");
    bytes.resize(bytes.find("PK\x01\x02"));
    test::WriteFile(dir.Path() / "cut.zip", bytes);
    ExpectListedAndExtracted(dir.Path() / "cut.zip", SmallEntries(), "-i bad");
}

TEST(Zip64Archives, MoreThan65535EntriesCountedInTheZip64EndRecordOnly) {
    test::TTempDir dir;
    const fs::path archive = dir.Path() / "many.zip";
    constexpr int kCount = 66000;
    MakeWithPython("many " + Quote(archive) + " " + std::to_string(kCount));
    const auto name = [](int i) {
        char text[32];
        std::snprintf(text, sizeof text, "d%04d/f%06d.txt", i / 500, i);
        return std::string(text);
    };
    const auto listed = List(archive);
    ASSERT_EQ(listed.size(), std::size_t{kCount});
    for (int i = 0; i < kCount; ++i) {
        const std::string data = std::to_string(i) + "\n";
        const auto it = listed.find(name(i));
        ASSERT_NE(it, listed.end()) << name(i);
        ASSERT_EQ(it->second.Size, data.size()) << name(i);
        ASSERT_EQ(it->second.Crc, Hex(test::Crc32Of(data))) << name(i);
    }
    TRun run = RunUnzip("-t " + Quote(archive));
    EXPECT_EQ(run.Status, 0);
    EXPECT_NE(run.Output.find("66000 tested, 0 skipped, 0 failed\n"), std::string::npos);
    // The last 500 entries, all past the 65,535th, to files.
    run = RunUnzip("-q -d " + Quote(dir.Path() / "out") + " " + Quote(archive) + " 'd0131/*'");
    EXPECT_EQ(run.Status, 0) << run.Output;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path() / "out" / "d0131"),
                            fs::directory_iterator()),
              500);
    EXPECT_EQ(test::ReadFile(dir.Path() / "out" / name(kCount - 1)), "65999\n");
}

TEST(Zip64Archives, EntryOver4GiBEndToEnd) {
    test::TTempDir dir;
    const fs::path archive = dir.Path() / "huge.zip";
    constexpr std::uint64_t kSize = (4ULL << 30) + (4 << 20); // 4 GiB and one 4 MiB block
    MakeWithPython("huge " + Quote(archive) + " " + std::to_string(kSize));
    EXPECT_LT(fs::file_size(archive), kSize / 1000);
    const auto listed = List(archive);
    ASSERT_EQ(listed.count("zeros.bin"), 1u);
    EXPECT_EQ(listed.at("zeros.bin").Size, kSize);

    struct TCount : TEntrySink {
        std::size_t TakeDecoded(const std::uint8_t*, std::size_t count) override {
            Bytes += count;
            return count;
        }
        std::uint64_t Bytes = 0;
    } sink;
    TUnZip unzip;
    unzip.SetZipName(archive.string());
    unzip.DoAll = true;
    unzip.Sink = &sink;
    std::int64_t total = 0;
    std::vector<int> filePercents;
    std::vector<int> totalPercents;
    unzip.OnStartUnZipInfo = [&](TUnZip&, int, std::int64_t bytes, bool&) { total = bytes; };
    unzip.OnFilePercentDone = [&](TUnZip&, int p) {
        if (filePercents.empty() || filePercents.back() != p) {
            filePercents.push_back(p);
        }
    };
    unzip.OnTotalPercentDone = [&](TUnZip&, int p) {
        if (totalPercents.empty() || totalPercents.back() != p) {
            totalPercents.push_back(p);
        }
    };
    // Extracted: the CRC-32 the archive stores matched, and so did the size.
    EXPECT_EQ(unzip.ExtractFiles(), 1);
    EXPECT_EQ(sink.Bytes, kSize);
    EXPECT_EQ(total, static_cast<std::int64_t>(kSize));
    std::vector<int> everyPercent(101);
    for (int p = 0; p <= 100; ++p) {
        everyPercent[static_cast<std::size_t>(p)] = p;
    }
    EXPECT_EQ(filePercents, everyPercent);
    EXPECT_EQ(totalPercents, everyPercent);
}

TEST(Zip64Archives, SplitVolumesNamedZ01) {
    test::TTempDir dir;
    std::mt19937 random(1);
    std::string big(150000, '\0');
    for (char& c : big) {
        c = static_cast<char>(random());
    }
    test::WriteFile(dir.Path() / "big.bin", big);
    test::WriteFile(dir.Path() / "small.txt", "small");
    const std::string command =
        "cd " + Quote(dir.Path()) + " && zip -q -s 64k split.zip big.bin small.txt";
    ASSERT_EQ(std::system(command.c_str()), 0) << "Info-ZIP zip (tools/install-deps.sh)";
    ASSERT_TRUE(fs::exists(dir.Path() / "split.z02"));
    ExpectListedAndExtracted(dir.Path() / "split.zip", {{"big.bin", big}, {"small.txt", "small"}});

    fs::remove(dir.Path() / "split.z02");
    const TRun run =
        RunUnzip("-q -d " + Quote(dir.Path() / "o") + " " + Quote(dir.Path() / "split.zip"));
    EXPECT_EQ(run.Status, 2);
    EXPECT_NE(run.Output.find("Volume 2 of the multi-volume archive not found: \"" +
                              (dir.Path() / "split.z02").string() + "\""),
              std::string::npos)
        << run.Output;
}

} // namespace
} // namespace zorvi
