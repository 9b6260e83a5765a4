#include "app/ArchiveDeployment.h"

namespace zorvi {
namespace {

std::string WithoutTrailingBackslash(const std::string& path) {
    if (!path.empty() && path.back() == '\\') {
        return path.substr(0, path.size() - 1);
    }
    return path;
}

// The folder part of a path, as the path up to its last backslash, then without
// that backslash: "C:\a\b" → "C:\a", "C:\a" → "C:", "abc" → "".
std::string ParentOf(const std::string& path) {
    const std::size_t last = path.rfind('\\');
    return last == std::string::npos ? std::string()
                                     : WithoutTrailingBackslash(path.substr(0, last + 1));
}

// Log lines of the deployment; the leading blanks indent sub-steps.
constexpr const char* kSuccess = "      Успешно.";
constexpr const char* kFailure = "      Ошибка!";
constexpr const char* kDetailIndent = "      ";

} // namespace

TWorkFolder WorkFolderUnder(const std::string& personalFolder) {
    TWorkFolder folder;
    folder.WorkDir = personalFolder + "\\ZorviUpdate\\";
    folder.ArchivePath = folder.WorkDir + "update.zip";
    return folder;
}

bool ForceFolders(TFileSystem& files, const std::string& path) {
    const std::string folder = WithoutTrailingBackslash(path);
    if (folder.size() < 3 || files.FolderExists(folder)) {
        return true;
    }
    const std::string parent = ParentOf(folder);
    if (parent == folder) {
        return true;
    }
    return ForceFolders(files, parent) && files.MakeFolder(folder);
}

bool SaveEmbeddedArchive(TFileSystem& files, const TEmbeddedArchive& archive,
                         const std::string& path) {
    const std::string_view bytes = archive.Bytes();
    return files.WriteWholeFile(path, bytes) == bytes.size();
}

bool UnpackArchive(TArchiveExtractor& unZip, const std::string& archivePath,
                   const std::string& destDir) {
    try {
        unZip.SetZipName(archivePath);
        unZip.ReadZipDirectory();
        const int expected = unZip.EntryCount();
        unZip.SetDestDir(destDir);
        unZip.AddFileMask("*.*");
        unZip.SetDoAll(true);
        unZip.SetRecreateDirs(true);
        unZip.SetRetainAttributes(true);
        unZip.SetOverwriteAlways();
        unZip.SetPassword("");
        return unZip.ExtractFiles() == expected;
    } catch (...) {
        // A damaged or missing archive, a file that cannot be written: the unpacking
        // failed, and the caller says so in the log.
        return false;
    }
}

bool DeployUpdateArchive(const TDeploymentContext& context, TWorkFolder& folder) {
    TProgressLog& log = context.Log;
    log.AddLogLine("Распаковка архива...");

    const std::string personal = context.Personal.GetPersonalFolder();
    folder = WorkFolderUnder(personal);

    log.AddLogLine("   Создание директории...");
    log.AddLogLine(kDetailIndent + folder.WorkDir);
    // Without a personal folder the work folder would land in the root of whatever
    // drive is current; that is no place to unpack into, so the step fails instead.
    if (personal.empty() || !ForceFolders(context.Files, folder.WorkDir)) {
        log.AddLogLine(kFailure);
        return false;
    }
    log.AddLogLine(kSuccess);

    log.AddLogLine("   Копирование архива...");
    log.AddLogLine(kDetailIndent + folder.ArchivePath);
    if (!SaveEmbeddedArchive(context.Files, context.Archive, folder.ArchivePath)) {
        log.AddLogLine(kFailure);
        return false;
    }
    log.AddLogLine(kSuccess);

    if (!UnpackArchive(context.UnZip, folder.ArchivePath, folder.WorkDir)) {
        log.AddLogLine("   Ошибка при распаковке архива!");
        return false;
    }
    log.AddLogLine("   Распаковка успешно завершена.");
    log.AddLogLine("");
    return true;
}

} // namespace zorvi
