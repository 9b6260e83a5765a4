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

/// Lines of start.bat. They name no path: the batch changes to its own folder, so
/// the same text serves every work folder, local or on a network share, whatever
/// characters its path holds.
std::vector<std::string> StartBatchLines();

/// Whether a Windows path is a network path (\\server\share\...).
bool IsNetworkPath(const std::string& path);

/// A text file's bytes: every line in code page 1251 followed by CR LF.
std::string TextFileBytes(const std::vector<std::string>& lines);

/// Writes fmconfig.txt, then start.bat, into workDir, replacing earlier ones. Does not
/// catch: a file that cannot be written raises EInOutError.
void WriteFlashJobFiles(TFileSystem& files, const std::string& workDir,
                        const std::string& devicePort);

/// Runs workDir + "start.bat" and waits for it; true when it ended with status 0 or 4.
bool RunFlashBatch(TProcessRunner& runner, const std::string& workDir);

} // namespace zorvi
