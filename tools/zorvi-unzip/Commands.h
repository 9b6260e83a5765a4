// The two things zorvi-unzip does: list an archive, extract from it.
#pragma once

#include "Options.h"

#include <ostream>

namespace zorvi::cli {

/// Exit statuses, as -h and the manual page list them.
inline constexpr int kExitOk = 0;
/// Some entry was skipped or failed, or a damaged directory lost entries.
inline constexpr int kExitEntryFailed = 1;
/// The run stopped: the archive could not be read, or an output could not be written.
inline constexpr int kExitArchiveUnreadable = 2;
/// The command line was wrong; nothing was opened.
inline constexpr int kExitUsage = 3;

/// Lines on `err` for what was wrong with the archive's directory as it was read: rebuilt
/// from the local headers, each entry the rebuilt one lost and the entries it lost without
/// a name (all counted in `dropped`). Installed before the directory is read; `dropped`
/// must outlive the component's use.
void WatchDirectory(TUnZip& unzip, const std::string& archive, std::ostream& err,
                    std::uint64_t& dropped);

int RunList(const TOptions& options, std::ostream& out, std::ostream& err);
int RunExtract(const TOptions& options, std::ostream& out, std::ostream& err);

} // namespace zorvi::cli
