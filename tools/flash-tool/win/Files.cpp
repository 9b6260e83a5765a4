#include "tools/flash-tool/win/Files.h"

#include "tools/flash-tool/win/Library.h"

#include <windows.h>

namespace zorvi {
namespace {

// Neither file comes near this; a bigger one is not a job or an image for a
// 512 KB flash.
constexpr LONGLONG kMaxFileSize = 16 * 1024 * 1024;

} // namespace

bool ReadWholeFile(const std::wstring& path, std::string& bytes, std::string& error) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        error = Utf8FromWide(path) +
                (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND
                     ? " not found"
                     : " cannot be opened (Windows error " + std::to_string(code) + ")");
        return false;
    }
    LARGE_INTEGER size{};
    bool ok = GetFileSizeEx(file, &size) && size.QuadPart <= kMaxFileSize;
    if (ok) {
        bytes.assign(static_cast<std::size_t>(size.QuadPart), '\0');
        DWORD got = 0;
        ok = bytes.empty() ||
             (ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) &&
              got == bytes.size());
    }
    CloseHandle(file);
    if (!ok) {
        error = Utf8FromWide(path) + " cannot be read";
    }
    return ok;
}

std::wstring WideFromCodePage(const std::string& text, unsigned codePage) {
    if (text.empty()) {
        return {};
    }
    const int size =
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

} // namespace zorvi
