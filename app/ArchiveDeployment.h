// Deployment of the embedded update archive: the work folder under the user's
// documents, update.zip written there, and every entry unpacked beside it.
#pragma once

#include "app/ArchiveExtractor.h"
#include "app/EmbeddedArchive.h"
#include "app/WorkFolderFiles.h"
#include "common/ProgressLog.h"

#include <string>

namespace zorvi {

/// Where one run works: WorkDir ends in a backslash, ArchivePath is WorkDir + update.zip.
struct TWorkFolder {
    std::string WorkDir;
    std::string ArchivePath;
};

/// The work folder for a personal folder: personal + "\ZorviUpdate\".
TWorkFolder WorkFolderUnder(const std::string& personalFolder);

/// Creates the folder with every missing parent. The rule, on the path without its
/// trailing backslash: shorter than three characters, existing, or its own parent
/// counts as done; otherwise the parent is made first, then the folder. True when
/// every folder that had to be made was made.
bool ForceFolders(TFileSystem& files, const std::string& path);

/// Writes the archive's bytes to path; true when every byte was written.
bool SaveEmbeddedArchive(TFileSystem& files, const TEmbeddedArchive& archive,
                         const std::string& path);

/// Extracts every entry of the archive into destDir, overwriting; true when the
/// number extracted equals the directory's entry count. Never throws.
bool UnpackArchive(TArchiveExtractor& unZip, const std::string& archivePath,
                   const std::string& destDir);

/// What the deployment works with.
struct TDeploymentContext {
    TProgressLog& Log;
    TPersonalFolder& Personal;
    TFileSystem& Files;
    const TEmbeddedArchive& Archive;
    TArchiveExtractor& UnZip;
};

/// The whole deployment with its log lines; sets folder. True when the archive was
/// written and completely unpacked. An I/O error writing update.zip passes through.
bool DeployUpdateArchive(const TDeploymentContext& context, TWorkFolder& folder);

} // namespace zorvi
