// zorvi-unzip's exit statuses, each shown with a real archive and a real process, held to
// the list -h prints; its --help and --version; and the names the manual page says are
// refused or placed elsewhere.
#include "TestArchive.h"
#include "UnzipProcess.h"

#include "common/Version.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <sstream>

namespace zorvi {
namespace {

namespace fs = std::filesystem;
using test::Quote;
using test::RunUnzip;
using test::TRun;

struct TCase {
    const char* What;
    std::string Arguments;
    int Status;
    std::string Says; // in the output (standard output and error together)
};

/// The statuses the "Exit status:" part of -h lists ("  0  every selected ...").
std::set<int> StatusesListedByHelp() {
    std::istringstream help(RunUnzip("-h").Output);
    std::set<int> statuses;
    bool inList = false;
    for (std::string line; std::getline(help, line);) {
        inList = inList || line == "Exit status:";
        if (inList && line.size() > 4 && line.starts_with("  ") &&
            std::isdigit(static_cast<unsigned char>(line[2])) && line.substr(3, 2) == "  ") {
            statuses.insert(line[2] - '0');
        }
    }
    return statuses;
}

TEST(ZorviUnzipStatus, EachStatusComesFromTheOutcomeHelpListsItFor) {
    test::TTempDir dir;
    const auto write = [&](const std::string& name, const std::vector<test::TTestEntry>& entries) {
        test::WriteFile(dir.Path() / name, test::BuildArchive(entries).Bytes);
        return Quote(dir.Path() / name);
    };
    const std::string good = write("good.zip", {{.Name = "a.txt", .Data = "alpha"}});
    const std::string badCrc = write("crc.zip", {{.Name = "b.txt", .Data = "beta", .Crc = 7u}});
    const std::string climbing =
        write("climb.zip", {{.Name = "../up.txt", .Data = "up"}, {.Name = "ok.txt", .Data = "ok"}});
    const std::string locked =
        write("locked.zip", {{.Name = "s.txt", .Data = "s", .Password = "pw"}});
    const std::string overlapping = write("bomb.zip", {{.Name = "a", .Data = std::string(500, 'a')},
                                                       {.Name = "b",
                                                        .Data = std::string(500, 'a'),
                                                        .LocalOffset = 0u,
                                                        .DiskNumber = 1,
                                                        .OmitLocal = true}});
    test::WriteFile(dir.Path() / "text.zip", std::string(2000, 't'));
    const std::string out = "-d " + Quote(dir.Path() / "out") + " ";
    const std::string never = "-d " + Quote(dir.Path() / "never") + " ";

    const std::vector<TCase> cases = {
        {"extracted", out + good, 0, "1 extracted, 0 skipped, 0 failed"},
        {"listed", "-l " + good, 0, "a.txt\t0\t5\t5\t"},
        {"tested", "-t " + good, 0, "1 tested, 0 skipped, 0 failed"},
        {"help", "--help", 0, "Exit status:"},
        {"version", "--version", 0, std::string("zorvi-unzip ") + kVersionText + "\n"},
        {"bad CRC", out + badCrc, 1, "bad CRC: b.txt"},
        {"name refused", out + climbing, 1, "skipped: ../up.txt (cannot create file)"},
        {"no password", "-t " + locked, 1, "skipped: s.txt (wrong password)"},
        {"no archive there", Quote(dir.Path() / "none.zip"), 2, "Cannot open file"},
        {"not an archive", "-l " + Quote(dir.Path() / "text.zip"), 2, "text.zip: "},
        {"overlapping entries", out + overlapping, 2, "possible zip bomb"},
        {"listing not written", "-l " + good + " >/dev/full", 2, "cannot write to standard output"},
        {"help not written", "-h >/dev/full", 2, ""},
        {"unknown option", never + "-Z " + good, 3, "unknown option -Z"},
        {"typo beside -h", "-h -Z", 3, "unknown option -Z"},
        {"value missing", good + " -d", 3, "option -d needs a value"},
        {"unknown value", never + "-o sometimes " + good, 3,
         "unknown value 'sometimes' of option -o"},
        {"no archive named", "-q", 3, "no archive named"},
        {"two actions", "-l -t " + good, 3, "options -l, -t and -p exclude each other"},
    };
    std::set<int> seen;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        // In a subshell, so that a case's own redirection of standard output leaves
        // standard error to the test.
        const TRun run =
            test::RunShell("(" + std::string(ZORVI_UNZIP_EXE) + " " + c.Arguments + " </dev/null)");
        EXPECT_EQ(run.Status, c.Status) << run.Output;
        EXPECT_NE(run.Output.find(c.Says), std::string::npos) << run.Output;
        if (c.Status == 3) {
            EXPECT_NE(run.Output.find("Try 'zorvi-unzip --help'"), std::string::npos);
        }
        seen.insert(run.Status);
    }
    EXPECT_FALSE(fs::exists(dir.Path() / "never")); // bad usage opens and makes nothing
    EXPECT_FALSE(fs::exists(dir.Path() / "up.txt"));
    EXPECT_EQ(test::ReadFile(dir.Path() / "out" / "ok.txt"), "ok");
    // The statuses -h lists are the ones the outcomes give, no more, no fewer.
    EXPECT_EQ(StatusesListedByHelp(), seen);
}

TEST(ZorviUnzipStatus, HelpAndVersionAreWhatPeopleType) {
    const TRun shortHelp = RunUnzip("-h");
    EXPECT_EQ(RunUnzip("--help").Output, shortHelp.Output);
    EXPECT_NE(shortHelp.Output.find("  --version "), std::string::npos);
    // An archive beside them is not opened: the text alone, status 0.
    EXPECT_EQ(RunUnzip("--help no-such.zip").Output, shortHelp.Output);
    const TRun version = RunUnzip("--version no-such.zip");
    EXPECT_EQ(version.Status, 0);
    EXPECT_EQ(std::count(version.Output.begin(), version.Output.end(), '\n'), 1) << version.Output;
}

// What the manual page's SAFETY section promises about names, through the command.
TEST(ZorviUnzipStatus, NamesAreRefusedOrPlacedBelowTheDestination) {
    test::TTempDir dir;
    const std::map<std::string, std::string> placed = {
        {"/abs/x.txt", "abs/x.txt"},
        {"C:\\win\\y.txt", "win/y.txt"},
        {"C:rel.txt", "rel.txt"},
        {"back\\slash\\c.txt", "back/slash/c.txt"},
    };
    const std::vector<std::string> refused = {"../up.txt", "a/../../up2.txt", "dots/...",
                                              "dots/.. /z.txt", "C:..\\up3.txt"};
    std::vector<test::TTestEntry> entries;
    for (const auto& [name, where] : placed) {
        entries.push_back({.Name = name, .Data = where});
    }
    for (const std::string& name : refused) {
        entries.push_back({.Name = name, .Data = "no"});
    }
    test::WriteFile(dir.Path() / "names.zip", test::BuildArchive(entries).Bytes);
    const fs::path out = dir.Path() / "deep" / "out";
    const TRun run = RunUnzip("-d " + Quote(out) + " " + Quote(dir.Path() / "names.zip"));
    EXPECT_EQ(run.Status, 1) << run.Output;
    for (const auto& [name, where] : placed) {
        EXPECT_EQ(test::ReadFile(out / where), where) << name;
    }
    for (std::string name : refused) {
        std::replace(name.begin(), name.end(), '\\', '/'); // as the lines show names
        EXPECT_NE(run.Output.find("skipped: " + name + " (cannot create file)"), std::string::npos)
            << name << "\n"
            << run.Output;
    }
    // Nothing beside the destination or above it: the one folder made is out itself.
    std::set<fs::path> made;
    for (const auto& item : fs::recursive_directory_iterator(dir.Path())) {
        made.insert(fs::relative(item.path(), dir.Path()));
    }
    for (const fs::path& path : made) {
        const std::string text = path.string();
        EXPECT_TRUE(text == "names.zip" || text == "deep" || text.starts_with("deep/out")) << text;
    }
}

} // namespace
} // namespace zorvi
