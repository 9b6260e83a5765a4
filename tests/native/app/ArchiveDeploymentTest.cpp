#include "app/ArchiveDeployment.h"

#include "WorkflowFakes.h"

#include <gtest/gtest.h>

namespace zorvi {
namespace {

using testing::LogLines;
using testing::TJournal;
using testing::TMemoryFileSystem;
using testing::TRecordingExtractor;

const std::string kWorkDir = "C:\\Users\\op\\Documents\\ZorviUpdate\\";
const std::string kArchivePath = kWorkDir + "update.zip";

// One deployment with its fakes; the personal folder's parents exist.
struct TDeploymentRig {
    TJournal Journal;
    testing::TJournalLog Log{Journal};
    testing::TFixedPersonalFolder Personal;
    TMemoryFileSystem Files{Journal};
    testing::TStringArchive Archive;
    TRecordingExtractor UnZip;
    TWorkFolder Folder;

    TDeploymentRig() {
        Files.AddFolder("C:\\Users");
        Files.AddFolder("C:\\Users\\op");
        Files.AddFolder("C:\\Users\\op\\Documents");
    }
    bool Deploy() { return DeployUpdateArchive({Log, Personal, Files, Archive, UnZip}, Folder); }
};

TEST(ArchiveDeployment, WritesTheArchiveAndUnpacksItIntoANewWorkFolder) {
    TDeploymentRig rig;
    ASSERT_TRUE(rig.Deploy());
    EXPECT_EQ(LogLines(rig.Journal), (std::vector<std::string>{
                                         "Распаковка архива...",
                                         "   Создание директории...",
                                         "      C:\\Users\\op\\Documents\\ZorviUpdate\\",
                                         "      Успешно.",
                                         "   Копирование архива...",
                                         "      C:\\Users\\op\\Documents\\ZorviUpdate\\update.zip",
                                         "      Успешно.",
                                         "   Распаковка успешно завершена.",
                                         "",
                                     }));
    EXPECT_EQ(rig.Folder.WorkDir, kWorkDir);
    EXPECT_EQ(rig.Folder.ArchivePath, kArchivePath);
    EXPECT_TRUE(rig.Files.FolderExists("C:\\Users\\op\\Documents\\ZorviUpdate"));
    EXPECT_EQ(rig.Files.Read(kArchivePath), rig.Archive.Content);
}

TEST(ArchiveDeployment, DrivesTheExtractorInItsFixedOrder) {
    TDeploymentRig rig;
    ASSERT_TRUE(rig.Deploy());
    EXPECT_EQ(rig.UnZip.Calls, (std::vector<std::string>{
                                   "ZipName=" + kArchivePath,
                                   "ReadZipDirectory",
                                   "EntryCount",
                                   "DestDir=" + kWorkDir,
                                   "FilesList+*.*",
                                   "DoAll=true",
                                   "RecreateDirs=true",
                                   "RetainAttributes=true",
                                   "OverwriteMode=Always",
                                   "Password=",
                                   "ExtractFiles",
                               }));
}

TEST(ArchiveDeployment, ExistingWorkFolderIsDeployedAgainWithoutMakingFolders) {
    TDeploymentRig rig;
    rig.Files.AddFolder("C:\\Users\\op\\Documents\\ZorviUpdate");
    rig.Files.Files[TMemoryFileSystem::Key(kArchivePath)] = "an older archive, longer than this";
    ASSERT_TRUE(rig.Deploy());
    EXPECT_EQ(testing::CountOf(rig.Journal, "MKDIR C:\\Users\\op\\Documents\\ZorviUpdate"), 0u);
    EXPECT_EQ(rig.Files.Read(kArchivePath), rig.Archive.Content);
}

TEST(ArchiveDeployment, ExtractedCountShortOfEntryCountFailsTheUnpacking) {
    TDeploymentRig rig;
    rig.UnZip.Extracted = 5;
    EXPECT_FALSE(rig.Deploy());
    const auto lines = LogLines(rig.Journal);
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[6], "      Успешно.");
    EXPECT_EQ(lines[7], "   Ошибка при распаковке архива!");
}

TEST(ArchiveDeployment, UnreadableArchiveFailsTheUnpackingWithoutRaising) {
    TDeploymentRig rig;
    rig.UnZip.DirectoryUnreadable = true;
    EXPECT_FALSE(rig.Deploy());
    EXPECT_EQ(LogLines(rig.Journal).back(), "   Ошибка при распаковке архива!");
    EXPECT_EQ(rig.UnZip.Calls.back(), "ReadZipDirectory");
}

TEST(ArchiveDeployment, ArchiveWithNoEntriesCountsAsUnpacked) {
    TDeploymentRig rig;
    rig.UnZip.Entries = 0;
    rig.UnZip.Extracted = 0;
    EXPECT_TRUE(rig.Deploy());
}

TEST(ArchiveDeployment, FolderThatCannotBeMadeStopsBeforeAnyWrite) {
    TDeploymentRig rig;
    rig.Files.Refused.insert(TMemoryFileSystem::Key("C:\\Users\\op\\Documents\\ZorviUpdate"));
    EXPECT_FALSE(rig.Deploy());
    EXPECT_EQ(LogLines(rig.Journal), (std::vector<std::string>{
                                         "Распаковка архива...",
                                         "   Создание директории...",
                                         "      C:\\Users\\op\\Documents\\ZorviUpdate\\",
                                         "      Ошибка!",
                                         // The system's reason, for the technician.
                                         "      Отказано в доступе.",
                                     }));
    EXPECT_TRUE(rig.Files.Files.empty());
    EXPECT_TRUE(rig.UnZip.Calls.empty());
}

TEST(ArchiveDeployment, ShortWriteOfTheArchiveIsAnError) {
    TDeploymentRig rig;
    rig.Files.WriteLimit = 100;
    EXPECT_FALSE(rig.Deploy());
    const auto lines = LogLines(rig.Journal);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[5], "      " + kArchivePath);
    EXPECT_EQ(lines[6], "      Ошибка!");
    EXPECT_TRUE(rig.UnZip.Calls.empty());
}

TEST(ArchiveDeployment, ArchiveThatCannotBeCreatedRaisesThroughTheDeployment) {
    TDeploymentRig rig;
    rig.Files.Unwritable.insert(TMemoryFileSystem::Key(kArchivePath));
    EXPECT_THROW(rig.Deploy(), EInOutError);
    EXPECT_EQ(LogLines(rig.Journal).back(), "      " + kArchivePath);
}

TEST(ArchiveDeployment, OnlyAnAbsolutePathOfAnExistingFolderIsADocumentsFolder) {
    // What the shell named, and the reason logged after "Ошибка!"; nothing is made.
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "Папка документов пользователя не определена."},
        // Shells answer a profile on an absent drive with anything, relative text too.
        {"Documents", "Папка документов пользователя задана неполным путём."},
        {"ø4", "Папка документов пользователя задана неполным путём."},
        {"C:", "Папка документов пользователя задана неполным путём."},
        {"C:Documents", "Папка документов пользователя задана неполным путём."},
        {"\\Users\\op\\Documents", "Папка документов пользователя задана неполным путём."},
        {"\\\\?\\C:\\Users\\op\\Documents", "Папка документов пользователя задана неполным путём."},
        {"\\\\server", "Папка документов пользователя задана неполным путём."},
        {"Q:\\Documents", "Папка документов пользователя недоступна: "
                          "Системе не удается найти указанный путь."},
        {"\\\\server\\profiles\\op", "Папка документов пользователя недоступна: "
                                     "Системе не удается найти указанный путь."},
    };
    for (const auto& [personal, reason] : cases) {
        TDeploymentRig rig;
        rig.Personal.Path = personal;
        EXPECT_FALSE(rig.Deploy()) << personal;
        EXPECT_EQ(LogLines(rig.Journal),
                  (std::vector<std::string>{"Распаковка архива...", "   Создание директории...",
                                            "      " + personal + "\\ZorviUpdate\\",
                                            "      Ошибка!", "      " + reason}))
            << personal;
        EXPECT_EQ(testing::CountOf(rig.Journal, "MKDIR " + personal + "\\ZorviUpdate"), 0u);
        EXPECT_EQ(rig.Journal.size(), 5u) << "something was made for " << personal;
    }
}

TEST(ArchiveDeployment, ExistingDocumentsFolderOnADriveOrAShareIsUsed) {
    for (const std::string personal : {"D:\\", "D:\\Документы", "\\\\server\\profiles\\op"}) {
        TDeploymentRig rig;
        rig.Files.AddFolder(personal);
        rig.Personal.Path = personal;
        EXPECT_TRUE(rig.Deploy()) << personal;
    }
}

TEST(ArchiveDeployment, WorkFolderTooLongForTheToolIsRefusedBeforeAnythingIsMade) {
    // 242 UTF-16 characters with its backslash is the most: FlashMagicARM.dll then
    // ends at 259, within the 260 of a path, its NUL included.
    const std::string root = "C:\\Users\\";
    for (const auto& [fill, fits] :
         std::vector<std::pair<std::size_t, bool>>{{242 - 22, true}, {242 - 21, false}}) {
        TDeploymentRig rig;
        rig.Personal.Path = root + std::string(fill, 'x');
        rig.Files.AddFolder(rig.Personal.Path);
        ASSERT_EQ(WorkFolderUnder(rig.Personal.Path).WorkDir.size(), fits ? 242u : 243u);
        EXPECT_EQ(rig.Deploy(), fits);
        if (!fits) {
            const auto lines = LogLines(rig.Journal);
            ASSERT_EQ(lines.size(), 5u);
            EXPECT_EQ(lines[3], "      Ошибка!");
            EXPECT_EQ(lines[4], "      Слишком длинный путь к рабочей папке (длина 243, допустимо "
                                "не более 242).");
            EXPECT_TRUE(rig.Files.Files.empty());
        }
    }
    // UTF-16 characters count, not bytes: 242 of them in 243 bytes fit; one beyond
    // U+FFFF counts as two.
    const std::string cyrillic = "C:\\" + std::string(200, 'x') + "Ж" + std::string(37, 'y') + "\\";
    ASSERT_EQ(cyrillic.size(), 243u);
    EXPECT_FALSE(WorkFolderLengthProblem(cyrillic));
    const std::string smile = "\xF0\x9F\x98\x80";
    EXPECT_FALSE(WorkFolderLengthProblem("D:\\" + std::string(200, 'x') + smile +
                                         std::string(36, 'y') + "\\"));
    EXPECT_TRUE(WorkFolderLengthProblem("D:\\" + std::string(200, 'x') + smile +
                                        std::string(37, 'y') + "\\"));
}

TEST(ForceFolders, MakesMissingParentsFirst) {
    TJournal journal;
    TMemoryFileSystem files(journal);
    files.AddFolder("D:\\");
    ASSERT_TRUE(ForceFolders(files, "D:\\a\\b\\c\\"));
    EXPECT_EQ(journal, (TJournal{"MKDIR D:\\a", "MKDIR D:\\a\\b", "MKDIR D:\\a\\b\\c"}));
}

TEST(ForceFolders, ShortPathsAndExistingFoldersCountAsDone) {
    TJournal journal;
    TMemoryFileSystem files(journal);
    files.AddFolder("E:\\Work");
    EXPECT_TRUE(ForceFolders(files, "E:\\"));
    EXPECT_TRUE(ForceFolders(files, "E:"));
    EXPECT_TRUE(ForceFolders(files, "E:\\WORK\\"));
    EXPECT_TRUE(journal.empty());
}

TEST(ForceFolders, FailureOfAParentFailsTheWholePathAndStopsThere) {
    TJournal journal;
    TMemoryFileSystem files(journal);
    files.Refused.insert(TMemoryFileSystem::Key("F:\\locked"));
    EXPECT_FALSE(ForceFolders(files, "F:\\locked\\ZorviUpdate\\"));
    EXPECT_EQ(journal, (TJournal{"MKDIR F:\\locked"}));
}

TEST(ForceFolders, NetworkPathIsMadeBelowItsShare) {
    TJournal journal;
    TMemoryFileSystem files(journal);
    files.AddFolder("\\\\server\\share");
    ASSERT_TRUE(ForceFolders(files, "\\\\server\\share\\ZorviUpdate\\"));
    EXPECT_EQ(journal, (TJournal{"MKDIR \\\\server\\share\\ZorviUpdate"}));
}

} // namespace
} // namespace zorvi
