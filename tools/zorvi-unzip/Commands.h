// The two things zorvi-unzip does: list an archive, extract from it.
#pragma once

#include "Options.h"

#include <ostream>

namespace zorvi::cli {

/// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitEntryFailed = 1;
inline constexpr int kExitArchiveUnreadable = 2;

/// Lines on `err` for what was wrong with the archive's directory as it was read: rebuilt
/// from the local headers, each entry the rebuilt one lost and the entries it lost without
/// a name (all counted in `dropped`). Installed before the directory is read; `dropped`
/// must outlive the component's use.
void WatchDirectory(TUnZip& unzip, const std::string& archive, std::ostream& err,
                    std::uint64_t& dropped);

int RunList(const TOptions& options, std::ostream& out, std::ostream& err);
int RunExtract(const TOptions& options, std::ostream& out, std::ostream& err);

} // namespace zorvi::cli
