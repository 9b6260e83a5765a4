// The progress log of the main window, as the workflow and the device link see it.
#pragma once

#include <string>

namespace zorvi {

/// One row per step, in Russian, indented by leading blanks of the caller's text.
class TProgressLog {
public:
    virtual ~TProgressLog() = default;
    /// Appends one blank followed by the UTF-8 text as a new row, selects it and
    /// processes pending window messages before returning.
    virtual void AddLogLine(const std::string& text) = 0;
};

} // namespace zorvi
