// The file-system shim on Windows. This is the one file of the component that includes
// <windows.h>; CMake builds it, or FileSystemShim_posix.cpp, for the target system.
#include "zip/FileSystemShim.h"

#include <windows.h>

#include <limits>

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

bool SetLastWriteTime(const std::string& path, const FILETIME& utc) {
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
        return SetLastWriteTime(path, utc);
    }

    bool SetFileUtcTime(const std::string& path, const TUtcTime& time) override {
        // A file time counts 100 ns ticks since 1601-01-01 UTC in 63 bits (the top one
        // set is no time the system takes).
        constexpr std::int64_t kTicksPerSecond = 10'000'000;
        constexpr std::int64_t kSeconds1601To1970 = 11'644'473'600LL;
        if (time.Seconds < -kSeconds1601To1970 ||
            time.Seconds > std::numeric_limits<std::int64_t>::max() / kTicksPerSecond -
                               kSeconds1601To1970 - 1) {
            return false;
        }
        const std::int64_t seconds = time.Seconds + kSeconds1601To1970;
        const auto ticks =
            static_cast<ULONGLONG>(seconds * kTicksPerSecond + time.Nanoseconds / 100);
        FILETIME utc{};
        utc.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFF);
        utc.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
        return SetLastWriteTime(path, utc);
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

    bool SetUnixPermissions(const std::string& path, std::uint32_t mode) override {
        constexpr std::uint32_t kOwnerWrite = 0200; // S_IWUSR
        const std::wstring wide = Wide(path);
        const DWORD attributes = GetFileAttributesW(wide.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            return false;
        }
        const DWORD wanted = (mode & kOwnerWrite) != 0 ? attributes & ~FILE_ATTRIBUTE_READONLY
                                                       : attributes | FILE_ATTRIBUTE_READONLY;
        return wanted == attributes || SetFileAttributesW(wide.c_str(), wanted) != FALSE;
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
