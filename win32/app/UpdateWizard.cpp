#include "win32/app/UpdateWizard.h"

#include "win32/app/LogFileSaving.h"

namespace zorvi::win32app {

TUpdateWizard::TUpdateWizard(TMainForm& mainForm, TConnectToDeviceForm& connectForm,
                             TDeviceLink link, TMessageBoxes& boxes)
    : MainForm_(mainForm), Boxes_(boxes), View_(mainForm), Device_(connectForm),
      Recalibration_(link, Device_), Personal_([&mainForm] { return mainForm.Handle(); }),
      Extractor_(UnZip_), Runner_([&mainForm] { return mainForm.Handle(); }, link.Pump),
      Workflow_(TUpdateEnvironment{mainForm, boxes, View_, Device_, Recalibration_, Personal_,
                                   Files_, Archive_, Extractor_, Runner_}) {
    // The component's own boxes (an unknown method, say) and its pumping during long
    // decoding go through the program's seams, like everything else on this thread.
    UnZip_.MessageBoxes = &boxes;
    UnZip_.ProcessMessages = [pump = &link.Pump] { pump->ProcessMessages(); };
    MainForm_.OnStartButtonClick = [this] { StartButtonClick(); };
    MainForm_.OnCloseQuery = [this] { return Workflow_.CloseQuery(); };
    MainForm_.OnSaveLogClick = [this] { SaveLogClick(); };
}

TUpdateWizard::~TUpdateWizard() {
    MainForm_.OnSaveLogClick = nullptr;
    MainForm_.OnStartButtonClick = nullptr;
    MainForm_.OnCloseQuery = nullptr;
}

void TUpdateWizard::SaveLogClick() {
    SaveLog(MainForm_.Handle(), MainForm_.ActionLB().Rows(), Personal_, Files_, Boxes_);
}

void TUpdateWizard::StartButtonClick() {
    Workflow_.StartButtonClick();
    // The main window keeps the run's work folder and decision, as its own fields.
    MainForm_.WorkDir = Workflow_.WorkFolder().WorkDir;
    MainForm_.ArchivePath = Workflow_.WorkFolder().ArchivePath;
    MainForm_.UpdateRequested = Workflow_.UpdateRequested();
}

} // namespace zorvi::win32app
