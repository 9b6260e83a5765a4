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

/// Lines of start.bat for the work folder workDir (ending in a backslash).
std::vector<std::string> StartBatchLines(const std::string& workDir);

/// The drive part of a Windows path: "C:" for C:\..., "\\server\share" for a
/// network path, empty for a path with neither.
std::string DriveOfPath(const std::string& path);

/// A text file's bytes: every line in code page 1251 followed by CR LF.
std::string TextFileBytes(const std::vector<std::string>& lines);

/// Writes fmconfig.txt, then start.bat, into workDir, replacing earlier ones. Does not
/// catch: a file that cannot be written raises EInOutError.
void WriteFlashJobFiles(TFileSystem& files, const std::string& workDir,
                        const std::string& devicePort);

/// Runs workDir + "start.bat" and waits for it; true when it ended with status 0 or 4.
bool RunFlashBatch(TProcessRunner& runner, const std::string& workDir);

} // namespace zorvi
