#include "Commands.h"

#include <algorithm>

namespace zorvi::cli {

void WatchDirectory(TUnZip& unzip, const std::string& archive, std::ostream& err,
                    std::uint64_t& dropped) {
    unzip.OnDirectoryRebuilt = [&err, archive](TUnZip&) {
        err << "zorvi-unzip: " << archive
            << ": directory damaged or missing, rebuilt from the local headers\n";
    };
    unzip.OnEntryDropped = [&err, &dropped, archive](TUnZip&, const std::string& name) {
        ++dropped;
        std::string shown = name;
        std::replace(shown.begin(), shown.end(), '\\', '/');
        err << "zorvi-unzip: " << archive << ": dropped: " << shown
            << " (its central header names no entry of the rebuilt directory)\n";
    };
    unzip.OnEntriesMissing = [&err, &dropped, archive](TUnZip&, std::uint64_t missing) {
        dropped += missing;
        err << "zorvi-unzip: " << archive << ": " << missing
            << (missing == 1 ? " entry" : " entries")
            << " the directory promises could not be found\n";
    };
}

} // namespace zorvi::cli
