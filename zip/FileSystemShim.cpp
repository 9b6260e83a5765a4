// The two real implementations of the file-system shim. This is the one file of the
// component that includes <windows.h>; it is chosen by the compiler, not by CMake.
#include "zip/FileSystemShim.h"

#include <algorithm>

#ifdef _WIN32
#include <windows.h>
#else
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#endif

namespace zorvi {

#ifdef _WIN32

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

#else

std::string PosixPathText(const std::string& text) {
    std::string native = text;
    std::replace(native.begin(), native.end(), '\\', '/');
    return native;
}

std::filesystem::path ToFsPath(const std::string& text) {
    return std::filesystem::path(PosixPathText(text));
}

namespace {

// The write permissions that stand for a cleared read-only attribute. Only the
// owner's is given back: the group's and others' stay as the umask made them.
constexpr mode_t kAllWrite = S_IWUSR | S_IWGRP | S_IWOTH;

// The seconds since the epoch of a local date and time, as mktime with tm_isdst = -1
// gives them, without mktime's cost: it reads the time-zone rules again (a stat of
// /etc/localtime) on every call, where localtime_r reads them once per process. The
// broken-down time is counted as if it were UTC and corrected by the zone's offset
// from UTC at that moment; a second look settles a time near a change of the offset
// (daylight saving) on the offset in force at the result.
std::optional<std::time_t> LocalToTime(const std::tm& local) {
    std::tm fields = local;
    const std::time_t asUtc = timegm(&fields);
    std::time_t when = asUtc;
    for (int look = 0; look < 3; ++look) {
        std::tm zone{};
        if (localtime_r(&when, &zone) == nullptr) {
            return std::nullopt;
        }
        const std::time_t next = asUtc - zone.tm_gmtoff;
        if (next == when) {
            break;
        }
        when = next;
    }
    return when;
}

class TPosixFileSystem final : public TFileSystemShim {
public:
    std::optional<TLocalDateTime> FileTime(const std::string& path) override {
        struct stat st {};
        if (stat(PosixPathText(path).c_str(), &st) != 0) {
            return std::nullopt;
        }
        std::tm local{};
        if (localtime_r(&st.st_mtim.tv_sec, &local) == nullptr) {
            return std::nullopt;
        }
        return TLocalDateTime{local.tm_year + 1900,
                              local.tm_mon + 1,
                              local.tm_mday,
                              local.tm_hour,
                              local.tm_min,
                              std::min(local.tm_sec, 59),
                              static_cast<int>(st.st_mtim.tv_nsec)};
    }

    bool SetFileDosTime(const std::string& path, std::uint32_t dos) override {
        const TLocalDateTime t = UnpackDosDateTime(dos);
        std::tm local{};
        local.tm_year = t.Year - 1900;
        local.tm_mon = t.Month - 1;
        local.tm_mday = t.Day;
        local.tm_hour = t.Hour;
        local.tm_min = t.Minute;
        local.tm_sec = t.Second;
        const auto when = LocalToTime(local);
        if (!when) {
            return false;
        }
        const struct timespec times[2] = {{*when, 0}, {*when, 0}};
        return utimensat(AT_FDCWD, PosixPathText(path).c_str(), times, 0) == 0;
    }

    std::optional<std::uint32_t> Attributes(const std::string& path) override {
        struct stat st {};
        if (stat(PosixPathText(path).c_str(), &st) != 0) {
            return std::nullopt;
        }
        std::uint32_t attributes = S_ISDIR(st.st_mode) ? kAttrDirectory : kAttrArchive;
        if ((st.st_mode & S_IWUSR) == 0) {
            attributes |= kAttrReadOnly;
        }
        return attributes;
    }

    bool SetAttributes(const std::string& path, std::uint32_t attributes) override {
        struct stat st {};
        const std::string native = PosixPathText(path);
        if (stat(native.c_str(), &st) != 0) {
            return false;
        }
        const mode_t mode =
            (attributes & kAttrReadOnly) != 0 ? (st.st_mode & ~kAllWrite) : (st.st_mode | S_IWUSR);
        if (mode == st.st_mode) {
            return true; // already so: most extracted files keep the mode they were made with
        }
        return chmod(native.c_str(), mode & 07777) == 0;
    }

    bool IsRemovableDrive(const std::string&) override { return false; }
    std::string VolumeLabel(const std::string&) override { return {}; }
};

} // namespace

#endif

TFileSystemShim& SystemFileSystem() {
#ifdef _WIN32
    static TWindowsFileSystem system;
#else
    static TPosixFileSystem system;
#endif
    return system;
}

} // namespace zorvi
