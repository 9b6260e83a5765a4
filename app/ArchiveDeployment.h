// Deployment of the embedded update archive: the work folder under the user's
// documents, update.zip written there, and every entry unpacked beside it.
#pragma once

#include "app/ArchiveExtractor.h"
#include "app/EmbeddedArchive.h"
#include "app/WorkFolderFiles.h"
#include "common/ProgressLog.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace zorvi {

/// Where one run works: WorkDir ends in a backslash, ArchivePath is WorkDir + update.zip.
struct TWorkFolder {
    std::string WorkDir;
    std::string ArchivePath;
};

/// The work folder for a personal folder: personal + "\ZorviUpdate\".
TWorkFolder WorkFolderUnder(const std::string& personalFolder);

/// Whether a Windows path is absolute: a drive's "X:\..." or a network folder's
/// "\\server\share..." (not the "\\?\" and "\\.\" forms of the system's own
/// namespaces).
bool IsAbsolutePath(const std::string& path);

/// Why what the shell named cannot be the documents folder (a sentence for the log),
/// or nothing when it can: only an absolute path of an existing folder is one. A
/// profile redirected to an absent drive makes the shell answer with anything, a
/// relative text among them, which would put the work folder under the program's
/// current folder.
std::optional<std::string> DocumentsFolderProblem(const TFileSystem& files,
                                                  const std::string& personalFolder);

/// The system's limit of a path for programs that are not long-path aware, in UTF-16
/// characters, its terminating NUL included (MAX_PATH).
inline constexpr std::size_t kMaxPath = 260;
/// The longest name of a file the flashing opens in the work folder (the tool's
/// library; the archive's other entries and the job files are shorter).
inline constexpr std::string_view kLongestWorkFileName = "FlashMagicARM.dll";
/// The most UTF-16 characters a work folder may have, its backslash included. The
/// flashing tool and the batch interpreter are no long-path programs, so every file
/// they open there must have a full path within kMaxPath: a longer work folder could
/// be made and filled, but never flashed from.
inline constexpr std::size_t kMaxWorkDirLength = kMaxPath - 1 - kLongestWorkFileName.size();

/// Why a work folder is too long for the flashing (a sentence for the log), or
/// nothing when it fits kMaxWorkDirLength.
std::optional<std::string> WorkFolderLengthProblem(const std::string& workDir);

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
/// written and completely unpacked. When the documents folder is none, the work
/// folder too long or not made, "Ошибка!" is followed by one line that says why, and
/// nothing is made. An I/O error writing update.zip passes through.
bool DeployUpdateArchive(const TDeploymentContext& context, TWorkFolder& folder);

} // namespace zorvi
