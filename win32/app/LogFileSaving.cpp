#include "win32/app/LogFileSaving.h"

#include "app/ArchiveDeployment.h"
#include "common/LogText.h"
#include "win32/base/Utf16.h"

#include <commdlg.h>

namespace zorvi {
namespace {

// The dialog's file types: pairs of description and pattern, ended by an empty pair.
constexpr wchar_t kFilter[] = L"Журнал (*.log)\0*.log\0Все файлы (*.*)\0*.*\0";
constexpr wchar_t kDefaultExtension[] = L"log";

// Longer paths than this the dialog cannot return; Windows' own limit for its
// paths without the \\?\ prefix is far below it.
constexpr DWORD kPathCapacity = 32768;

} // namespace

std::string LogFolder(TPersonalFolder& personal, const TFileSystem& files) {
    const std::string documents = personal.GetPersonalFolder();
    // What the shell names is no folder to propose unless it is one (see
    // DocumentsFolderProblem); the dialog then opens where it would by itself.
    if (DocumentsFolderProblem(files, documents))
        return {};
    const std::string work = WorkFolderUnder(documents).WorkDir;
    return files.FolderExists(work) ? work : documents;
}

std::optional<std::string> AskLogFilePath(HWND owner, const std::string& folder,
                                          const std::string& name) {
    std::wstring path = WideFromUtf8(name);
    path.resize(kPathCapacity, L'\0');
    const std::wstring initialFolder = WideFromUtf8(folder);

    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = kFilter;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path.data();
    dialog.nMaxFile = kPathCapacity;
    dialog.lpstrInitialDir = initialFolder.empty() ? nullptr : initialFolder.c_str();
    dialog.lpstrDefExt = kDefaultExtension;
    // An existing file is replaced only after the technician agrees; the program's
    // current folder stays where it was (the dialog would move it to the folder
    // chosen).
    dialog.Flags =
        OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!GetSaveFileNameW(&dialog)) {
        if (const DWORD error = CommDlgExtendedError())
            throw EInOutError("Окно сохранения файла не открылось (код " + std::to_string(error) +
                              ").");
        return std::nullopt; // cancelled
    }
    path.resize(wcsnlen(path.c_str(), kPathCapacity));
    return Utf8FromWide(path);
}

bool SaveLog(HWND owner, const std::vector<std::string>& rows, TPersonalFolder& personal,
             TFileSystem& files, TMessageBoxes& boxes) {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    try {
        const auto path =
            AskLogFilePath(owner, LogFolder(personal, files),
                           LogFileName(now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute));
        if (!path)
            return false;
        const std::string text = LogText(rows);
        if (files.WriteWholeFile(*path, text) != text.size())
            throw EInOutError("Журнал записан в файл " + *path + " не полностью.");
        return true;
    } catch (const EInOutError& error) {
        boxes.ShowMessageBox(std::string("Журнал не сохранён.\r\r") + error.what(), "Информация",
                             MB_OK | MB_ICONWARNING);
        return false;
    }
}

} // namespace zorvi
