#include "win32/app/Win32FileSystem.h"

#include "win32/base/Handles.h"
#include "win32/base/SystemErrorText.h"
#include "win32/base/Utf16.h"

#include <windows.h>

namespace zorvi {

bool TWin32FileSystem::FolderExists(const std::string& path) const {
    const DWORD attributes = GetFileAttributesW(WideFromUtf8(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool TWin32FileSystem::MakeFolder(const std::string& path) {
    return CreateDirectoryW(WideFromUtf8(path).c_str(), nullptr) != 0;
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
