#include "Commands.h"

#include "zip/ZipErrors.h"

#include <algorithm>
#include <cstdio>

namespace zorvi::cli {
namespace {

std::string SlashName(std::string name) {
    std::replace(name.begin(), name.end(), '\\', '/');
    return name;
}

std::string FormatDosDateTime(std::uint32_t dos) {
    const TLocalDateTime t = UnpackDosDateTime(dos);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.Year, t.Month, t.Day,
                  t.Hour, t.Minute, t.Second);
    return text;
}

} // namespace

int RunList(const TOptions& options, std::ostream& out, std::ostream& err) {
    TUnZip unzip;
    unzip.SetZipName(options.Archive);
    unzip.IncompleteZipMode = options.Incomplete;
    unzip.SortMode = options.Sort;
    std::uint64_t dropped = 0;
    WatchDirectory(unzip, options.Archive, err, dropped);
    try {
        unzip.ReadZipDirectory();
        if (unzip.Entries() == nullptr) {
            err << "zorvi-unzip: " << options.Archive << ": " << kTextIncompleteZip << '\n';
            return kExitArchiveUnreadable;
        }
        const TSortedZip& entries = *unzip.SortedEntries();
        for (int i = 0; i < entries.Count(); ++i) {
            const TZipHeaderInfo& e = *entries.Entry(i);
            char crc[16];
            std::snprintf(crc, sizeof crc, "%08x", static_cast<unsigned>(e.Crc32));
            out << SlashName(e.PathName()) << '\t' << e.CompressionMethod << '\t'
                << e.CompressedSize << '\t' << e.UncompressedSize << '\t' << crc << '\t'
                << FormatDosDateTime(e.DosDateTime) << '\n';
        }
        const std::string comment = unzip.ArchiveComment();
        if (!comment.empty()) {
            out << comment << '\n';
        }
    } catch (const EZipError& error) {
        err << "zorvi-unzip: " << options.Archive << ": " << error.what() << '\n';
        return kExitArchiveUnreadable;
    }
    // The list is what was asked for: a list that did not arrive (a full disk, a closed
    // pipe) is no success.
    if (!out.flush()) {
        err << "zorvi-unzip: " << options.Archive << ": cannot write to standard output\n";
        return kExitArchiveUnreadable;
    }
    return dropped == 0 ? kExitOk : kExitEntryFailed;
}

} // namespace zorvi::cli
