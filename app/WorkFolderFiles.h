// The file system as the work folder sees it. Paths are Windows paths as UTF-8 text
// (backslashes, drive letters or \\server\share); the Win32 side converts them to
// UTF-16, tests keep the folder in memory.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace zorvi {

/// An input/output failure that the workflow does not turn into a result: it reaches
/// the Start frame, which shows its message.
class EInOutError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TFileSystem {
public:
    virtual ~TFileSystem() = default;
    /// True when the path names an existing folder.
    virtual bool FolderExists(const std::string& path) const = 0;
    /// Creates one folder whose parent exists; false when it could not be made.
    virtual bool MakeFolder(const std::string& path) = 0;
    /// True when the path names an existing file (not a folder).
    virtual bool FileExists(const std::string& path) const = 0;
    /// Deletes a file; true when no file of that name is left afterwards (also when
    /// there was none to begin with).
    virtual bool RemoveFile(const std::string& path) = 0;
    /// Why the last of these calls that answered false did so, in the system's own
    /// words ("Отказано в доступе."), for the log; empty before any such answer.
    virtual std::string LastErrorText() const = 0;
    /// Creates the file or truncates an existing one, writes the bytes in one block
    /// and closes it. Returns the count of bytes written; throws EInOutError when the
    /// file cannot be created, written or closed.
    virtual std::size_t WriteWholeFile(const std::string& path, std::string_view bytes) = 0;
};

/// The user's personal (documents) folder, looked up through the shell.
class TPersonalFolder {
public:
    virtual ~TPersonalFolder() = default;
    /// The folder's path without a trailing backslash (unless it is a drive's root);
    /// empty when the shell cannot name it.
    virtual std::string GetPersonalFolder() = 0;
};

} // namespace zorvi
