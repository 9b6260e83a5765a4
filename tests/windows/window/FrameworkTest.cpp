// The window framework under the real window system: text conversion, fonts, the
// timer, the modal loop and the message pump.
#include "win32/base/Utf16.h"
#include "win32/ui/DialogWindow.h"
#include "win32/ui/Fonts.h"
#include "win32/ui/MessagePump.h"
#include "win32/ui/Timer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

namespace zorvi {
namespace {

using namespace std::chrono_literals;

TEST(Utf16, RoundTripsCyrillicAndReplacesBrokenInput) {
    EXPECT_EQ(WideFromUtf8("Версия ПО: 1V5  "), L"Версия ПО: 1V5  ");
    EXPECT_EQ(Utf8FromWide(L"Обновление ЗОРВИ-41K6УФ"), "Обновление ЗОРВИ-41K6УФ");
    EXPECT_EQ(WideFromUtf8(""), L"");
    EXPECT_EQ(WideFromUtf8("a\xFF"
                           "b"),
              L"a\xFFFD"
              L"b");
    EXPECT_EQ(Utf8FromWide(std::wstring(1, wchar_t(0xD800))), "\xEF\xBF\xBD");
}

TEST(Fonts, MissingFacesFallBackToAnInstalledOne) {
    for (const char* face : {"Arial", "Courier New", "MS Sans Serif"}) {
        const std::wstring used = ResolveFontFace(face, RUSSIAN_CHARSET);
        EXPECT_TRUE(FontFamilyInstalled(used, RUSSIAN_CHARSET)) << face;
    }
    EXPECT_FALSE(FontFamilyInstalled(L"No Such Face At All", DEFAULT_CHARSET));
    EXPECT_EQ(ResolveFontFace("No Such Face At All", DEFAULT_CHARSET), L"No Such Face At All");
}

TEST(Fonts, CharacterHeightIsThePixelSizeAsked) {
    TFontHandle font = CreateFontFromSpec({"Courier New", 15, true, RUSSIAN_CHARSET});
    ASSERT_TRUE(font);
    HDC dc = GetDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, font.Get());
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, previous);
    ReleaseDC(nullptr, dc);
    EXPECT_EQ(metrics.tmHeight - metrics.tmInternalLeading, 15);
    EXPECT_GE(metrics.tmWeight, FW_BOLD);
}

// Dispatches messages until done() or a time-out; false on time-out.
template <typename TDone>
bool PumpUntil(TWin32MessagePump& pump, std::chrono::milliseconds limit, TDone done) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        pump.ProcessMessages();
        Sleep(5);
    }
    return true;
}

TEST(Timer, TicksWhileEnabledOnly) {
    TWin32MessagePump pump;
    TTimer timer(30ms);
    int ticks = 0;
    timer.OnTimer = [&] { ++ticks; };
    pump.ProcessMessages();
    Sleep(80);
    pump.ProcessMessages();
    EXPECT_EQ(ticks, 0) << "a new timer is disabled";

    timer.SetEnabled(true);
    EXPECT_TRUE(PumpUntil(pump, 2s, [&] { return ticks >= 2; }));

    timer.SetEnabled(false);
    const int stopped = ticks;
    Sleep(100);
    pump.ProcessMessages();
    EXPECT_EQ(ticks, stopped);
}

class TTestDialog final : public TDialogWindow {
public:
    TTestDialog(HWND owner, TWin32MessagePump& pump)
        : TDialogWindow({owner, "Тест", 370, 82}, pump) {}
    int Shows = 0;
    int Ends = 0;
    bool VisibleAtEnd = true;
    std::vector<UINT> DpiChanges;

protected:
    void OnShow() override { ++Shows; }
    void OnDpiChanged(UINT dpi) override { DpiChanges.push_back(dpi); }
    void OnModalEnd() override {
        ++Ends;
        VisibleAtEnd = Visible();
    }
};

class DialogWindowTest : public testing::Test {
protected:
    DialogWindowTest() {
        Owner = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200,
                                100, nullptr, nullptr, nullptr, nullptr);
    }
    ~DialogWindowTest() override { DestroyWindow(Owner); }

    HWND Owner;
    TWin32MessagePump Pump;
};

TEST_F(DialogWindowTest, ResultSetDuringTheLoopEndsItAndTheOwnerComesBack) {
    TTestDialog dialog(Owner, Pump);
    RECT client{};
    GetClientRect(dialog.Handle(), &client);
    EXPECT_EQ(client.right, 370);
    EXPECT_EQ(client.bottom, 82);

    TTimer timer(20ms);
    bool ownerDisabledMeanwhile = false;
    timer.OnTimer = [&] {
        ownerDisabledMeanwhile = !IsWindowEnabled(Owner) && dialog.Visible();
        dialog.SetModalResult(kModalResultOk);
    };
    timer.SetEnabled(true);
    EXPECT_EQ(dialog.ShowModal(), kModalResultOk);
    EXPECT_TRUE(ownerDisabledMeanwhile);
    EXPECT_TRUE(IsWindowEnabled(Owner));
    EXPECT_FALSE(dialog.Visible());
    EXPECT_EQ(dialog.Shows, 1);
    EXPECT_EQ(dialog.Ends, 1);
    EXPECT_FALSE(dialog.VisibleAtEnd);
}

TEST_F(DialogWindowTest, CloseBoxCancelsAndTheDialogCanBeShownAgain) {
    TTestDialog dialog(Owner, Pump);
    PostMessageW(dialog.Handle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(dialog.ShowModal(), kModalResultCancel);
    ASSERT_TRUE(IsWindow(dialog.Handle())) << "closing a modal dialog hides it only";

    TTimer timer(20ms);
    timer.OnTimer = [&] { dialog.SetModalResult(kModalResultOk); };
    timer.SetEnabled(true);
    EXPECT_EQ(dialog.ShowModal(), kModalResultOk);
    EXPECT_EQ(dialog.Shows, 2);
    EXPECT_EQ(dialog.Ends, 2);
}

TEST_F(DialogWindowTest, QuitEndsTheModalLoopAndIsKeptForTheMainLoop) {
    TTestDialog dialog(Owner, Pump);
    PostQuitMessage(3);
    EXPECT_EQ(dialog.ShowModal(), kModalResultCancel);
    EXPECT_TRUE(Pump.QuitRequested());
    EXPECT_TRUE(IsWindowEnabled(Owner));
    EXPECT_EQ(Pump.Run(), 3) << "the main loop ends at once with the quit's code";
}

TEST_F(DialogWindowTest, ANewDpiScalesTheClientAreaWhereWindowsPutsTheDialog) {
    TTestDialog dialog(Owner, Pump);
    ASSERT_EQ(dialog.Dpi(), 96u);
    RECT suggested{50, 60, 100, 100};
    SendMessageW(dialog.Handle(), WM_DPICHANGED, MAKEWPARAM(144, 144),
                 reinterpret_cast<LPARAM>(&suggested));
    RECT client{};
    GetClientRect(dialog.Handle(), &client);
    EXPECT_EQ(client.right, 555);
    EXPECT_EQ(client.bottom, 123);
    EXPECT_EQ(dialog.Bounds().left, 50);
    EXPECT_EQ(dialog.Bounds().top, 60);
    // The same DPI again changes nothing, wherever Windows suggests.
    suggested = RECT{0, 0, 10, 10};
    SendMessageW(dialog.Handle(), WM_DPICHANGED, MAKEWPARAM(144, 144),
                 reinterpret_cast<LPARAM>(&suggested));
    EXPECT_EQ(dialog.Bounds().left, 50);
    dialog.SetDpi(96);
    GetClientRect(dialog.Handle(), &client);
    EXPECT_EQ(client.right, 370);
    EXPECT_EQ(client.bottom, 82);
    EXPECT_EQ(dialog.DpiChanges, (std::vector<UINT>{144, 96}));
}

TEST(Dpi, LengthsRoundToTheNearestPixelAndNeighboursStillTouch) {
    EXPECT_EQ(ScaleToDpi(41, 96), 41);
    EXPECT_EQ(ScaleToDpi(41, 120), 51); // 51.25
    EXPECT_EQ(ScaleToDpi(41, 144), 62); // 61.5, halves away from zero
    EXPECT_EQ(ScaleToDpi(-41, 144), -62);
    EXPECT_EQ(ScaleToDpi(300, 168), 525);
    // The title panel (0..41) and the log (41..532) meet at every scale.
    for (UINT dpi : {96u, 120u, 144u, 168u, 192u, 240u}) {
        const RECT panel = ScaleRectToDpi({0, 0, 705, 41}, dpi);
        const RECT log = ScaleRectToDpi({0, 41, 705, 532}, dpi);
        EXPECT_EQ(panel.bottom, log.top) << dpi;
    }
    EXPECT_EQ(LineWidthAtDpi(96), 1);
    EXPECT_EQ(LineWidthAtDpi(144), 1);
    EXPECT_EQ(LineWidthAtDpi(192), 2);
}

TEST(MessagePump, ProcessMessagesStopsAtQuitAndRecordsIt) {
    TWin32MessagePump pump;
    TTimer timer(10ms);
    PostQuitMessage(5);
    pump.ProcessMessages();
    EXPECT_TRUE(pump.QuitRequested());
    EXPECT_FALSE(pump.HandleMessage());
    EXPECT_EQ(pump.Run(), 5);
}

TEST(Clock, SleepsForRealAndNowIsMonotonic) {
    TWin32Clock clock;
    const auto before = clock.Now();
    clock.Sleep(50ms);
    const auto after = clock.Now();
    EXPECT_GE(after - before, 50ms);
}

} // namespace
} // namespace zorvi
