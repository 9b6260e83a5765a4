#include "win32/program/Program.h"

#include "win32/app/LogFileSaving.h"

namespace zorvi {
namespace {

constexpr const char* kApplicationTitle = "Обновление ЗОРВИ-41K6УФ";
constexpr int kIconResource = 1; // assets/ZorviUpdate.rc.in

HICON ProgramIcon() {
    return LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kIconResource));
}

} // namespace

TProgram::TProgram()
    : application_(kApplicationTitle, ProgramIcon()), mainForm_(&application_, pump_),
      connect_(mainForm_.Handle(), pump_, clock_, mainForm_), boxes_(mainForm_.Handle()),
      view_(mainForm_), device_(connect_.Form()), recalibration_(connect_.Link(), device_),
      personal_([this] { return mainForm_.Handle(); }), extractor_(unZip_),
      runner_([this] { return mainForm_.Handle(); }, pump_),
      workflow_(TUpdateEnvironment{mainForm_, boxes_, view_, device_, recalibration_, personal_,
                                   files_, archive_, extractor_, runner_}) {
    application_.SetMainWindow(mainForm_.Handle());
    // The component's own boxes (an unknown method, say) and its pumping during long
    // decoding go through the program's seams, like everything else on this thread.
    unZip_.MessageBoxes = &boxes_;
    unZip_.ProcessMessages = [this] { pump_.ProcessMessages(); };
    mainForm_.OnStartButtonClick = [this] { workflow_.StartButtonClick(); };
    mainForm_.OnCloseQuery = [this] { return workflow_.CloseQuery(); };
    mainForm_.OnSaveLogClick = [this] { SaveLogClick(); };
}

TProgram::~TProgram() {
    // The handlers reach objects that go before the main window does.
    mainForm_.OnSaveLogClick = nullptr;
    mainForm_.OnStartButtonClick = nullptr;
    mainForm_.OnCloseQuery = nullptr;
}

int TProgram::Run() {
    mainForm_.Show(SW_SHOWNORMAL);
    UpdateWindow(mainForm_.Handle());
    return pump_.Run();
}

void TProgram::SaveLogClick() {
    SaveLog(mainForm_.Handle(), mainForm_.ActionLB().Rows(), personal_, files_, boxes_);
}

} // namespace zorvi
