#include "win32/device/ConnectDialog.h"

#include "win32/ui/Glyph.h"

#include <array>

namespace zorvi {
namespace {

/// The message panel's cream background.
constexpr COLORREF kInfoBackground = RGB(255, 251, 240);
// In layout pixels.
/// Each panel is half the client height.
constexpr int kPanelHeight = 41;
/// The button sits 4 pixels inside panel2_ on every side.
constexpr int kButtonMargin = 4;
constexpr int kGlyphSize = 24;

TDialogArgs DialogArgs(HWND mainWindow) {
    TDialogArgs args;
    args.Owner = mainWindow;
    args.Caption = "Подключение к прибору";
    args.ClientWidth = TConnectDialog::kClientWidth;
    args.ClientHeight = TConnectDialog::kClientHeight;
    args.ClassName = TConnectDialog::kClassName;
    return args;
}

} // namespace

void PaintRedCross(HDC dc, int left, int top, int size, bool enabled) {
    // Two strokes corner to corner, 3 pixels in from the edges of the square, with
    // a darker outline so the cross reads on the grey face of a flat button.
    const int inset = 3 * size / kGlyphSize;
    const int stroke = 4 * size / kGlyphSize;
    const COLORREF fill = enabled ? RGB(220, 0, 0) : RGB(160, 160, 160);
    const COLORREF outline = enabled ? RGB(120, 0, 0) : RGB(110, 110, 110);
    const int a = inset;
    const int b = size - 1 - inset;
    // Each stroke is a parallelogram around its diagonal.
    const std::array<std::array<POINT, 4>, 2> strokes = {{
        {{{left + a, top + a + stroke},
          {left + a + stroke, top + a},
          {left + b, top + b - stroke},
          {left + b - stroke, top + b}}},
        {{{left + b - stroke, top + a},
          {left + b, top + a + stroke},
          {left + a + stroke, top + b},
          {left + a, top + b - stroke}}},
    }};
    TBrushHandle brush(CreateSolidBrush(fill));
    TPenHandle pen(CreatePen(PS_SOLID, GlyphOutlineWidth(size), outline));
    TSelection selectedBrush(dc, brush.Get());
    TSelection selectedPen(dc, pen.Get());
    for (const auto& points : strokes) {
        Polygon(dc, points.data(), static_cast<int>(points.size()));
    }
}

TConnectDialog::TConnectDialog(HWND mainWindow, TWin32MessagePump& pump,
                               TConnectDialogEvents& events)
    : TDialogWindow(DialogArgs(mainWindow), pump), mainWindow_(mainWindow), events_(events) {
    TPanelArgs info;
    info.Parent = Handle();
    info.Dpi = Dpi();
    info.Width = kClientWidth;
    info.Height = kPanelHeight;
    info.Caption = "Подключите прибор к компьютеру...";
    info.Font = TFontSpec{"Arial", 19, false, RUSSIAN_CHARSET};
    info.Background = kInfoBackground;
    infoPanel_ = std::make_unique<TPanel>(info);

    TPanelArgs bottom;
    bottom.Parent = Handle();
    bottom.Dpi = Dpi();
    bottom.Top = kClientHeight - kPanelHeight;
    bottom.Width = kClientWidth;
    bottom.Height = kPanelHeight;
    panel2_ = std::make_unique<TPanel>(bottom);

    TFlatButtonArgs button;
    button.Parent = panel2_->Handle();
    button.Dpi = Dpi();
    button.Left = kButtonMargin;
    button.Top = kButtonMargin;
    button.Width = kClientWidth - 2 * kButtonMargin;
    button.Height = kPanelHeight - 2 * kButtonMargin;
    button.Id = kStartButtonId;
    button.Caption = "Прервать";
    button.Font = TFontSpec{"Arial", 16, true, RUSSIAN_CHARSET};
    button.Glyph = PaintRedCross;
    button.GlyphSize = kGlyphSize;
    startButton_ = std::make_unique<TFlatButton>(std::move(button));
    startButton_->OnClick = [this] { events_.StartButtonClick(); };

    checkTimer_.OnTimer = [this] { events_.CheckTimerTimer(); };
}

TConnectDialog::~TConnectDialog() {
    checkTimer_.SetEnabled(false);
    // The controls go first, then the window, while our members still exist.
    startButton_.reset();
    panel2_.reset();
    infoPanel_.reset();
    Destroy();
}

void TConnectDialog::SetInfoCaption(const std::string& text) {
    infoPanel_->SetCaption(text);
    infoPanel_->Invalidate();
}

void TConnectDialog::SetInfoFontColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    infoPanel_->SetFontColor(RGB(red, green, blue));
}

void TConnectDialog::OnShow() {
    // Laid out at the main window's scale before the placement reads its width.
    SetDpi(WindowDpi(mainWindow_));
    events_.FormShow();
}

void TConnectDialog::OnDpiChanged(UINT dpi) {
    infoPanel_->SetDpi(dpi);
    panel2_->SetDpi(dpi);
    startButton_->SetDpi(dpi);
}

void TConnectDialog::MoveTo(int left, int top) {
    // The dialog's logic centres it from the two windows' real outer widths, which
    // needs no scaling, and puts its top a fixed distance below the main window's
    // top. That distance is a layout size like every other (300 pixels at 96 DPI),
    // so it is scaled here to the dialog's DPI.
    RECT main{};
    GetWindowRect(mainWindow_, &main);
    TDialogWindow::MoveTo(left, main.top + ScaleToDpi(top - main.top, Dpi()));
}

TWindowBounds TConnectDialog::MainWindowBounds() const {
    RECT rect{};
    GetWindowRect(mainWindow_, &rect);
    return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

int TConnectDialog::OuterWidth() const {
    const RECT rect = Bounds();
    return rect.right - rect.left;
}

} // namespace zorvi
