// The application window that carries the title, and message boxes on MessageBoxW,
// answered from a timer the way a person (or gui-driver) answers them.
#include "win32/base/Utf16.h"
#include "win32/ui/ApplicationWindow.h"
#include "win32/ui/MainForm.h"
#include "win32/ui/MessageBoxes.h"
#include "win32/ui/MessagePump.h"
#include "win32/ui/Timer.h"

#include <gtest/gtest.h>

namespace zorvi {
namespace {

using namespace std::chrono_literals;

TEST(ApplicationWindow, CarriesTheTitleAndOwnsTheMainWindow) {
    TWin32MessagePump pump;
    TApplicationWindow application("Обновление ЗОРВИ-41K6УФ", nullptr);
    TMainForm form(&application, pump);
    application.SetMainWindow(form.Handle());
    form.Show(SW_SHOWNORMAL);

    EXPECT_EQ(application.Caption(), "Обновление ЗОРВИ-41K6УФ");
    EXPECT_EQ(GetWindow(form.Handle(), GW_OWNER), application.Handle());
    EXPECT_EQ(GetWindow(application.Handle(), GW_OWNER), nullptr);
    // On screen it takes no room: the taskbar entry is all there is of it.
    const RECT bounds = application.Bounds();
    EXPECT_LE(bounds.right - bounds.left, 1);
    EXPECT_LE(bounds.bottom - bounds.top, 1);
}

TEST(ApplicationWindow, MinimisingTheMainWindowMinimisesTheApplication) {
    TWin32MessagePump pump;
    TApplicationWindow application("title", nullptr);
    TMainForm form(&application, pump);
    application.SetMainWindow(form.Handle());
    form.Show(SW_SHOWNORMAL);

    SendMessageW(form.Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_FALSE(form.Visible());
    EXPECT_TRUE(IsIconic(application.Handle()));

    ShowWindow(application.Handle(), SW_RESTORE);
    pump.ProcessMessages();
    EXPECT_TRUE(form.Visible());
}

TEST(MainForm, ClosingHidesTheWindowAndEndsTheMessageLoop) {
    TWin32MessagePump pump;
    TMainForm form(nullptr, pump);
    form.Show(SW_SHOWNORMAL);
    PostMessageW(form.Handle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(pump.Run(), 0);
    EXPECT_TRUE(IsWindow(form.Handle())) << "the window lives on until the program ends";
    EXPECT_FALSE(form.Visible());
    form.AddLogLine("written after the close");
    EXPECT_EQ(form.ActionLB().Count(), 1);
}

/// Answers the next message box with that caption by pressing a button by id,
/// noting its text first.
class TBoxAnswerer {
public:
    TBoxAnswerer(const std::string& caption, int button) : caption_(WideFromUtf8(caption)) {
        timer_.OnTimer = [this, button] {
            HWND box = FindWindowW(L"#32770", caption_.c_str());
            if (!box)
                return;
            timer_.SetEnabled(false);
            wchar_t text[512] = {};
            GetWindowTextW(GetDlgItem(box, 0xFFFF), text, 512);
            Text = Utf8FromWide(text);
            OwnerDisabled = Owner && !IsWindowEnabled(Owner);
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
        };
        timer_.SetEnabled(true);
    }

    HWND Owner = nullptr;
    std::string Text;
    bool OwnerDisabled = false;

private:
    std::wstring caption_;
    TTimer timer_{20ms};
};

TEST(MessageBoxes, ShowUtf8TextAndReturnTheAnswer) {
    TWin32MessagePump pump;
    TMainForm form(nullptr, pump);
    form.Show(SW_SHOWNORMAL);
    SetActiveWindow(form.Handle());
    TWin32MessageBoxes boxes(form.Handle());

    TBoxAnswerer yes("Вопрос", IDYES);
    yes.Owner = form.Handle();
    EXPECT_EQ(boxes.ShowMessageBox("Обновление ПО не требуется. Все равно выполнить процедуру "
                                   "обновления?",
                                   "Вопрос", kMbYesNo | kMbIconQuestion),
              kIdYes);
    EXPECT_EQ(yes.Text, "Обновление ПО не требуется. Все равно выполнить процедуру обновления?");
    EXPECT_TRUE(yes.OwnerDisabled) << "the box is modal to the main window";
    EXPECT_TRUE(IsWindowEnabled(form.Handle()));

    TBoxAnswerer cancel("Информация", IDCANCEL);
    EXPECT_EQ(boxes.ShowMessageBox("1. Отключите прибор от компьютера.\r\r", "Информация",
                                   kMbOkCancel | kMbIconInformation),
              kIdCancel);
}

} // namespace
} // namespace zorvi
