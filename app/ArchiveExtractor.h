// The part of the ZIP extraction component that the deployment drives, in the
// component's own terms, so that the order of the calls is visible and testable.
#pragma once

#include <string>

namespace zorvi {

class TArchiveExtractor {
public:
    virtual ~TArchiveExtractor() = default;
    virtual void SetZipName(const std::string& path) = 0;
    /// Reads the directory of the archive; throws on a damaged or missing archive.
    virtual void ReadZipDirectory() = 0;
    virtual int EntryCount() const = 0;
    virtual void SetDestDir(const std::string& folder) = 0;
    /// Appends one wildcard mask to FilesList.
    virtual void AddFileMask(const std::string& mask) = 0;
    virtual void SetDoAll(bool value) = 0;
    virtual void SetRecreateDirs(bool value) = 0;
    virtual void SetRetainAttributes(bool value) = 0;
    /// OverwriteMode Always: an existing file of the same name is replaced unasked.
    virtual void SetOverwriteAlways() = 0;
    virtual void SetPassword(const std::string& password) = 0;
    /// Extracts; returns the number of entries written completely.
    virtual int ExtractFiles() = 0;
};

} // namespace zorvi
