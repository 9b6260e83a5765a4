// One copy of the program per user session. A second copy started while the first
// runs would probe every port, the one the flashing tool is using included, and put
// its identification query into the boot loader's session; so a second start only
// brings the running copy's window to the front and ends.
#pragma once

#include "win32/base/Handles.h"

namespace zorvi {

class TSingleInstance {
public:
    /// The session's mark of a running copy (a named mutex in the session's
    /// namespace, so other users' sessions run copies of their own).
    static constexpr const wchar_t* kMutexName = L"Local\\ZorviUpdate.Running";

    /// Claims the mark, or finds it claimed; it is held until this object goes.
    TSingleInstance();
    TSingleInstance(const TSingleInstance&) = delete;
    TSingleInstance& operator=(const TSingleInstance&) = delete;

    /// False when another copy of this session holds the mark.
    bool FirstCopy() const { return first_; }

private:
    TKernelHandle mutex_;
    bool first_ = true;
};

/// Brings the running copy's main window to the front, restored when it was
/// minimised, or the dialog or message box that is above it; waits a few seconds for
/// the window of a copy that is only starting. False when no window appeared.
bool BringRunningCopyToFront();

} // namespace zorvi
