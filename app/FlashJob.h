// The flashing job: the tool's job file fmconfig.txt and the batch start.bat that
// runs it, both written into the work folder before every pass of the flashing loop,
// and the run of that batch in a console window of its own.
#pragma once

#include "app/ProcessRunner.h"
#include "app/WorkFolderFiles.h"

#include <string>
#include <vector>

namespace zorvi {

/// Lines of fmconfig.txt for the instrument at devicePort ("COM5" → "COM(5,115200)").
std::vector<std::string> FlashConfigLines(const std::string& devicePort);

/// The file the batch writes into the work folder on its success path only, after
/// the tool reported success. RunFlashBatch deletes it before the run and requires it
/// after: a batch that ended any other way (its console closed, Ctrl+C, killed) can
/// end with status 0 all the same, but never writes it.
inline constexpr const char* kFlashDoneMarker = "flash-ok.txt";

/// The environment variable that hands the work folder to the batch (UTF-16, so any
/// name arrives whole), for a network folder, which the batch must change to itself.
inline constexpr const char* kWorkFolderVariable = "ZORVI_WORK_FOLDER";

/// Lines of start.bat for a work folder. They never hold its path: the interpreter
/// reads a batch in the console's OEM code page (a Cyrillic name would be misread, a
/// Chinese one cannot be written at all) and gives %, ^, &, ! and the like meanings
/// of their own. A local batch runs in the folder it is started in; a network folder
/// cannot be the interpreter's current folder, so that batch changes to the folder
/// named by kWorkFolderVariable.
std::vector<std::string> StartBatchLines(const std::string& workDir);

/// Whether a Windows path is a network path (\\server\share\...).
bool IsNetworkPath(const std::string& path);

/// A text file's bytes: every line in code page 1251 followed by CR LF.
std::string TextFileBytes(const std::vector<std::string>& lines);

/// Writes fmconfig.txt, then start.bat, into workDir, replacing earlier ones. Does not
/// catch: a file that cannot be written raises EInOutError.
void WriteFlashJobFiles(TFileSystem& files, const std::string& workDir,
                        const std::string& devicePort);

/// Runs workDir + "start.bat" and waits for it; true when it ended with status 0 or 4
/// and wrote kFlashDoneMarker (deleted before the run: when that fails, the batch is
/// not run and the result is false).
bool RunFlashBatch(TProcessRunner& runner, TFileSystem& files, const std::string& workDir);

} // namespace zorvi
