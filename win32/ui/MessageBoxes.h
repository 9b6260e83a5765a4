// Message boxes on MessageBoxW, modal to the application: the box is owned by the
// active window of the thread (the main window, or a modal dialog above it), which
// stays disabled until the box is answered.
#pragma once

#include "common/MessageBox.h"

#include <windows.h>

namespace zorvi {

class TWin32MessageBoxes final : public TMessageBoxes {
public:
    /// fallbackOwner owns the box when the thread has no active window.
    explicit TWin32MessageBoxes(HWND fallbackOwner) : fallbackOwner_(fallbackOwner) {}

    int ShowMessageBox(const std::string& text, const std::string& caption,
                       unsigned style) override;

private:
    HWND fallbackOwner_;
};

} // namespace zorvi
