// Archives over several volumes: split files made by Info-ZIP's zip -s, volumes on a
// removable disk that the operator swaps, and the ".zfc" copy of a directory.
#include "zip/UnZip.h"
#include "zip/ZipErrors.h"

#include "TestArchive.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <random>

namespace zorvi {
namespace {

namespace fs = std::filesystem;

std::string RandomBytes(std::size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(n, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(random());
    }
    return bytes;
}

/// Makes split.zip with split.z01 and split.z02 in front of it, as zip -s names them, or
/// with `numbered` split.001 and split.002.
void MakeSplitArchive(const test::TTempDir& dir, const std::string& big, bool numbered = true) {
    test::WriteFile(dir.Path() / "big.bin", big);
    test::WriteFile(dir.Path() / "small.txt", "small");
    const std::string command =
        "cd '" + dir.Text() + "' && zip -q -s 64k -0 split.zip big.bin small.txt" +
        (numbered ? " && mv split.z01 split.001 && mv split.z02 split.002" : "");
    ASSERT_EQ(std::system(command.c_str()), 0) << "Info-ZIP zip (tools/install-deps.sh)";
}

TEST(ZipVolumes, SplitFilesOfEitherNamingAreReadThroughTheDefaultHandler) {
    for (const bool numbered : {true, false}) {
        test::TTempDir dir;
        const std::string big = RandomBytes(150000, 1);
        MakeSplitArchive(dir, big, numbered);
        TUnZip unzip;
        unzip.SetZipName(dir.Text("split.zip"));
        unzip.SetDestDir(dir.Text("out"));
        unzip.DoAll = true;
        unzip.ReadZipDirectory();
        ASSERT_EQ(unzip.EntryCount(), 2);
        EXPECT_EQ(unzip.MultiMode(), 2);
        EXPECT_EQ(unzip.DiskCount, 3);
        std::vector<std::string> requested;
        unzip.OnGetNextDisk = [&](TUnZip& sender, int disk, std::string& name) {
            sender.DefaultGetNextDisk(disk, name);
            requested.push_back(fs::path(name).filename().string());
        };
        EXPECT_EQ(unzip.ExtractFiles(), 2);
        EXPECT_EQ(test::ReadFile(dir.Path() / "out" / "big.bin"), big);
        EXPECT_EQ(test::ReadFile(dir.Path() / "out" / "small.txt"), "small");
        // The last volume keeps its .zip name.
        EXPECT_EQ(requested,
                  numbered ? (std::vector<std::string>{"split.001", "split.002", "split.zip"})
                           : (std::vector<std::string>{"split.z01", "split.z02", "split.zip"}));
    }
}

TEST(ZipVolumes, MissingSplitVolumeEndsNamingTheFileInsteadOfAskingForever) {
    for (const bool numbered : {true, false}) {
        test::TTempDir dir;
        MakeSplitArchive(dir, RandomBytes(150000, 2), numbered);
        const std::string missing = numbered ? "split.002" : "split.z02";
        fs::remove(dir.Path() / missing);
        TUnZip unzip;
        unzip.SetZipName(dir.Text("split.zip"));
        unzip.SetDestDir(dir.Text("out"));
        unzip.DoAll = true;
        int asked = 0;
        unzip.OnGetNextDisk = [&](TUnZip& sender, int disk, std::string& name) {
            ++asked;
            sender.DefaultGetNextDisk(disk, name);
        };
        try {
            unzip.ExtractFiles();
            FAIL();
        } catch (const EVolumeNotFound& error) {
            EXPECT_EQ(std::string(error.what()),
                      "Volume 2 of the multi-volume archive not found: \"" + dir.Text(missing) +
                          "\"");
        }
        EXPECT_EQ(asked, 3); // volume 1, then volume 2 twice
        EXPECT_FALSE(fs::exists(dir.Path() / "out" / "big.bin"));
    }
}

// A removable drive whose disk the test swaps when the component asks for one.
class TFloppyDrive : public TFileSystemShim {
public:
    std::optional<TLocalDateTime> FileTime(const std::string& path) override {
        return SystemFileSystem().FileTime(path);
    }
    bool SetFileDosTime(const std::string& path, std::uint32_t dos) override {
        return SystemFileSystem().SetFileDosTime(path, dos);
    }
    std::optional<std::uint32_t> Attributes(const std::string& path) override {
        return SystemFileSystem().Attributes(path);
    }
    bool SetFileUtcTime(const std::string& path, const TUtcTime& time) override {
        return SystemFileSystem().SetFileUtcTime(path, time);
    }
    bool SetAttributes(const std::string& path, std::uint32_t attributes) override {
        return SystemFileSystem().SetAttributes(path, attributes);
    }
    bool SetUnixPermissions(const std::string& path, std::uint32_t mode) override {
        return SystemFileSystem().SetUnixPermissions(path, mode);
    }
    bool IsRemovableDrive(const std::string& drive) override { return drive == "A:"; }
    std::string VolumeLabel(const std::string&) override { return Label; }
    std::string Label;
};

class TOperator : public TMessageBoxes {
public:
    int ShowMessageBox(const std::string& text, const std::string& caption,
                       unsigned style) override {
        Prompts.push_back(text);
        EXPECT_EQ(caption, "");
        EXPECT_EQ(style, kMbOkCancel);
        return Insert ? Insert(text) : kIdCancel;
    }
    std::vector<std::string> Prompts;
    std::function<int(const std::string&)> Insert;
};

TEST(ZipVolumes, RemovableDisksArePromptedForAndCheckedByLabel) {
    test::TTempDir dir;
    const std::string big = RandomBytes(150000, 3);
    MakeSplitArchive(dir, big);
    const std::vector<std::string> disks = {test::ReadFile(dir.Path() / "split.001"),
                                            test::ReadFile(dir.Path() / "split.002"),
                                            test::ReadFile(dir.Path() / "split.zip")};
    // "A:disk.zip" names a file in the current folder here, standing for drive A:.
    const fs::path previous = fs::current_path();
    fs::current_path(dir.Path());
    TFloppyDrive drive;
    TOperator person;
    const auto insert = [&](int disk) {
        test::WriteFile("A:disk.zip", disks[static_cast<std::size_t>(disk - 1)]);
        drive.Label = "PKBACK# 00" + std::to_string(disk);
    };
    insert(3);
    int wrongDiskOnce = 1;
    person.Insert = [&](const std::string& text) {
        const int disk = text[text.find("диск ") + std::string("диск ").size()] - '0';
        insert(disk);
        if (wrongDiskOnce-- > 0) {
            drive.Label = "PKBACK# 009"; // the wrong disk first: asked again
        }
        return kIdOk;
    };
    {
        TUnZip unzip(drive);
        unzip.MessageBoxes = &person;
        unzip.SetZipName("A:disk.zip");
        unzip.SetDestDir(dir.Text("out"));
        unzip.DoAll = true;
        unzip.ReadZipDirectory();
        EXPECT_EQ(unzip.MultiMode(), 1);
        EXPECT_EQ(unzip.ExtractFiles(), 2);
        EXPECT_EQ(test::ReadFile(dir.Path() / "out" / "big.bin"), big);
    }
    fs::current_path(previous);
    ASSERT_GE(person.Prompts.size(), 4u);
    EXPECT_EQ(person.Prompts[0], "Пожалуйста вставьте диск 1 многотомного архива.");
    EXPECT_EQ(person.Prompts[1], person.Prompts[0]); // the wrong disk was refused
}

TEST(ZipVolumes, CancelledPromptEndsWithUserCanceled) {
    TUnZip unzip;
    TOperator person; // answers Cancel
    unzip.MessageBoxes = &person;
    unzip.SetMultiMode(1);
    EXPECT_THROW(unzip.RequestDisk(2), EUserCanceled);
    EXPECT_EQ(person.Prompts,
              (std::vector<std::string>{"Пожалуйста вставьте диск 2 многотомного архива."}));
}

TEST(ZipVolumes, DirectoryFromTheZfcCopy) {
    test::TTempDir dir;
    const auto built = test::BuildArchive(
        {{.Name = "a.txt", .Data = "alpha"}, {.Name = "b/c.txt", .Data = "gamma"}});
    test::WriteFile(dir.Path() / "first.zip", built.Bytes.substr(0, built.CentralOffset));
    test::WriteFile(dir.Path() / "first.zfc", built.Bytes.substr(built.CentralOffset));
    TUnZip unzip;
    unzip.SetZipName(dir.Text("first.zip"));
    unzip.SetDestDir(dir.Text("out"));
    unzip.DoAll = true;
    unzip.RecreateDirs = true;
    EXPECT_EQ(unzip.ExtractFiles(), 2);
    EXPECT_EQ(unzip.CurrentDisk, 0);
    EXPECT_EQ(test::ReadFile(dir.Path() / "out" / "b" / "c.txt"), "gamma");
}

} // namespace
} // namespace zorvi
