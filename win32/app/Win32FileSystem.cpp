#include "win32/app/Win32FileSystem.h"

#include "win32/base/Handles.h"
#include "win32/base/SystemErrorText.h"
#include "win32/base/Utf16.h"

#include <windows.h>

namespace zorvi {

bool TWin32FileSystem::FolderExists(const std::string& path) const {
    const DWORD attributes = GetFileAttributesW(WideFromUtf8(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        lastError_ = GetLastError();
        return false;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        lastError_ = ERROR_DIRECTORY; // "The directory name is invalid."
        return false;
    }
    return true;
}

bool TWin32FileSystem::MakeFolder(const std::string& path) {
    if (CreateDirectoryW(WideFromUtf8(path).c_str(), nullptr)) {
        return true;
    }
    lastError_ = GetLastError();
    return false;
}

bool TWin32FileSystem::FileExists(const std::string& path) const {
    const DWORD attributes = GetFileAttributesW(WideFromUtf8(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        lastError_ = GetLastError();
        return false;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        lastError_ = ERROR_ACCESS_DENIED; // what opening a folder as a file answers
        return false;
    }
    return true;
}

bool TWin32FileSystem::RemoveFile(const std::string& path) {
    const std::wstring wide = WideFromUtf8(path);
    if (DeleteFileW(wide.c_str())) {
        return true;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
        return true; // nothing of that name: nothing left either
    }
    lastError_ = error;
    return false;
}

std::string TWin32FileSystem::LastErrorText() const {
    return lastError_ == 0 ? std::string() : SystemErrorText(lastError_);
}

std::size_t TWin32FileSystem::WriteWholeFile(const std::string& path, std::string_view bytes) {
    // 1. Create, or truncate an existing file.
    TKernelHandle file(CreateFileW(WideFromUtf8(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        throw EInOutError("Не удаётся создать файл " + path + ": " +
                          SystemErrorText(GetLastError()));
    }
    // 2. One block; WriteFile takes a 32-bit count, more than the archive ever needs.
    DWORD written = 0;
    const BOOL wrote =
        WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    const DWORD writeError = GetLastError();
    // 3. Close, also after a failed write: the close can fail too and is reported.
    const bool closed = file.Close();
    const DWORD closeError = GetLastError();
    if (!wrote) {
        throw EInOutError("Ошибка записи в файл " + path + ": " + SystemErrorText(writeError));
    }
    if (!closed) {
        throw EInOutError("Ошибка закрытия файла " + path + ": " + SystemErrorText(closeError));
    }
    return written;
}

} // namespace zorvi
