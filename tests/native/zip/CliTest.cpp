// zorvi-unzip run as a user runs it: a real process, its output and exit status; on the
// corpus and on archives Info-ZIP zip makes in the test.
#include "TestArchive.h"
#include "TimeZone.h"
#include "UnzipProcess.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace zorvi {
namespace {

namespace fs = std::filesystem;
using test::Quote;
using test::RunShell;
using test::RunUnzip;
using test::TRun;

fs::path Corpus(const std::string& name) {
    return test::TestDataPath("corpus/" + name);
}

const std::string kRebuiltNotice = "directory damaged or missing, rebuilt from the local headers";

TEST(ZorviUnzipList, PrintsTheManifestFieldsOfEveryCorpusArchive) {
    // archive -> "name\tmethod\tsize\tcrc" lines, in the manifest's order.
    std::map<std::string, std::vector<std::string>> expected;
    for (const test::TCorpusRow& row : test::ReadCorpusManifest()) {
        auto& rows = expected[row.Archive];
        if (!row.IsEmptyArchive()) {
            char crc[9];
            std::snprintf(crc, sizeof crc, "%08x", row.Crc);
            rows.push_back(row.Entry + '\t' + std::to_string(row.Method) + '\t' +
                           std::to_string(row.Size) + '\t' + crc);
        }
    }
    for (const auto& [archive, rows] : expected) {
        SCOPED_TRACE(archive);
        TRun run = RunUnzip("-l " + Quote(Corpus(archive)));
        const bool damaged = run.Status == 2;
        if (damaged) {
            run = RunUnzip("-l -i bad " + Quote(Corpus(archive))); // rebuild
        }
        ASSERT_EQ(run.Status, 0) << run.Output;
        EXPECT_EQ(run.Output.find(kRebuiltNotice) != std::string::npos, damaged);
        std::vector<std::string> listed;
        std::stringstream out(run.Output);
        for (std::string l; std::getline(out, l) && listed.size() < rows.size();) {
            if (l.rfind("zorvi-unzip: ", 0) == 0) {
                continue; // a notice on standard error
            }
            std::vector<std::string> c;
            std::stringstream fields(l);
            for (std::string cell; std::getline(fields, cell, '\t');) {
                c.push_back(cell);
            }
            ASSERT_EQ(c.size(), 6u) << l;
            EXPECT_EQ(c[5].size(), 19u) << l; // YYYY-MM-DD hh:mm:ss
            listed.push_back(c[0] + '\t' + c[1] + '\t' + c[3] + '\t' + c[4]);
        }
        EXPECT_EQ(listed, rows);
    }
}

TEST(ZorviUnzipList, ShowsTheArchiveCommentAndSorts) {
    const TRun run = RunUnzip("-l -s usize " + Quote(Corpus("iz-comments.zip")));
    EXPECT_EQ(run.Status, 0);
    EXPECT_NE(run.Output.find("README.txt\t8\t"), std::string::npos);
    EXPECT_EQ(run.Output.find("README.txt"), 0u); // the largest first
    EXPECT_NE(run.Output.find("Archive comment line 1"), std::string::npos);
    EXPECT_NE(run.Output.find("line 2: firmware package v1.2.3"), std::string::npos);
}

TEST(ZorviUnzipExtract, ExitStatusTellsWhatHappened) {
    test::TTempDir dir;
    const TRun good =
        RunUnzip("-d " + Quote(dir.Path() / "good") + " " + Quote(Corpus("7z-deflate.zip")));
    EXPECT_EQ(good.Status, 0) << good.Output;
    EXPECT_NE(good.Output.find("  extracted: data/blob.bin\n"), std::string::npos);
    EXPECT_NE(good.Output.find("9 extracted, 0 skipped, 0 failed\n"), std::string::npos);
    EXPECT_EQ(fs::file_size(dir.Path() / "good" / "data" / "blob.bin"), 60000u);

    const TRun bad =
        RunUnzip("-d " + Quote(dir.Path() / "bad") + " " + Quote(Corpus("bad-crc.zip")));
    EXPECT_EQ(bad.Status, 1);
    EXPECT_NE(bad.Output.find("bad CRC: docs/manual.txt (computed 3cdd74ba, stored e270ca55)"),
              std::string::npos);

    const TRun unread =
        RunUnzip("-d " + Quote(dir.Path() / "x") + " " + Quote(Corpus("no-end-record.zip")));
    EXPECT_EQ(unread.Status, 2);
    EXPECT_NE(unread.Output.find("Неполный Zip файл"), std::string::npos);

    const TRun missing = RunUnzip(Quote(dir.Path() / "missing.zip"));
    EXPECT_EQ(missing.Status, 2);
    EXPECT_NE(missing.Output.find("Cannot open file"), std::string::npos);
}

TEST(ZorviUnzipExtract, ThreadCountChangesNeitherLinesNorFiles) {
    test::TTempDir dir;
    for (const std::string archive :
         {"bad-crc.zip", "iz-bzip2-unsupported.zip", "7z-zipcrypto.zip", "iz-tree-deflate6.zip"}) {
        SCOPED_TRACE(archive);
        std::map<std::string, std::string> outputs;
        for (const std::string threads : {"1", "2", "5"}) {
            const fs::path out = dir.Path() / (archive + threads);
            const TRun run = RunUnzip("-T " + threads + " -P 'zip crypto' -d " + Quote(out) + " " +
                                      Quote(Corpus(archive)));
            outputs[threads] = std::to_string(run.Status) + "\n" + run.Output;
            EXPECT_FALSE(fs::is_empty(out));
        }
        EXPECT_EQ(outputs["1"], outputs["2"]);
        EXPECT_EQ(outputs["1"], outputs["5"]);
    }
    for (const std::string wrong : {"0", "65", "x", "-1", "2x", ""}) {
        const TRun run = RunUnzip("-T '" + wrong + "' -d " + Quote(dir.Path() / "no") + " " +
                                  Quote(Corpus("bad-crc.zip")));
        EXPECT_EQ(run.Status, 3) << wrong; // bad usage
        EXPECT_NE(run.Output.find("unknown value '" + wrong + "' of option -T"), std::string::npos)
            << run.Output;
    }
    EXPECT_NE(RunUnzip("-h").Output.find("-T THREADS"), std::string::npos);
}

TEST(ZorviUnzipExtract, EveryFailureGetsALineAndTheExitStatus) {
    test::TTempDir dir;
    const auto run = [&](const std::string& name, const std::vector<test::TTestEntry>& entries) {
        test::WriteFile(dir.Path() / name, test::BuildArchive(entries).Bytes);
        return RunUnzip("-o always -d " + Quote(dir.Path() / "o") + " " + Quote(dir.Path() / name));
    };
    TRun r = run("nameless.zip", {{.Name = "", .Data = "x"}, {.Name = "a.txt", .Data = "a"}});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Output.find("    skipped: entry 1 (empty name)\n"), std::string::npos) << r.Output;

    r = run("sizes.zip", {{.Name = "short.bin", .Data = "s", .UncompressedSize = 0xFFFFFFFEu},
                          {.Name = "odd.bin", .Data = "", .Method = 99}});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Output.find("     failed: short.bin (size differs from its recorded size)\n"),
              std::string::npos)
        << r.Output;
    EXPECT_NE(r.Output.find("    skipped: odd.bin (unsupported compression method 99)\n"),
              std::string::npos);
    EXPECT_NE(r.Output.find("0 extracted, 1 skipped, 1 failed\n"), std::string::npos);

    r = run("shared.zip", {{.Name = "one.txt", .Data = "1"},
                           {.Name = "two.txt", .Data = "1", .LocalOffset = 0u, .OmitLocal = true}});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Output.find(kRebuiltNotice), std::string::npos) << r.Output;
    EXPECT_NE(r.Output.find(": dropped: two.txt (its central header names no entry of the "
                            "rebuilt directory)\n"),
              std::string::npos);
    EXPECT_NE(r.Output.find("1 extracted, 0 skipped, 1 failed\n"), std::string::npos);
    EXPECT_EQ(RunUnzip("-l " + Quote(dir.Path() / "shared.zip")).Status, 1);

    // A directory that promises more entries than it holds: even a listing fails.
    auto promising = test::BuildArchive({{.Name = "only.txt", .Data = "1"}});
    test::PutU16(promising.Bytes, promising.EndOffset + 10, 3);
    test::WriteFile(dir.Path() / "promising.zip", promising.Bytes);
    r = RunUnzip("-l " + Quote(dir.Path() / "promising.zip"));
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Output.find("promising.zip: 2 entries the directory promises could not be found\n"),
              std::string::npos)
        << r.Output;

    r = run("bomb.zip", {{.Name = "a", .Data = std::string(5000, 'a'), .Method = 8},
                         {.Name = "b",
                          .Data = std::string(5000, 'a'),
                          .Method = 8,
                          .LocalOffset = 0u,
                          .DiskNumber = 1,
                          .OmitLocal = true}});
    EXPECT_EQ(r.Status, 2);
    EXPECT_NE(r.Output.find("overlapped components (possible zip bomb)"), std::string::npos)
        << r.Output;
    EXPECT_FALSE(fs::exists(dir.Path() / "o" / "a"));

    auto cut = test::BuildArchive({{.Name = "cut.bin", .Data = std::string(9000, 'c')}});
    test::PutU32(cut.Bytes, cut.CentralOffset + 20, 90000);
    test::WriteFile(dir.Path() / "cut.zip", cut.Bytes);
    r = RunUnzip("-d " + Quote(dir.Path() / "o") + " " + Quote(dir.Path() / "cut.zip"));
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Output.find("     failed: cut.bin (the archive ends inside its data)\n"),
              std::string::npos)
        << r.Output;
}

TEST(ZorviUnzipExtract, MasksJunkedPathsOverwriteAndPasswords) {
    test::TTempDir dir;
    const std::string out = Quote(dir.Path() / "o");
    TRun run =
        RunUnzip("-q -j -d " + out + " " + Quote(Corpus("7z-stored.zip")) + " '*.c' 'docs/*'");
    EXPECT_EQ(run.Status, 0) << run.Output;
    EXPECT_TRUE(run.Output.empty()) << run.Output;
    std::set<std::string> names;
    for (const auto& item : fs::directory_iterator(dir.Path() / "o")) {
        names.insert(item.path().filename().string());
    }
    EXPECT_EQ(names, (std::set<std::string>{"util.c", "main.c", "empty.txt", "manual.txt"}));

    // No terminal: "prompt" answers no.
    run = RunUnzip("-d " + out + " -j " + Quote(Corpus("7z-stored.zip")) + " '*main.c'");
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Output.find("skipped: src/main.c (file exists, not replaced)"),
              std::string::npos);
    run = RunUnzip("-o always -d " + out + " -j " + Quote(Corpus("7z-stored.zip")) + " '*main.c'");
    EXPECT_EQ(run.Status, 0);

    // Without a terminal a wrong password skips the entry with the reason.
    run = RunUnzip("-P wrong -d " + Quote(dir.Path() / "p") + " " +
                   Quote(Corpus("iz-encrypted-stored.zip")));
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Output.find("(wrong password)"), std::string::npos);
    run = RunUnzip("-P secret -d " + Quote(dir.Path() / "p") + " " +
                   Quote(Corpus("iz-encrypted-stored.zip")));
    EXPECT_EQ(run.Status, 0) << run.Output;

    run = RunUnzip("-x");
    EXPECT_EQ(run.Status, 3); // bad usage
    const std::string help = RunUnzip("-h").Output;
    for (const char* option : {"-P PASSWORD", "  -t  ", "  -p  ", "  -x MASK  "}) {
        EXPECT_NE(help.find(option), std::string::npos) << option;
    }
}

TEST(ZorviUnzipExtract, TestAndPipeWriteNoFilesAndExcludeLeavesOut) {
    test::TTempDir dir;
    const std::string b(5000, 'b');
    test::WriteFile(dir.Path() / "a.zip",
                    test::BuildArchive({{.Name = "a.txt", .Data = "alpha"},
                                        {.Name = "sub/b.bin", .Data = b, .Method = 8},
                                        {.Name = "bad.txt", .Data = "bad", .Crc = 1u},
                                        {.Name = "skip/x.txt", .Data = "x"}})
                        .Bytes);
    const std::string unzip = std::string(ZORVI_UNZIP_EXE);
    const auto inDir = [&](const std::string& arguments) {
        return RunShell("(cd " + Quote(dir.Path()) + " && " + unzip + " " + arguments + ")");
    };
    TRun run = inDir("-t -x 'skip/*' a.zip");
    EXPECT_EQ(run.Status, 1) << run.Output;
    EXPECT_NE(run.Output.find("     tested: sub/b.bin\n"), std::string::npos) << run.Output;
    EXPECT_NE(run.Output.find("bad CRC: bad.txt"), std::string::npos);
    EXPECT_NE(run.Output.find("2 tested, 0 skipped, 1 failed\n"), std::string::npos);
    EXPECT_EQ(run.Output.find("skip/x.txt"), std::string::npos);
    EXPECT_EQ(inDir("-t -q a.zip 'sub/*' a.txt").Status, 0);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);

    // -p: the data alone on standard output, problems on standard error.
    run = inDir("-p a.zip 'sub/*' a.txt 2>/dev/null");
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(run.Output, "alpha" + b);
    run = inDir("-p -x '*.bin' a.zip 2>&1 >/dev/null");
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Output.rfind("    bad CRC: bad.txt", 0), 0u) << run.Output;
    EXPECT_EQ(inDir("-t -p a.zip").Status, 3); // bad usage

    // An empty destination is the current folder.
    fs::create_directories(dir.Path() / "here");
    run =
        RunShell("cd " + Quote(dir.Path() / "here") + " && " + unzip + " -q -d '' ../a.zip a.txt");
    EXPECT_EQ(run.Status, 0) << run.Output;
    EXPECT_EQ(test::ReadFile(dir.Path() / "here" / "a.txt"), "alpha");
}

TEST(ZorviUnzipExtract, EveryCorpusArchiveExtractsAsItsManifestSays) {
    using TRow = test::TCorpusRow;
    std::map<std::string, std::pair<std::string, std::vector<TRow>>> archives;
    for (const TRow& row : test::ReadCorpusManifest()) {
        auto& archive = archives[row.Archive];
        archive.first = row.Password;
        if (!row.IsEmptyArchive() && !row.IsFolder()) {
            archive.second.push_back(row);
        }
    }
    for (const auto& [archive, content] : archives) {
        SCOPED_TRACE(archive);
        test::TTempDir dir;
        const auto& [password, rows] = content;
        std::string options = "-q -d " + Quote(dir.Path() / "o");
        if (password != "-") {
            options += " -P '" + password + "'";
        }
        TRun run = RunUnzip(options + " " + Quote(Corpus(archive)));
        if (run.Status == 2) {
            run = RunUnzip(options + " -i bad " + Quote(Corpus(archive))); // damaged: rebuild
        }
        const bool damaged =
            std::any_of(rows.begin(), rows.end(), [](const TRow& r) { return r.Outcome != "ok"; });
        EXPECT_EQ(run.Status == 0, !damaged) << run.Output;
        for (const TRow& row : rows) {
            const fs::path file = dir.Path() / "o" / row.Entry;
            if (row.Outcome != "ok") {
                EXPECT_FALSE(fs::exists(file)) << row.Entry;
                continue;
            }
            const std::string data = test::ReadFile(file);
            EXPECT_EQ(data.size(), row.Size) << row.Entry;
            EXPECT_EQ(test::Crc32Of(data), row.Crc) << row.Entry;
        }
    }
}

TEST(ZorviUnzipExtract, WrongPasswordIsAskedAgainOnATerminal) {
    if (std::system("command -v script >/dev/null") != 0) {
        GTEST_SKIP() << "script(1) is not available to give the program a terminal";
    }
    test::TTempDir dir;
    // What the person types: a wrong password, then the right one.
    const TRun run =
        RunShell("printf 'nope\\nsecret\\n' | script -qec \"" + std::string(ZORVI_UNZIP_EXE) +
                 " -P wrong -d " + Quote(dir.Path() / "o") + " " +
                 Quote(Corpus("iz-encrypted-stored.zip")) + "\" /dev/null");
    const std::string prompt = "password for README.txt: ";
    const auto first = run.Output.find(prompt);
    ASSERT_NE(first, std::string::npos) << run.Output;
    EXPECT_NE(run.Output.find(prompt, first + 1), std::string::npos); // asked twice
    EXPECT_NE(run.Output.find(" 0 skipped, 0 failed"), std::string::npos) << run.Output;
    EXPECT_EQ(test::ReadFile(dir.Path() / "o" / "README.txt").size(), 3063u);
}

TEST(ZorviUnzipExtract, ProgressBarOnlyOnATerminalAndNotWhenQuiet) {
    if (std::system("command -v script >/dev/null") != 0) {
        GTEST_SKIP() << "script(1) is not available to give the program a terminal";
    }
    test::TTempDir dir;
    const std::string extract = std::string(ZORVI_UNZIP_EXE) + " -d " + Quote(dir.Path() / "o") +
                                " " + Quote(Corpus("iz-big-log5m.zip"));
    // script(1) runs the program on a pseudo-terminal and copies what it shows.
    const auto onTerminal = [&](const std::string& options) {
        return RunShell("script -qec \"" + extract + " -o always" + options + "\" /dev/null");
    };
    const TRun shown = onTerminal("");
    EXPECT_NE(shown.Output.find("] 100%"), std::string::npos) << shown.Output.substr(0, 200);
    EXPECT_NE(shown.Output.find("extracted: log5m.txt"), std::string::npos);
    EXPECT_EQ(onTerminal(" -q").Output.find('%'), std::string::npos);
    EXPECT_EQ(RunUnzip("-o always -d " + Quote(dir.Path() / "o") + " " +
                       Quote(Corpus("iz-big-log5m.zip")))
                  .Output.find('%'),
              std::string::npos); // not a terminal
}

// Archives as Info-ZIP zip writes them on a Linux system of today: raw UTF-8 names, the
// password's UTF-8 bytes, exact times in extended-timestamp fields, Unix modes and links.
TEST(ZorviUnzipPeers, InfoZipArchivesKeepNamesPasswordsTimesAndModes) {
    ASSERT_EQ(RunShell("command -v zip").Status, 0) << "Info-ZIP zip is missing";
    const test::TTimeZone probe("Asia/Novosibirsk");
    ASSERT_EQ(test::TTimeZone::OffsetAt(1'600'000'000), 7 * 3600) << "time zone data missing";
    test::TTempDir dir;
    const fs::path src = dir.Path() / "src";
    struct TFile {
        std::string Name;
        std::string Data;
        mode_t Mode;
    };
    const std::vector<TFile> files = {
        {"ru/Привет.txt", "Привет, мир\n", 0644},
        {"ru/Документы/отчёт №1.txt", std::string(70000, 'z') + "конец", 0600},
        {"script.sh", "#!/bin/sh\necho ok\n", 0755},
        {"日本/ёлка.bin", std::string(3000, '\x01'), 0444},
    };
    std::map<std::string, std::pair<std::size_t, std::uint32_t>> expected; // size, CRC-32
    std::time_t mtime = 1'600'000'001;                                     // odd seconds
    for (const TFile& file : files) {
        const fs::path path = src / test::Utf8Path(file.Name);
        fs::create_directories(path.parent_path());
        test::WriteFile(path, file.Data);
        const struct timespec times[2] = {{mtime, 0}, {mtime, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
        ASSERT_EQ(chmod(path.c_str(), file.Mode), 0);
        expected[file.Name] = {file.Data.size(), test::Crc32Of(file.Data)};
        mtime += 7'777;
    }
    fs::create_symlink("ru/Привет.txt", src / "ссылка");
    const std::string zip = "cd " + Quote(src) + " && TZ=UTC LC_ALL=C.UTF-8 zip -q -r ";
    ASSERT_EQ(RunShell(zip + "-y ../names.zip .").Status, 0); // -y: the link as a link
    ASSERT_EQ(RunShell(zip + "-P пароль ../secret.zip ru").Status, 0);

    // The listing: every file by its name, with its size and CRC-32; the folders; the link.
    const TRun list = RunUnzip("-l " + Quote(dir.Path() / "names.zip"));
    ASSERT_EQ(list.Status, 0) << list.Output;
    std::istringstream lines(list.Output);
    std::set<std::string> listed;
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::istringstream parts(line);
        for (std::string field; std::getline(parts, field, '\t');) {
            fields.push_back(field);
        }
        ASSERT_EQ(fields.size(), 6u) << line;
        listed.insert(fields[0]);
        if (const auto it = expected.find(fields[0]); it != expected.end()) {
            char crc[16];
            std::snprintf(crc, sizeof crc, "%08x", it->second.second);
            EXPECT_EQ(fields[3], std::to_string(it->second.first)) << line;
            EXPECT_EQ(fields[4], crc) << line;
        }
    }
    EXPECT_EQ(listed, (std::set<std::string>{"ru/", "ru/Привет.txt", "ru/Документы/",
                                             "ru/Документы/отчёт №1.txt", "script.sh", "日本/",
                                             "日本/ёлка.bin", "ссылка"}));

    // Extracted far from UTC, and the encrypted one with the password as typed.
    const auto extract = [&](const std::string& options, const std::string& archive) {
        return RunShell("TZ=Asia/Novosibirsk " + std::string(ZORVI_UNZIP_EXE) + " " + options +
                        " " + Quote(dir.Path() / archive) + " </dev/null");
    };
    TRun run = extract("-d " + Quote(dir.Path() / "out"), "names.zip");
    EXPECT_EQ(run.Status, 0) << run.Output;
    run = extract("-P пароль -d " + Quote(dir.Path() / "secret"), "secret.zip");
    EXPECT_EQ(run.Status, 0) << run.Output;
    for (const TFile& file : files) {
        SCOPED_TRACE(file.Name);
        struct stat original {};
        struct stat extracted {};
        ASSERT_EQ(stat((src / test::Utf8Path(file.Name)).c_str(), &original), 0);
        ASSERT_EQ(stat((dir.Path() / "out" / test::Utf8Path(file.Name)).c_str(), &extracted), 0);
        EXPECT_EQ(test::ReadFile(dir.Path() / "out" / test::Utf8Path(file.Name)), file.Data);
        EXPECT_EQ(extracted.st_mtim.tv_sec, original.st_mtim.tv_sec);
        EXPECT_EQ(extracted.st_mode & 07777, file.Mode);
        if (file.Name.starts_with("ru/")) {
            EXPECT_EQ(test::ReadFile(dir.Path() / "secret" / test::Utf8Path(file.Name)), file.Data);
        }
    }
    // The link: a small file holding its target's text, not a link, executable by nobody.
    struct stat link {};
    ASSERT_EQ(lstat((dir.Path() / "out" / "ссылка").c_str(), &link), 0);
    EXPECT_TRUE(S_ISREG(link.st_mode));
    EXPECT_EQ(link.st_mode & 0111, 0u);
    EXPECT_EQ(test::ReadFile(dir.Path() / "out" / "ссылка"), "ru/Привет.txt");
}

} // namespace
} // namespace zorvi
