// The file-system shim on POSIX systems: attributes as the owner's write permission, dates
// in local time or UTC, Unix permissions as they are, no removable drives. CMake builds it, or
// FileSystemShim_win.cpp, for the target system.
#include "zip/FileSystemShim.h"

#include <algorithm>
#include <ctime>
#include <fstream>
#include <limits>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>

namespace zorvi {

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

    bool SetFileUtcTime(const std::string& path, const TUtcTime& time) override {
        if (time.Seconds < std::numeric_limits<std::time_t>::min() ||
            time.Seconds > std::numeric_limits<std::time_t>::max()) {
            return false;
        }
        const struct timespec at = {static_cast<std::time_t>(time.Seconds),
                                    static_cast<long>(time.Nanoseconds)};
        const struct timespec times[2] = {at, at};
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

    bool SetUnixPermissions(const std::string& path, std::uint32_t mode) override {
        constexpr mode_t kReadWriteExecute = S_IRWXU | S_IRWXG | S_IRWXO;
        return chmod(PosixPathText(path).c_str(), static_cast<mode_t>(mode) & kReadWriteExecute) ==
               0;
    }

    // Read where the system shows it (Linux: the "Umask:" line of /proc/self/status, in
    // octal), since umask() itself can only be read by changing it for every thread.
    std::optional<std::uint32_t> NewFilePermissions() override {
        std::ifstream status("/proc/self/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("Umask:", 0) == 0) {
                try {
                    const auto mask = std::stoul(line.substr(6), nullptr, 8);
                    return 0666u & ~static_cast<std::uint32_t>(mask);
                } catch (const std::exception&) {
                    return std::nullopt;
                }
            }
        }
        return std::nullopt;
    }

    bool IsRemovableDrive(const std::string&) override { return false; }
    std::string VolumeLabel(const std::string&) override { return {}; }
};

} // namespace

TFileSystemShim& SystemFileSystem() {
    static TPosixFileSystem system;
    return system;
}

} // namespace zorvi
