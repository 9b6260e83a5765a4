// What the controls draw, read back pixel by pixel from their windows: bevels,
// caption alignment, the two glyph states with their transparent magenta, and the
// log rows' text placement.
#include "win32/ui/FlatButton.h"
#include "win32/ui/Glyph.h"
#include "win32/ui/MainForm.h"
#include "win32/ui/MessagePump.h"
#include "win32/ui/OwnerDrawListBox.h"
#include "win32/ui/Panel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>

namespace zorvi {
namespace {

/// A visible top-level host for the controls under test.
class RenderingTest : public testing::Test {
protected:
    RenderingTest() {
        Host = CreateWindowExW(0, L"STATIC", L"host", WS_POPUP | WS_VISIBLE, 10, 10, 500, 200,
                               nullptr, nullptr, nullptr, nullptr);
    }
    ~RenderingTest() override { DestroyWindow(Host); }

    /// Paints the window now and hands its client device context to look.
    static void Inspect(HWND window, const std::function<void(HDC)>& look) {
        InvalidateRect(window, nullptr, TRUE);
        UpdateWindow(window);
        HDC dc = GetDC(window);
        look(dc);
        ReleaseDC(window, dc);
    }

    /// The bounding box of the pixels of area that differ from the background;
    /// nullopt when there are none.
    struct TInk {
        int Left;
        int Right; // one past the last
        int Top;
        int Bottom;
    };
    static std::optional<TInk> FindInk(HDC dc, RECT area, COLORREF background) {
        std::optional<TInk> ink;
        for (int y = area.top; y < area.bottom; ++y) {
            for (int x = area.left; x < area.right; ++x) {
                if (GetPixel(dc, x, y) == background)
                    continue;
                if (!ink)
                    ink = TInk{x, x + 1, y, y + 1};
                ink->Left = std::min(ink->Left, x);
                ink->Right = std::max(ink->Right, x + 1);
                ink->Top = std::min(ink->Top, y);
                ink->Bottom = std::max(ink->Bottom, y + 1);
            }
        }
        return ink;
    }

    HWND Host;
};

TEST_F(RenderingTest, PanelHasLoweredOuterAndRaisedInnerBevel) {
    TPanelArgs args;
    args.Parent = Host;
    args.Width = 300;
    args.Height = 41;
    TPanel panel(args);
    const COLORREF light = GetSysColor(COLOR_BTNHIGHLIGHT);
    const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
    Inspect(panel.Handle(), [&](HDC dc) {
        // Outer line: shadow at top left, light at bottom right (lowered).
        EXPECT_EQ(GetPixel(dc, 10, 0), shadow);
        EXPECT_EQ(GetPixel(dc, 0, 20), shadow);
        EXPECT_EQ(GetPixel(dc, 10, 40), light);
        EXPECT_EQ(GetPixel(dc, 299, 20), light);
        // Inner line: light at top left, shadow at bottom right (raised).
        EXPECT_EQ(GetPixel(dc, 10, 1), light);
        EXPECT_EQ(GetPixel(dc, 1, 20), light);
        EXPECT_EQ(GetPixel(dc, 10, 39), shadow);
        EXPECT_EQ(GetPixel(dc, 298, 20), shadow);
        EXPECT_EQ(GetPixel(dc, 150, 20), GetSysColor(COLOR_BTNFACE));
    });
}

TEST_F(RenderingTest, PanelCaptionFollowsItsAlignmentAndColour) {
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    for (TAlignment alignment : {TAlignment::Left, TAlignment::Center, TAlignment::Right}) {
        TPanelArgs args;
        args.Parent = Host;
        args.Width = 400;
        args.Height = 41;
        args.Caption = "Версия";
        args.Alignment = alignment;
        args.Font = {"Arial", 21, true, RUSSIAN_CHARSET};
        args.FontColor = RGB(0, 0, 255);
        TPanel panel(args);
        Inspect(panel.Handle(), [&](HDC dc) {
            const auto ink = FindInk(dc, panel.CaptionRect(), face);
            ASSERT_TRUE(ink);
            const int centre = (ink->Left + ink->Right) / 2;
            switch (alignment) {
            case TAlignment::Left:
                EXPECT_LT(ink->Left, 8);
                break;
            case TAlignment::Center:
                EXPECT_NEAR(centre, 200, 4);
                break;
            case TAlignment::Right:
                EXPECT_GT(ink->Right, 392);
                break;
            }
            EXPECT_NEAR((ink->Top + ink->Bottom) / 2, 20, 3) << "vertically centred";
            int blue = 0;
            for (int y = ink->Top; y < ink->Bottom; ++y)
                for (int x = ink->Left; x < ink->Right; ++x)
                    blue += GetPixel(dc, x, y) == RGB(0, 0, 255);
            EXPECT_GT(blue, 10) << "drawn in the caption colour";
        });
    }
}

TEST_F(RenderingTest, TrailingBlanksKeepTheTitleAwayFromTheEdge) {
    // "Версия ПО: 1V5  " ends in two blanks: the text stops short of the bevel by
    // about two blank widths, as the window shows it.
    TPanelArgs args;
    args.Parent = Host;
    args.Width = 400;
    args.Height = 41;
    args.Caption = "Версия ПО: 1V5  ";
    args.Alignment = TAlignment::Right;
    args.Font = {"Arial", 21, true, RUSSIAN_CHARSET};
    TPanel panel(args);
    Inspect(panel.Handle(), [&](HDC dc) {
        const auto ink = FindInk(dc, panel.CaptionRect(), GetSysColor(COLOR_BTNFACE));
        ASSERT_TRUE(ink);
        const int gap = panel.CaptionRect().right - ink->Right;
        EXPECT_GE(gap, 6);
        EXPECT_LE(gap, 20);
    });
}

TEST(Glyph, TwoImagesOnMagentaSideBySide) {
    TBitmapHandle glyph = MakeTwoStateGlyph(24, PaintLightningBolt);
    BITMAP info{};
    ASSERT_TRUE(GetObjectW(glyph.Get(), sizeof(info), &info));
    EXPECT_EQ(info.bmWidth, 48);
    EXPECT_EQ(info.bmHeight, 24);

    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HGDIOBJ previous = SelectObject(dc, glyph.Get());
    EXPECT_EQ(GetPixel(dc, 0, 0), kGlyphTransparent);
    EXPECT_EQ(GetPixel(dc, 47, 23), kGlyphTransparent);
    // The middle of the bolt's upper limb, in each image.
    const COLORREF enabled = GetPixel(dc, 13, 6);
    const COLORREF disabled = GetPixel(dc, 24 + 13, 6);
    SelectObject(dc, previous);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(enabled, RGB(255, 230, 0)) << "yellow bolt";
    EXPECT_EQ(GetRValue(disabled), GetGValue(disabled)) << "grey bolt";
    EXPECT_EQ(GetGValue(disabled), GetBValue(disabled)) << "grey bolt";
}

TEST_F(RenderingTest, FlatButtonDrawsTheGlyphOfItsStateWithoutMagenta) {
    TFlatButtonArgs args;
    args.Parent = Host;
    args.Left = 4;
    args.Top = 4;
    args.Width = 93;
    args.Height = 33;
    args.Caption = "Старт";
    args.Font = {"Arial", 16, true, RUSSIAN_CHARSET};
    args.Glyph = PaintLightningBolt;
    TFlatButton button(std::move(args));

    auto count = [&](COLORREF wanted) {
        int found = 0;
        Inspect(button.Handle(), [&](HDC dc) {
            for (int y = 0; y < 33; ++y)
                for (int x = 0; x < 93; ++x)
                    found += GetPixel(dc, x, y) == wanted;
        });
        return found;
    };
    EXPECT_GT(count(RGB(255, 230, 0)), 20) << "enabled: yellow";
    EXPECT_EQ(count(kGlyphTransparent), 0);
    button.SetEnabled(false);
    EXPECT_EQ(count(RGB(255, 230, 0)), 0) << "disabled: no yellow";
    EXPECT_GT(count(RGB(192, 192, 192)), 20) << "disabled: grey";
    EXPECT_EQ(count(kGlyphTransparent), 0);
}

TEST_F(RenderingTest, LogTextSitsTwoPixelsInAndCentredInItsRow) {
    TWin32MessagePump pump;
    TMainForm form(nullptr, pump);
    form.Show(SW_SHOWNORMAL);
    form.AddLogLine("Ш");      // row 0: " Ш"
    form.AddLogLine("x\r\nШ"); // row 1: CR LF and the rest on the same line
    form.AddLogLine("");       // row 2 selected, so rows 0 and 1 are plain
    HWND log = form.ActionLB().Handle();
    const COLORREF window = GetSysColor(COLOR_WINDOW);
    Inspect(log, [&](HDC dc) {
        RECT row0{}, row1{};
        SendMessageW(log, LB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&row0));
        SendMessageW(log, LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&row1));
        const auto ink = FindInk(dc, row0, window);
        ASSERT_TRUE(ink);
        // One blank of a 15-pixel Courier face (about 9 pixels) plus the 2-pixel
        // indent; the letter's own side bearing adds a little.
        EXPECT_GE(ink->Left, 2 + 6);
        EXPECT_LE(ink->Left, 2 + 14);
        EXPECT_NEAR((ink->Top + ink->Bottom) / 2.0, (row0.top + row0.bottom) / 2.0, 2.5);

        const auto second = FindInk(dc, row1, window);
        ASSERT_TRUE(second);
        EXPECT_GT(second->Right - second->Left, ink->Right - ink->Left)
            << "the text after CR LF stays on the row";
        EXPECT_GE(second->Top, row1.top);
        EXPECT_LE(second->Bottom, row1.bottom);
    });
}

TEST_F(RenderingTest, LineBreakInALogRowIsDrawnAsABlank) {
    TWin32MessagePump pump;
    TMainForm form(nullptr, pump);
    form.Show(SW_SHOWNORMAL);
    form.AddLogLine("x\r\nШ"); // row 0
    form.AddLogLine("x Ш");    // row 1
    form.AddLogLine("xШ");     // row 2
    form.AddLogLine("");       // row 3 selected, so rows 0 to 2 are plain
    EXPECT_EQ(form.ActionLB().Text(0), " x\r\nШ") << "the row keeps its text";
    HWND log = form.ActionLB().Handle();
    const COLORREF window = GetSysColor(COLOR_WINDOW);
    Inspect(log, [&](HDC dc) {
        std::optional<TInk> ink[3];
        for (int row = 0; row < 3; ++row) {
            RECT rect{};
            SendMessageW(log, LB_GETITEMRECT, row, reinterpret_cast<LPARAM>(&rect));
            ink[row] = FindInk(dc, rect, window);
            ASSERT_TRUE(ink[row]) << row;
        }
        // Courier is monospaced: the break takes exactly the place of one blank.
        EXPECT_EQ(ink[0]->Left, ink[1]->Left);
        EXPECT_EQ(ink[0]->Right, ink[1]->Right);
        EXPECT_GT(ink[0]->Right, ink[2]->Right) << "not run together";
    });
}

TEST_F(RenderingTest, GlyphAndTextAreDrawnAtTheSizeOfTheDpi) {
    TWin32MessagePump pump;
    TMainForm form(nullptr, pump);
    form.Show(SW_SHOWNORMAL);
    form.AddLogLine("Ш");
    form.AddLogLine(""); // selected, so row 0 is plain
    HWND log = form.ActionLB().Handle();
    HWND start = form.StartButton().Handle();
    struct TSizes {
        TInk Bolt;
        TInk Letter;
        int Magenta;
    };
    auto measure = [&] {
        TSizes sizes{};
        Inspect(start, [&](HDC dc) {
            RECT client{};
            GetClientRect(start, &client);
            const auto bolt = FindInk(dc, client, GetSysColor(COLOR_BTNFACE));
            ASSERT_TRUE(bolt);
            sizes.Bolt = *bolt;
            for (int y = 0; y < client.bottom; ++y)
                for (int x = 0; x < client.right; ++x)
                    sizes.Magenta += GetPixel(dc, x, y) == kGlyphTransparent;
        });
        Inspect(log, [&](HDC dc) {
            RECT row{};
            SendMessageW(log, LB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&row));
            const auto letter = FindInk(dc, row, GetSysColor(COLOR_WINDOW));
            ASSERT_TRUE(letter);
            sizes.Letter = *letter;
        });
        return sizes;
    };
    const TSizes at96 = measure();
    // 175 %, at which the window still fits the test's screen (a window that does
    // not fit is cut to the screen's size).
    RECT suggested{0, 0, 100, 100};
    SendMessageW(form.Handle(), WM_DPICHANGED, MAKEWPARAM(168, 168),
                 reinterpret_cast<LPARAM>(&suggested));
    const TSizes at168 = measure();
    auto scaled = [](int length) { return length * 7 / 4; };

    // The button's ink starts with the glyph: its top and bottom are the bolt's,
    // drawn anew at 42 pixels instead of 24 (two pixels of slack for rounding).
    const int bolt96 = at96.Bolt.Bottom - at96.Bolt.Top;
    const int bolt168 = at168.Bolt.Bottom - at168.Bolt.Top;
    EXPECT_GE(bolt96, 20);
    EXPECT_NEAR(bolt168, scaled(bolt96), 2);
    EXPECT_EQ(at168.Magenta, 0) << "the transparent colour never shows";
    // The letter of the log's 15-pixel font at 26 pixels, and the row's text still
    // starts after the indent and the blank, as much farther in.
    const int letter96 = at96.Letter.Bottom - at96.Letter.Top;
    const int letter168 = at168.Letter.Bottom - at168.Letter.Top;
    EXPECT_GE(letter96, 9);
    EXPECT_NEAR(letter168, scaled(letter96), 2);
    EXPECT_NEAR(at168.Letter.Left, scaled(at96.Letter.Left), 2);
}

} // namespace
} // namespace zorvi
