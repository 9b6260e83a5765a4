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

bool IsAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The length of UTF-8 text in UTF-16 code units, the characters the system's path
// limit counts: one per character, two for those beyond U+FFFF (four-byte forms).
std::size_t Utf16Length(const std::string& utf8) {
    std::size_t length = 0;
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte & 0xC0) != 0x80) { // not a continuation byte: a character starts
            length += byte >= 0xF0 ? 2 : 1;
        }
    }
    return length;
}

} // namespace

TWorkFolder WorkFolderUnder(const std::string& personalFolder) {
    TWorkFolder folder;
    folder.WorkDir = personalFolder + "\\ZorviUpdate\\";
    folder.ArchivePath = folder.WorkDir + "update.zip";
    return folder;
}

bool IsAbsolutePath(const std::string& path) {
    if (path.size() >= 3 && IsAsciiLetter(path[0]) && path[1] == ':' && path[2] == '\\') {
        return true;
    }
    // \\server\share: a server name, a backslash and a share name at least.
    if (path.size() < 2 || path[0] != '\\' || path[1] != '\\') {
        return false;
    }
    const std::size_t serverEnd = path.find('\\', 2);
    if (serverEnd == std::string::npos || serverEnd == 2 || serverEnd + 1 == path.size() ||
        path[serverEnd + 1] == '\\') {
        return false;
    }
    const std::string server = path.substr(2, serverEnd - 2);
    return server != "?" && server != ".";
}

std::optional<std::string> DocumentsFolderProblem(const TFileSystem& files,
                                                  const std::string& personalFolder) {
    if (personalFolder.empty()) {
        return "Папка документов пользователя не определена.";
    }
    if (!IsAbsolutePath(personalFolder)) {
        return "Папка документов пользователя задана неполным путём.";
    }
    if (!files.FolderExists(personalFolder)) {
        return "Папка документов пользователя недоступна: " + files.LastErrorText();
    }
    return std::nullopt;
}

std::optional<std::string> WorkFolderLengthProblem(const std::string& workDir) {
    const std::size_t length = Utf16Length(workDir);
    if (length <= kMaxWorkDirLength) {
        return std::nullopt;
    }
    return "Слишком длинный путь к рабочей папке (длина " + std::to_string(length) +
           ", допустимо не более " + std::to_string(kMaxWorkDirLength) + ").";
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
    // A documents folder that is none would put the work folder in the root of the
    // current drive or under the current folder; a work folder too long for the tool
    // could be made but never flashed from. Both fail before anything is made.
    std::optional<std::string> problem = DocumentsFolderProblem(context.Files, personal);
    if (!problem) {
        problem = WorkFolderLengthProblem(folder.WorkDir);
    }
    if (!problem && !ForceFolders(context.Files, folder.WorkDir)) {
        problem = context.Files.LastErrorText();
    }
    if (problem) {
        log.AddLogLine(kFailure);
        // The reason, so that the technician knows what to put right.
        log.AddLogLine(kDetailIndent + *problem);
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
