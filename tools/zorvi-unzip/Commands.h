// The two things zorvi-unzip does: list an archive, extract from it.
#pragma once

#include "Options.h"

#include <ostream>

namespace zorvi::cli {

/// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitEntryFailed = 1;
inline constexpr int kExitArchiveUnreadable = 2;

int RunList(const TOptions& options, std::ostream& out, std::ostream& err);
int RunExtract(const TOptions& options, std::ostream& out, std::ostream& err);

} // namespace zorvi::cli
