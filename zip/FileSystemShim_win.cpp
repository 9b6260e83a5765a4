// The file-system shim on Windows. This is the one file of the component that includes
// <windows.h>; CMake builds it, or FileSystemShim_posix.cpp, for the target system.
#include "zip/FileSystemShim.h"

#include <windows.h>

namespace zorvi {

std::filesystem::path ToFsPath(const std::string& text) {
    // From UTF-8 explicitly: the narrow constructor would take the ANSI code page.
    std::u8string u8(text.begin(), text.end());
    return std::filesystem::path(u8);
}

namespace {

std::wstring Wide(const std::string& path) {
    return ToFsPath(path).wstring();
}

class TWindowsFileSystem final : public TFileSystemShim {
public:
    std::optional<TLocalDateTime> FileTime(const std::string& path) override {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) {
            return std::nullopt;
        }
        FILETIME local{};
        SYSTEMTIME st{};
        if (!FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) ||
            !FileTimeToSystemTime(&local, &st)) {
            return std::nullopt;
        }
        // 100-ns units below the second.
        const ULONGLONG ticks =
            (static_cast<ULONGLONG>(local.dwHighDateTime) << 32) | local.dwLowDateTime;
        return TLocalDateTime{st.wYear,
                              st.wMonth,
                              st.wDay,
                              st.wHour,
                              st.wMinute,
                              st.wSecond,
                              static_cast<int>((ticks % 10'000'000) * 100)};
    }

    bool SetFileDosTime(const std::string& path, std::uint32_t dos) override {
        FILETIME local{};
        FILETIME utc{};
        if (!DosDateTimeToFileTime(static_cast<WORD>(dos >> 16), static_cast<WORD>(dos & 0xFFFF),
                                   &local) ||
            !LocalFileTimeToFileTime(&local, &utc)) {
            return false;
        }
        HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return false;
        }
        const BOOL ok = SetFileTime(file, nullptr, nullptr, &utc);
        CloseHandle(file);
        return ok != FALSE;
    }

    std::optional<std::uint32_t> Attributes(const std::string& path) override {
        const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            return std::nullopt;
        }
        return attributes;
    }

    bool SetAttributes(const std::string& path, std::uint32_t attributes) override {
        return SetFileAttributesW(Wide(path).c_str(), attributes) != FALSE;
    }

    bool IsRemovableDrive(const std::string& drive) override {
        const std::wstring root = Wide(drive.substr(0, 2) + "\\");
        return GetDriveTypeW(root.c_str()) == DRIVE_REMOVABLE;
    }

    std::string VolumeLabel(const std::string& drive) override {
        const std::wstring root = Wide(drive.substr(0, 2) + "\\");
        wchar_t label[MAX_PATH + 1] = {};
        if (!GetVolumeInformationW(root.c_str(), label, MAX_PATH + 1, nullptr, nullptr, nullptr,
                                   nullptr, 0)) {
            return {};
        }
        const auto utf8 = std::filesystem::path(label).u8string();
        return std::string(utf8.begin(), utf8.end());
    }
};

} // namespace

TFileSystemShim& SystemFileSystem() {
    static TWindowsFileSystem system;
    return system;
}

} // namespace zorvi
