// The update workflow driver: the Start frame that runs one whole update, the
// version check before it and the flashing loop. It sees the window, the instrument
// and the platform only through the interfaces of its environment.
#pragma once

#include "app/ArchiveDeployment.h"
#include "app/ArchiveExtractor.h"
#include "app/DeviceLink.h"
#include "app/EmbeddedArchive.h"
#include "app/ProcessRunner.h"
#include "app/WorkFolderFiles.h"
#include "common/MessageBox.h"
#include "common/ProgressLog.h"

#include <string>

namespace zorvi {

/// The main window's controls that the Start frame handles itself.
class TStartFrameView {
public:
    virtual ~TStartFrameView() = default;
    /// Empties the progress log.
    virtual void ClearLog() = 0;
    /// Enables or disables the Start button (disabled, it shows its grey glyph).
    virtual void SetStartEnabled(bool enabled) = 0;
};

/// Everything the workflow works with; all of it outlives the workflow.
struct TUpdateEnvironment {
    TProgressLog& Log;
    TMessageBoxes& Boxes;
    TStartFrameView& View;
    TDeviceConnection& Device;
    TRecalibration& Recalibration;
    TPersonalFolder& Personal;
    TFileSystem& Files;
    const TEmbeddedArchive& Archive;
    TArchiveExtractor& UnZip;
    TProcessRunner& Runner;
};

/// The version the update brings the instrument to.
inline constexpr const char* kTargetVersion = "1V5";

class TUpdateWorkflow {
public:
    explicit TUpdateWorkflow(const TUpdateEnvironment& environment);

    /// The Start frame: one whole update, from an empty log to "Операция завершена",
    /// with Start disabled meanwhile. An error a stage raises is shown in a message
    /// box; the frame still closes the log and enables Start. A click while a run is
    /// in progress (the window handles messages during every wait) does nothing.
    void StartButtonClick();

    /// Asked when the operator closes the main window: true when it may close. During
    /// a run it may not (the instrument could be left half flashed, the tool or the
    /// boxes would go on without a window); an information box says so and what to do
    /// instead, which differs while the flashing tool runs.
    bool CloseQuery();

    /// Finds the instrument and decides, asking when it is current already, whether to
    /// update. Returns UpdateRequested.
    bool ConnectAndCheckVersion();

    /// Writes the archive into the work folder and unpacks it (sets WorkFolder).
    bool DeployUpdateArchive();

    /// The flashing loop: true when the instrument was flashed, reports the target
    /// version and was recalibrated.
    bool PerformUpdate();

    bool UpdateRequested() const { return UpdateRequested_; }
    bool Running() const { return Running_; }
    const TWorkFolder& WorkFolder() const { return WorkFolder_; }

private:
    void RunStages();
    /// Shows an information box; returns the answer.
    int Inform(const std::string& text, unsigned style);

    TUpdateEnvironment Env_;
    bool Running_ = false;
    /// The close-during-run box is showing; a second close request shows no second one.
    bool CloseNoticeShowing_ = false;
    /// The flashing batch runs (RunFlashBatch handles the window's messages meanwhile).
    bool Flashing_ = false;
    bool UpdateRequested_ = false;
    TWorkFolder WorkFolder_;
};

} // namespace zorvi
