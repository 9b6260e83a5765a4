// The work folder's file system through the Windows W functions.
#pragma once

#include "app/WorkFolderFiles.h"

namespace zorvi {

class TWin32FileSystem final : public TFileSystem {
public:
    bool FolderExists(const std::string& path) const override;
    bool MakeFolder(const std::string& path) override;
    bool FileExists(const std::string& path) const override;
    bool RemoveFile(const std::string& path) override;
    std::size_t WriteWholeFile(const std::string& path, std::string_view bytes) override;
    std::string LastErrorText() const override;

private:
    /// Kept when a call answers false: the log shows it later, after other calls of
    /// the thread (a log line handles window messages) have set their own errors.
    mutable unsigned long lastError_ = 0;
};

} // namespace zorvi
