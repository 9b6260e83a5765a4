// The user's personal (documents) folder, as the Windows shell names it.
#pragma once

#include "app/WorkFolderFiles.h"

#include <windows.h>

#include <functional>

namespace zorvi {

class TShellPersonalFolder final : public TPersonalFolder {
public:
    /// owner gives the window that owns any dialog the shell may show (may be null).
    explicit TShellPersonalFolder(std::function<HWND()> owner) : owner_(std::move(owner)) {}
    std::string GetPersonalFolder() override;

private:
    std::function<HWND()> owner_;
};

} // namespace zorvi
