#include "zip/EntryPath.h"

#include <gtest/gtest.h>

namespace zorvi {
namespace {

TEST(EntryPath, FoldersBelowTheDestination) {
    struct TCase {
        const char* DestDir;
        const char* RootDir;
        bool Recreate;
        const char* Directory;
        const char* Folder;
    };
    const TCase cases[] = {
        {"C:\\out", "", true, "sub\\", "C:\\out\\sub\\"},
        {"C:\\out", "", false, "sub\\", "C:\\out\\"},
        {"C:\\out", "", true, "", "C:\\out\\"},
        {"C:\\out", "data\\", true, "data\\x\\", "C:\\out\\x\\"},
        {"C:\\out", "DATA\\", true, "data\\x\\", "C:\\out\\x\\"}, // any letter case
        {"C:\\out", "data\\", true, "data\\", "C:\\out\\"},
        {"C:\\out", "", true, "C:\\tmp\\", "C:\\out\\tmp\\"}, // rooted with a drive
        {"C:\\out", "", true, "\\tmp\\", "C:\\out\\tmp\\"},
        // No DestDir: the current folder, never the drive's root.
        {"", "", true, "\\tmp\\", ".\\tmp\\"},
        {"", "", true, "C:\\tmp\\", ".\\tmp\\"},
        {"", "", true, "sub\\", ".\\sub\\"},
        {"", "", false, "sub\\", ".\\"},
        {"C:\\out", "", true, "C:tmp\\", "C:\\out\\tmp\\"}, // never beside the destination
    };
    for (const TCase& c : cases) {
        const TEntryPlacement p = PlaceEntry(c.DestDir, c.RootDir, c.Recreate, c.Directory, "f");
        EXPECT_EQ(p.Folder, c.Folder) << c.Directory;
        EXPECT_TRUE(p.Safe) << c.Directory;
    }
}

TEST(EntryPath, ParentFolderPartsAreUnsafe) {
    const char* unsafe[][2] = {
        {"..\\", "f"},
        {"a\\..\\..\\", "f"},
        {"a/../", "f"},
        {"", ".."},
        {"a\\...\\", "f"},
        {"a\\.. \\", "f"},
        {"\\..\\", "f"},
        {"C:\\..\\", "f"},
        // Drive-relative: once "C:" is cut off, ".." is what is joined to the destination.
        {"C:..\\", "victim.txt"},
        {"x:..\\sub\\", "f"},
        {"a\\C:..\\", "f"},
    };
    for (const auto& c : unsafe) {
        for (const char* destDir : {"/out", ""}) {
            EXPECT_FALSE(PlaceEntry(destDir, "", true, c[0], c[1]).Safe) << c[0] << c[1];
        }
    }
    EXPECT_FALSE(PlaceEntry("/out", "data\\", true, "data\\C:..\\", "f").Safe);
    EXPECT_FALSE(PlaceEntry("/out", "", false, "a\\", "..").Safe);
    // A name of dots and blanks would be the destination (or the entry's folder) itself.
    for (const char* name : {".", ". ", " "}) {
        EXPECT_FALSE(PlaceEntry("/out", "", true, "", name).Safe) << name;
        EXPECT_FALSE(PlaceEntry("/out", "", true, "a\\", name).Safe) << name;
    }
    EXPECT_FALSE(PlaceEntry("/out", "", true, "a\\", std::string("x\0y", 3)).Safe);
    // RootDir is stripped first; what remains decides.
    EXPECT_TRUE(PlaceEntry("/out", "..\\", true, "..\\x\\", "f").Safe);
    EXPECT_TRUE(PlaceEntry("/out", "", true, "a..b\\.\\", "..f").Safe);
}

TEST(EntryPath, ExtractFileDirKeepsTheSeparator) {
    EXPECT_EQ(ExtractFileDir("/out\\sub\\f.txt"), "/out\\sub\\");
    EXPECT_EQ(ExtractFileDir("/out/f.txt"), "/out/");
    EXPECT_EQ(ExtractFileDir("f.txt"), "");
}

} // namespace
} // namespace zorvi
