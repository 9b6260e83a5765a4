// "Сохранить журнал...": the log's rows saved as a text file (UTF-8, one line per
// row, CR LF) through the system's standard save dialog, which proposes a name with
// the date and time in the work folder, or in the documents folder when there is no
// work folder yet. A cancelled dialog writes nothing.
#pragma once

#include "app/WorkFolderFiles.h"
#include "common/MessageBox.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace zorvi {

/// Where the save dialog opens: the work folder (documents + "\ZorviUpdate\") when
/// it exists, else the documents folder; empty when what the shell names is no
/// documents folder (DocumentsFolderProblem; the dialog then opens where it likes).
std::string LogFolder(TPersonalFolder& personal, const TFileSystem& files);

/// The standard save dialog, owned by owner, proposing name in folder. The path
/// chosen, or nullopt when the technician cancelled. Throws EInOutError when the
/// dialog itself fails.
std::optional<std::string> AskLogFilePath(HWND owner, const std::string& folder,
                                          const std::string& name);

/// The whole command: the dialog, then the file. A dialog or file that fails is
/// reported in a box. True when the file was written.
bool SaveLog(HWND owner, const std::vector<std::string>& rows, TPersonalFolder& personal,
             TFileSystem& files, TMessageBoxes& boxes);

} // namespace zorvi
