// The work folder's file system through the Windows W functions.
#pragma once

#include "app/WorkFolderFiles.h"

namespace zorvi {

class TWin32FileSystem final : public TFileSystem {
public:
    bool FolderExists(const std::string& path) const override;
    bool MakeFolder(const std::string& path) override;
    std::size_t WriteWholeFile(const std::string& path, std::string_view bytes) override;
};

} // namespace zorvi
