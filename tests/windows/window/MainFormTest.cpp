// The real main window, created in this process: the log rows AddLogLine makes, the
// layout, the Start button.
#include "win32/ui/MainForm.h"
#include "win32/ui/MessagePump.h"

#include <gtest/gtest.h>

#include <string>

namespace zorvi {
namespace {

class MainFormTest : public testing::Test {
protected:
    MainFormTest() : Form(nullptr, Pump) {
        Form.Show(SW_SHOWNORMAL);
        UpdateWindow(Form.Handle());
    }

    std::string Row(int index) { return Form.ActionLB().Text(index); }
    HWND Log() { return Form.ActionLB().Handle(); }

    TWin32MessagePump Pump;
    TMainForm Form;
};

TEST_F(MainFormTest, EmptyTextGivesOneBlankRowThatIsSelected) {
    Form.AddLogLine("first");
    Form.AddLogLine("");
    ASSERT_EQ(Form.ActionLB().Count(), 2);
    EXPECT_EQ(Row(1), " ");
    EXPECT_EQ(Form.ActionLB().SelectedIndex(), 1);
}

TEST_F(MainFormTest, CallersBlanksFollowTheOneOfTheLog) {
    Form.AddLogLine("   Операция прервана.");
    Form.AddLogLine("Операция завершена");
    ASSERT_EQ(Form.ActionLB().Count(), 2);
    EXPECT_EQ(Row(0), "    Операция прервана.");
    EXPECT_EQ(Row(1), " Операция завершена");
    EXPECT_EQ(Form.ActionLB().SelectedIndex(), 1);
}

TEST_F(MainFormTest, RowsAreReadableThroughTheListBoxMessages) {
    // What another process sees: LB_GETTEXT works only because the list box keeps
    // its strings although it is owner-drawn.
    Form.AddLogLine("Ждём подключения прибора.... ");
    EXPECT_TRUE(GetWindowLongW(Log(), GWL_STYLE) & LBS_HASSTRINGS);
    ASSERT_EQ(SendMessageW(Log(), LB_GETCOUNT, 0, 0), 1);
    wchar_t text[64] = {};
    ASSERT_EQ(SendMessageW(Log(), LB_GETTEXT, 0, reinterpret_cast<LPARAM>(text)), 30);
    EXPECT_STREQ(text, L" Ждём подключения прибора.... ");
}

TEST_F(MainFormTest, CrLfInsideATextStaysInOneRowOf24Pixels) {
    Form.AddLogLine("Ошибка калибровки\r\nповторите");
    Form.AddLogLine("next");
    ASSERT_EQ(Form.ActionLB().Count(), 2);
    EXPECT_EQ(Row(0), " Ошибка калибровки\r\nповторите");
    RECT first{}, second{};
    SendMessageW(Log(), LB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&first));
    SendMessageW(Log(), LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&second));
    EXPECT_EQ(first.bottom - first.top, 24);
    EXPECT_EQ(second.top, first.bottom);
    EXPECT_EQ(Form.ActionLB().ItemHeight(0), 24);
}

TEST_F(MainFormTest, SelectedRowIsDrawnHighlighted) {
    Form.AddLogLine("a");
    Form.AddLogLine("b");
    UpdateWindow(Log());
    RECT first{}, second{};
    SendMessageW(Log(), LB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&first));
    SendMessageW(Log(), LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&second));
    // Far right of each row: background only, no text.
    HDC dc = GetDC(Log());
    const COLORREF plain = GetPixel(dc, first.right - 3, (first.top + first.bottom) / 2);
    const COLORREF selected = GetPixel(dc, second.right - 3, (second.top + second.bottom) / 2);
    ReleaseDC(Log(), dc);
    EXPECT_EQ(plain, GetSysColor(COLOR_WINDOW));
    EXPECT_EQ(selected, GetSysColor(COLOR_HIGHLIGHT));
}

TEST_F(MainFormTest, ManyRowsScrollTheNewestIntoView) {
    for (int i = 0; i < 100; ++i)
        Form.AddLogLine("row " + std::to_string(i));
    ASSERT_EQ(Form.ActionLB().Count(), 100);
    EXPECT_EQ(Form.ActionLB().SelectedIndex(), 99);
    RECT client{}, last{};
    GetClientRect(Log(), &client);
    SendMessageW(Log(), LB_GETITEMRECT, 99, reinterpret_cast<LPARAM>(&last));
    EXPECT_GE(last.top, 0);
    EXPECT_LE(last.bottom, client.bottom);
}

TEST_F(MainFormTest, AddLogLineProcessesPendingMessages) {
    bool clicked = false;
    Form.OnStartButtonClick = [&] { clicked = true; };
    PostMessageW(Form.StartButton().Handle(), BM_CLICK, 0, 0);
    Form.AddLogLine("step");
    EXPECT_TRUE(clicked);
}

TEST_F(MainFormTest, LayoutOfTheWindow) {
    EXPECT_EQ(Form.Caption(), "ЗОРВИ-41K6УФ. Обновление ПО. Версия 1.008.14.08.2015");
    RECT client{};
    GetClientRect(Form.Handle(), &client);
    EXPECT_EQ(client.right, 705);
    EXPECT_EQ(client.bottom, 532);

    const LONG style = GetWindowLongW(Form.Handle(), GWL_STYLE);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);

    // Centred on the screen (to a pixel of rounding).
    const RECT outer = Form.Bounds();
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    EXPECT_NEAR(outer.left, screenWidth - outer.right, 1);
    EXPECT_NEAR(outer.top, screenHeight - outer.bottom, 1);
}

// A child's rectangle in its parent's client coordinates.
RECT RectInParent(HWND child) {
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

TEST_F(MainFormTest, TitlePanelAndLogFillTheClientArea) {
    EXPECT_EQ(Form.TitlePanel().Caption(), "Версия ПО: 1V5  ");
    const RECT panel = RectInParent(Form.TitlePanel().Handle());
    EXPECT_EQ(panel.left, 0);
    EXPECT_EQ(panel.top, 0);
    EXPECT_EQ(panel.right, 705);
    EXPECT_EQ(panel.bottom, 41);
    EXPECT_EQ(Form.TitlePanel().FontColor(), RGB(0, 0, 255));

    const RECT log = RectInParent(Log());
    EXPECT_EQ(log.left, 0);
    EXPECT_EQ(log.top, 41);
    EXPECT_EQ(log.right, 705);
    EXPECT_EQ(log.bottom, 532);
    EXPECT_EQ(Form.ActionLB().Count(), 0);
}

TEST_F(MainFormTest, StartButtonSitsOnTheTitlePanel) {
    HWND start = Form.StartButton().Handle();
    EXPECT_EQ(GetParent(start), Form.TitlePanel().Handle());
    EXPECT_EQ(Form.StartButton().Caption(), "Старт");
    const RECT rect = RectInParent(start);
    EXPECT_EQ(rect.left, 4);
    EXPECT_EQ(rect.top, 4);
    EXPECT_EQ(rect.right - rect.left, 93);
    EXPECT_EQ(rect.bottom - rect.top, 33);
}

TEST_F(MainFormTest, StartWithoutAHandlerOnlyEmptiesTheLog) {
    Form.AddLogLine("old");
    SendMessageW(Form.StartButton().Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(Form.ActionLB().Count(), 0);
    EXPECT_TRUE(Form.StartEnabled());
}

TEST_F(MainFormTest, DisabledStartIgnoresClicks) {
    int clicks = 0;
    Form.OnStartButtonClick = [&] { ++clicks; };
    Form.SetStartEnabled(false);
    EXPECT_FALSE(Form.StartEnabled());
    SendMessageW(Form.StartButton().Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(clicks, 0);
    Form.SetStartEnabled(true);
    SendMessageW(Form.StartButton().Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(clicks, 1);
}

TEST_F(MainFormTest, MouseClickOnStartRunsTheHandlerOnlyWhenReleasedOverIt) {
    int clicks = 0;
    Form.OnStartButtonClick = [&] { ++clicks; };
    HWND start = Form.StartButton().Handle();
    SendMessageW(start, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    SendMessageW(start, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    EXPECT_EQ(clicks, 1);
    // Pressed, then dragged off and released outside: no click.
    SendMessageW(start, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    SendMessageW(start, WM_LBUTTONUP, 0, MAKELPARAM(200, 10));
    EXPECT_EQ(clicks, 1);
}

TEST_F(MainFormTest, StateStartsEmpty) {
    EXPECT_EQ(Form.WorkDir, "");
    EXPECT_EQ(Form.ArchivePath, "");
    EXPECT_FALSE(Form.UpdateRequested);
}

} // namespace
} // namespace zorvi
