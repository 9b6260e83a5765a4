// The extraction component TUnZip as the deployment's TArchiveExtractor.
#pragma once

#include "app/ArchiveExtractor.h"
#include "zip/UnZip.h"

namespace zorvi {

class TUnZipExtractor final : public TArchiveExtractor {
public:
    /// unZip is the main window's component; it outlives the adapter.
    explicit TUnZipExtractor(TUnZip& unZip) : UnZip(unZip) {}
    void SetZipName(const std::string& path) override { UnZip.SetZipName(path); }
    void ReadZipDirectory() override { UnZip.ReadZipDirectory(); }
    int EntryCount() const override { return UnZip.EntryCount(); }
    void SetDestDir(const std::string& folder) override { UnZip.SetDestDir(folder); }
    void AddFileMask(const std::string& mask) override { UnZip.FilesList.push_back(mask); }
    void SetDoAll(bool value) override { UnZip.DoAll = value; }
    void SetRecreateDirs(bool value) override { UnZip.RecreateDirs = value; }
    void SetRetainAttributes(bool value) override { UnZip.RetainAttributes = value; }
    void SetOverwriteAlways() override { UnZip.OverwriteMode = TUZOverwriteMode::Always; }
    void SetPassword(const std::string& password) override { UnZip.Password = password; }
    int ExtractFiles() override { return UnZip.ExtractFiles(); }

private:
    TUnZip& UnZip;
};

} // namespace zorvi
