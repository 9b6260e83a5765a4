// The archives the tests read live in the repository, under tests/data: corpus/ holds
// archives made by other tools with MANIFEST.tsv, the expected result of every entry;
// hostile/ holds malformed archives from other projects' test suites (ORIGIN.md).
//
// A test that needs a file and does not find it fails, naming the file; a loop over the
// corpus first checks that the corpus is whole. A loop over an empty or missing corpus
// would otherwise assert nothing and pass.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#ifndef ZORVI_TEST_DATA_DIR
#error "ZORVI_TEST_DATA_DIR must name the tests/data folder (zorvi_use_test_data in CMake)"
#endif

namespace zorvi::test {

/// tests/data/<relative>. Throws, naming the path, when it does not exist, so the test
/// that asked for it fails instead of running over nothing.
inline std::filesystem::path TestDataPath(std::string_view relative) {
    // UTF-8 on both hosts: on Windows the narrow path constructor would take the ANSI
    // code page, and a clone may sit in a folder with any name.
    const std::string_view root = ZORVI_TEST_DATA_DIR;
    std::filesystem::path path(std::u8string(root.begin(), root.end()));
    path /= std::u8string(relative.begin(), relative.end());
    if (!std::filesystem::exists(path)) {
        throw std::runtime_error("missing test data: " + std::string(root) + "/" +
                                 std::string(relative));
    }
    return path;
}

/// One line of corpus/MANIFEST.tsv: an entry of an archive, or an archive without entries
/// (Entry "-"). Entry names use "/" as stored; folder entries end in "/".
struct TCorpusRow {
    std::string Archive;
    std::string Password; // "-" for none
    std::string Entry;
    int Method = 0;
    std::int64_t Size = 0;
    std::uint32_t Crc = 0;
    std::string Outcome; // ok, bad-crc, skipped
    std::string Note;

    bool IsEmptyArchive() const { return Entry == "-"; }
    bool IsFolder() const { return !Entry.empty() && Entry.back() == '/'; }
};

/// What the corpus holds: 42 archives, 378 entries (one archive has none).
inline constexpr std::size_t kCorpusArchives = 42;
inline constexpr std::size_t kCorpusEntries = 378;

/// Every row of the manifest in its order. Throws when the manifest is missing or holds
/// another number of archives or entries than the corpus has.
inline std::vector<TCorpusRow> ReadCorpusManifest() {
    std::ifstream in(TestDataPath("corpus/MANIFEST.tsv"));
    std::vector<TCorpusRow> rows;
    std::vector<std::string> archives;
    std::string line;
    std::getline(in, line); // column headings
    while (std::getline(in, line)) {
        std::vector<std::string> cells;
        std::stringstream fields(line);
        for (std::string cell; std::getline(fields, cell, '\t');) {
            cells.push_back(cell);
        }
        if (cells.size() < 7) {
            throw std::runtime_error("corpus/MANIFEST.tsv: short line: " + line);
        }
        cells.resize(8);
        TCorpusRow row{cells[0], cells[1], cells[2], 0, 0, 0, cells[6], cells[7]};
        if (!row.IsEmptyArchive()) {
            row.Method = std::stoi(cells[3]);
            row.Size = std::stoll(cells[4]);
            row.Crc = static_cast<std::uint32_t>(std::stoul(cells[5], nullptr, 16));
        }
        if (archives.empty() || archives.back() != row.Archive) {
            archives.push_back(row.Archive);
        }
        rows.push_back(std::move(row));
    }
    std::size_t entryRows = 0;
    for (const TCorpusRow& row : rows) {
        entryRows += row.IsEmptyArchive() ? 0 : 1;
    }
    if (archives.size() != kCorpusArchives || entryRows != kCorpusEntries) {
        throw std::runtime_error("corpus/MANIFEST.tsv lists " + std::to_string(archives.size()) +
                                 " archives and " + std::to_string(entryRows) +
                                 " entries instead of " + std::to_string(kCorpusArchives) +
                                 " and " + std::to_string(kCorpusEntries));
    }
    return rows;
}

} // namespace zorvi::test
