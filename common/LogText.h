// The progress log as text to hand on: what the log's menu copies to the clipboard
// and writes to a saved log file.
#pragma once

#include <string>
#include <vector>

namespace zorvi {

/// One row as one line: each line break inside it (CR LF, a lone CR or a lone LF)
/// becomes one blank, as the log shows it. Everything else stays, leading blanks too.
std::string LogRowLine(const std::string& row);

/// Every row as a line of its own, each ended by CR LF.
std::string LogText(const std::vector<std::string>& rows);

/// The name proposed for a saved log, from the local date and time:
/// ZorviUpdate-YYYY-MM-DD-HHMM.log.
std::string LogFileName(int year, int month, int day, int hour, int minute);

} // namespace zorvi
