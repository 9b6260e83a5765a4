// The update archive embedded in the program as an RCDATA resource.
#pragma once

#include "app/EmbeddedArchive.h"

#include <windows.h>

namespace zorvi {

/// Name of the RCDATA resource that holds the archive (see EmbeddedArchive.rc.in).
inline constexpr const wchar_t* kUpdateArchiveResource = L"ZORVI_UPDATE_ARCHIVE";

class TResourceArchive final : public TEmbeddedArchive {
public:
    /// The resource of that name in module (null: the program's own image).
    explicit TResourceArchive(HMODULE module = nullptr,
                              const wchar_t* name = kUpdateArchiveResource)
        : module_(module), name_(name) {}
    /// The resource's bytes, mapped with the image; throws EInOutError when the
    /// program carries no such resource.
    std::string_view Bytes() const override;

private:
    HMODULE module_;
    const wchar_t* name_;
};

} // namespace zorvi
