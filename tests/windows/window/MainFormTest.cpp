// The real main window, created in this process: the log rows AddLogLine makes, the
// layout, the Start button.
#include "win32/ui/MainForm.h"
#include "win32/ui/Clipboard.h"
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

bool operator==(const RECT& a, const RECT& b) {
    return EqualRect(&a, &b) != FALSE;
}

// Every rectangle of the window at one DPI: client size, panel, log, Start, row.
struct TLayout {
    RECT Client, Panel, Log, Start;
    int Row;
    bool operator==(const TLayout&) const = default;
};

std::ostream& operator<<(std::ostream& out, const RECT& r) {
    return out << "{" << r.left << "," << r.top << "," << r.right << "," << r.bottom << "}";
}
std::ostream& operator<<(std::ostream& out, const TLayout& l) {
    return out << "client " << l.Client << " panel " << l.Panel << " log " << l.Log << " start "
               << l.Start << " row " << l.Row;
}

TLayout LayoutOf(TMainForm& form) {
    TLayout layout{};
    GetClientRect(form.Handle(), &layout.Client);
    layout.Panel = RectInParent(form.TitlePanel().Handle());
    layout.Log = RectInParent(form.ActionLB().Handle());
    layout.Start = RectInParent(form.StartButton().Handle());
    layout.Row = form.ActionLB().ItemHeight(0);
    return layout;
}

// WM_DPICHANGED as Windows sends it when the window moves to a monitor of that DPI
// (under Wine every monitor has the system's DPI, so a test sends it itself).
void MoveToMonitorOfDpi(TMainForm& form, UINT dpi, POINT topLeft) {
    RECT suggested{topLeft.x, topLeft.y, topLeft.x + 100, topLeft.y + 100};
    SendMessageW(form.Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                 reinterpret_cast<LPARAM>(&suggested));
}

TEST_F(MainFormTest, EveryRectangleScalesWithTheDpiAndComesBackExactly) {
    ASSERT_EQ(Form.Dpi(), 96u) << "the test prefix runs at 96 DPI";
    Form.AddLogLine("row");
    const TLayout at96 = LayoutOf(Form);
    EXPECT_EQ(at96,
              (TLayout{{0, 0, 705, 532}, {0, 0, 705, 41}, {0, 41, 705, 532}, {4, 4, 97, 37}, 24}));

    // 150 % and 175 % (the largest scale at which the window fits the test's
    // screen): edges scaled and rounded (41 * 1.5 = 61.5 -> 62), so the panel and
    // the log still meet.
    MoveToMonitorOfDpi(Form, 144, {30, 20});
    EXPECT_EQ(
        LayoutOf(Form),
        (TLayout{{0, 0, 1058, 798}, {0, 0, 1058, 62}, {0, 62, 1058, 798}, {6, 6, 146, 56}, 36}));
    EXPECT_EQ(Form.Bounds().left, 30) << "placed where Windows suggested";
    EXPECT_EQ(Form.Bounds().top, 20);
    MoveToMonitorOfDpi(Form, 168, {0, 0});
    EXPECT_EQ(
        LayoutOf(Form),
        (TLayout{{0, 0, 1234, 931}, {0, 0, 1234, 72}, {0, 72, 1234, 931}, {7, 7, 170, 65}, 42}));
    MoveToMonitorOfDpi(Form, 96, {10, 10});
    EXPECT_EQ(LayoutOf(Form), at96);
}

TEST_F(MainFormTest, CopyingPutsTheRowsOnTheClipboardOneLineEach) {
    Form.AddLogLine("Подключение к прибору...");
    Form.AddLogLine("Ошибка! Калибровка не стартовала!\r\nПопробуйте сначала");
    Form.AddLogLine("");
    ASSERT_TRUE(Form.CopyLog());
    EXPECT_EQ(ClipboardText(nullptr), L" Подключение к прибору...\r\n"
                                      L" Ошибка! Калибровка не стартовала! Попробуйте сначала\r\n"
                                      L" \r\n");
    Form.ActionLB().Select(0);
    ASSERT_TRUE(Form.CopySelectedRow());
    EXPECT_EQ(ClipboardText(nullptr), L" Подключение к прибору...");
    Form.ActionLB().Select(-1);
    EXPECT_FALSE(Form.CopySelectedRow()) << "no row selected: nothing to copy";
    EXPECT_EQ(ClipboardText(nullptr), L" Подключение к прибору...");
}

} // namespace
} // namespace zorvi
