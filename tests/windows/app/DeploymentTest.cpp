// The whole deployment under Wine with the real parts: the embedded archive resource,
// files through the W functions, the extraction component. What lands in the work
// folder is checked against the archive's own central directory, read here
// independently of the component.
#include "app/ArchiveDeployment.h"
#include "app/adapters/UnZipExtractor.h"
#include "common/ProgressLog.h"
#include "win32/app/ResourceArchive.h"
#include "win32/app/Win32FileSystem.h"
#include "win32/base/Handles.h"
#include "win32/base/Utf16.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zorvi {
namespace {

struct TArchivedFile {
    std::string Name;
    std::uint32_t Size = 0;
    std::uint16_t DosTime = 0;
    std::uint16_t DosDate = 0;
};

std::uint32_t Le(std::string_view bytes, std::size_t at, int width) {
    std::uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i) {
        value = (value << 8) | static_cast<std::uint8_t>(bytes[at + static_cast<std::size_t>(i)]);
    }
    return value;
}

// The central directory of an archive without comment: the end record is the last 22
// bytes (signature, disks, counts at +10, size at +12, offset at +16); each central
// header is 46 bytes (time at +12, date at +14, size at +24, name, extra and comment
// lengths at +28, +30, +32) followed by its name, extra field and comment.
std::vector<TArchivedFile> CentralDirectory(std::string_view zip) {
    std::vector<TArchivedFile> files;
    const std::size_t end = zip.size() - 22;
    if (zip.size() < 22 || Le(zip, end, 4) != 0x06054B50) {
        ADD_FAILURE() << "no end record at the archive's end";
        return files;
    }
    std::size_t at = Le(zip, end + 16, 4);
    for (std::uint32_t n = Le(zip, end + 10, 2); n > 0; --n) {
        TArchivedFile file;
        file.DosTime = static_cast<std::uint16_t>(Le(zip, at + 12, 2));
        file.DosDate = static_cast<std::uint16_t>(Le(zip, at + 14, 2));
        file.Size = Le(zip, at + 24, 4);
        const std::size_t nameLength = Le(zip, at + 28, 2);
        file.Name = std::string(zip.substr(at + 46, nameLength));
        files.push_back(file);
        at += 46 + nameLength + Le(zip, at + 30, 2) + Le(zip, at + 32, 2);
    }
    return files;
}

class TLines : public TProgressLog {
public:
    void AddLogLine(const std::string& text) override { Lines.push_back(text); }
    std::vector<std::string> Lines;
};

class TTempPersonalFolder : public TPersonalFolder {
public:
    TTempPersonalFolder() {
        wchar_t buffer[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, buffer);
        Path = Utf8FromWide(buffer) + "zorvi личные документы";
        CreateDirectoryW(WideFromUtf8(Path).c_str(), nullptr);
    }
    std::string GetPersonalFolder() override { return Path; }
    std::string Path;
};

TEST(DeployUpdateArchive, UnpacksEveryEntryWithItsSizeAndTimeAndAgainOverThem) {
    TLines log;
    TTempPersonalFolder personal;
    TWin32FileSystem files;
    TResourceArchive archive;
    TUnZip unZip;
    TUnZipExtractor extractor(unZip);
    const TDeploymentContext context{log, personal, files, archive, extractor};
    const std::vector<TArchivedFile> expected = CentralDirectory(archive.Bytes());
    ASSERT_FALSE(expected.empty());

    for (int run = 1; run <= 2; ++run) {
        log.Lines.clear();
        TWorkFolder folder;
        ASSERT_TRUE(DeployUpdateArchive(context, folder)) << "run " << run;
        EXPECT_EQ(folder.WorkDir, personal.Path + "\\ZorviUpdate\\");
        EXPECT_EQ(log.Lines.at(2), "      " + folder.WorkDir);
        EXPECT_EQ(log.Lines.back(), "");
        EXPECT_EQ(log.Lines.at(log.Lines.size() - 2), "   Распаковка успешно завершена.");

        for (const TArchivedFile& file : expected) {
            WIN32_FILE_ATTRIBUTE_DATA data{};
            ASSERT_TRUE(GetFileAttributesExW(WideFromUtf8(folder.WorkDir + file.Name).c_str(),
                                             GetFileExInfoStandard, &data))
                << file.Name;
            EXPECT_EQ(data.nFileSizeLow, file.Size) << file.Name;
            FILETIME local{};
            WORD date = 0;
            WORD time = 0;
            FileTimeToLocalFileTime(&data.ftLastWriteTime, &local);
            FileTimeToDosDateTime(&local, &date, &time);
            EXPECT_EQ(date, file.DosDate) << file.Name;
            EXPECT_EQ(time, file.DosTime) << file.Name;
        }
    }
}

TEST(DeployUpdateArchive, EntryThatCannotBeReplacedFailsTheUnpacking) {
    TLines log;
    TTempPersonalFolder personal;
    TWin32FileSystem files;
    TResourceArchive archive;
    TUnZip unZip;
    TUnZipExtractor extractor(unZip);
    const TDeploymentContext context{log, personal, files, archive, extractor};
    TWorkFolder folder;
    ASSERT_TRUE(DeployUpdateArchive(context, folder));

    // Another program holds one of the entries open without sharing it.
    const std::string held = folder.WorkDir + CentralDirectory(archive.Bytes()).back().Name;
    TKernelHandle lock(CreateFileW(WideFromUtf8(held).c_str(), GENERIC_READ, 0, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(lock.Valid());
    log.Lines.clear();
    EXPECT_FALSE(DeployUpdateArchive(context, folder));
    lock.Close();
    EXPECT_EQ(log.Lines.back(), "   Ошибка при распаковке архива!");
}

} // namespace
} // namespace zorvi
