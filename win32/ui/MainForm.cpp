#include "win32/ui/MainForm.h"

#include "common/LogText.h"
#include "win32/base/Utf16.h"
#include "win32/ui/ApplicationWindow.h"
#include "win32/ui/Clipboard.h"
#include "win32/ui/Glyph.h"
#include "win32/ui/MessageBoxes.h"

#include <windowsx.h>

namespace zorvi {
namespace {

// A fixed single border: caption, system menu and minimise box; no sizing frame and
// no maximise box.
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = 0;

// Resource id of the program's icon (see assets/ZorviUpdate.rc.in).
constexpr int kIconResource = 1;

const TFontSpec kFormFont{"MS Sans Serif", 11, false, DEFAULT_CHARSET};

// In layout pixels.
constexpr int kStartLeft = 4;
constexpr int kStartTop = 4;
constexpr int kStartWidth = 93;
constexpr int kStartHeight = 33;
constexpr int kGlyphSize = 24;

} // namespace

TMainForm::TMainForm(TApplicationWindow* application, TMessagePump& pump)
    : application_(application), pump_(pump) {
    // Made at 96 DPI first: the DPI of a window is known once it exists.
    const SIZE outer = OuterSize(kLayoutDpi);
    const int width = outer.cx;
    const int height = outer.cy;

    TWindowArgs window;
    window.ClassName = kClassName;
    window.ClassBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    window.ClassIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kIconResource));
    window.Caption = kCaption;
    window.Style = kStyle;
    window.ExStyle = kExStyle;
    window.Parent = application ? application->Handle() : nullptr;
    // Centred on the screen.
    window.Left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    window.Top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    window.Width = width;
    window.Height = height;
    CreateFrom(window);
    dpi_ = WindowDpi(Handle());
    formFont_ = CreateFontFromSpec(kFormFont, dpi_);
    SendMessageW(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(formFont_.Get()), FALSE);

    TPanelArgs title;
    title.Parent = Handle();
    title.Dpi = dpi_;
    title.Width = kClientWidth;
    title.Height = kTitleHeight;
    title.Id = kTitlePanelId;
    title.Alignment = TAlignment::Right;
    title.Font = {"Arial", 21, true, RUSSIAN_CHARSET};
    title.FontColor = RGB(0, 0, 255);
    titlePanel_ = std::make_unique<TPanel>(title);

    TListBoxArgs log;
    log.Parent = Handle();
    log.Dpi = dpi_;
    log.Top = kTitleHeight;
    log.Width = kClientWidth;
    log.Height = kClientHeight - kTitleHeight;
    log.Id = kActionListId;
    log.ItemHeight = kLogRowHeight;
    log.TextIndent = 2;
    log.Font = {"Courier New", 15, true, RUSSIAN_CHARSET};
    log.ReportKeys = true; // Ctrl+C
    actionLB_ = std::make_unique<TOwnerDrawListBox>(log);

    TFlatButtonArgs start;
    start.Parent = titlePanel_->Handle();
    start.Dpi = dpi_;
    start.Left = kStartLeft;
    start.Top = kStartTop;
    start.Width = kStartWidth;
    start.Height = kStartHeight;
    start.Id = kStartButtonId;
    start.Caption = kStartCaption;
    start.Font = {"Arial", 16, true, RUSSIAN_CHARSET};
    start.Glyph = PaintLightningBolt;
    start.GlyphSize = kGlyphSize;
    startButton_ = std::make_unique<TFlatButton>(std::move(start));
    startButton_->OnClick = [this] { StartButtonClick(); };

    if (dpi_ != kLayoutDpi) {
        // Centred on the screen at the size of this DPI.
        const SIZE scaled = OuterSize(dpi_);
        PlaceWindowAroundClient(Handle(), (GetSystemMetrics(SM_CXSCREEN) - scaled.cx) / 2,
                                (GetSystemMetrics(SM_CYSCREEN) - scaled.cy) / 2,
                                ScaleToDpi(kClientWidth, dpi_), ScaleToDpi(kClientHeight, dpi_),
                                dpi_);
    }

    FormCreate();
}

SIZE TMainForm::OuterSize(UINT dpi) const {
    return OuterSizeForClient(ScaleToDpi(kClientWidth, dpi), ScaleToDpi(kClientHeight, dpi), kStyle,
                              kExStyle, dpi);
}

void TMainForm::SetDpi(UINT dpi, int left, int top) {
    dpi_ = dpi;
    PlaceWindowAroundClient(Handle(), left, top, ScaleToDpi(kClientWidth, dpi),
                            ScaleToDpi(kClientHeight, dpi), dpi);
    formFont_ = CreateFontFromSpec(kFormFont, dpi);
    SendMessageW(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(formFont_.Get()), FALSE);
    titlePanel_->SetDpi(dpi);
    actionLB_->SetDpi(dpi);
    startButton_->SetDpi(dpi);
}

TMainForm::~TMainForm() {
    // Children first, while this object is whole, then the window itself.
    startButton_.reset();
    actionLB_.reset();
    titlePanel_.reset();
    Destroy();
}

void TMainForm::FormCreate() {
    titlePanel_->SetCaption(kTitleCaption);
    actionLB_->Clear();
}

void TMainForm::AddLogLine(const std::string& text) {
    const int row = actionLB_->Add(" " + text);
    if (row >= 0)
        actionLB_->Select(row);
    pump_.ProcessMessages();
}

void TMainForm::ClearLog() {
    actionLB_->Clear();
}

void TMainForm::SetStartEnabled(bool enabled) {
    startButton_->SetEnabled(enabled);
}

bool TMainForm::StartEnabled() const {
    return startButton_->Enabled();
}

bool TMainForm::CopyLog() {
    if (SetClipboardText(Handle(), WideFromUtf8(LogText(actionLB_->Rows()))))
        return true;
    ReportClipboardFailure();
    return false;
}

bool TMainForm::CopySelectedRow() {
    const int selected = actionLB_->SelectedIndex();
    if (selected < 0)
        return false;
    if (SetClipboardText(Handle(), WideFromUtf8(LogRowLine(actionLB_->Text(selected)))))
        return true;
    ReportClipboardFailure();
    return false;
}

void TMainForm::ReportClipboardFailure() {
    TWin32MessageBoxes(Handle()).ShowMessageBox(
        "Не удалось поместить текст журнала в буфер обмена: его занимает другая "
        "программа. "
        "Попробуйте ещё раз.",
        "Информация", MB_OK | MB_ICONWARNING);
}

void TMainForm::ShowLogMenu(POINT screen) {
    const bool empty = actionLB_->Count() == 0;
    HMENU menu = CreatePopupMenu();
    if (!menu)
        return;
    AppendMenuW(menu, MF_STRING | (empty ? MF_GRAYED : 0), kCopyLogCommand,
                WideFromUtf8(kCopyLogItem).c_str());
    AppendMenuW(menu, MF_STRING | (empty || !OnSaveLogClick ? MF_GRAYED : 0), kSaveLogCommand,
                WideFromUtf8(kSaveLogItem).c_str());
    const UINT command =
        static_cast<UINT>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY,
                                         screen.x, screen.y, 0, Handle(), nullptr));
    DestroyMenu(menu);
    if (command == kCopyLogCommand) {
        CopyLog();
    } else if (command == kSaveLogCommand) {
        if (auto handler = OnSaveLogClick)
            handler();
    }
}

void TMainForm::StartButtonClick() {
    if (auto handler = OnStartButtonClick)
        handler();
    else
        ClearLog();
}

LRESULT TMainForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SYSCOMMAND:
        // The system uses the low four bits of the command internally.
        if ((wParam & 0xFFF0) == SC_MINIMIZE && application_) {
            application_->Minimize();
            return 0;
        }
        break;
    case WM_CONTEXTMENU:
        if (reinterpret_cast<HWND>(wParam) == actionLB_->Handle()) {
            POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            if (lParam == -1) {
                // From the keyboard (Shift+F10, the menu key): below the selected row,
                // or at the log's top left corner.
                RECT row{};
                const int selected = actionLB_->SelectedIndex();
                if (selected < 0 ||
                    SendMessageW(actionLB_->Handle(), LB_GETITEMRECT, static_cast<WPARAM>(selected),
                                 reinterpret_cast<LPARAM>(&row)) == LB_ERR)
                    row = RECT{};
                at = POINT{row.left, row.bottom};
                ClientToScreen(actionLB_->Handle(), &at);
            }
            ShowLogMenu(at);
            return 0;
        }
        break;
    case WM_VKEYTOITEM:
        // Every key pressed in the log comes here first: -2 when we took it, -1 for
        // the list box's own handling.
        if (reinterpret_cast<HWND>(lParam) == actionLB_->Handle() && LOWORD(wParam) == 'C' &&
            GetKeyState(VK_CONTROL) < 0) {
            CopySelectedRow();
            return -2;
        }
        return -1;
    case WM_DPICHANGED: {
        // Moved to a monitor of another scale: Windows suggests where the window
        // goes; its size is ours to make exact.
        const auto* suggested = reinterpret_cast<const RECT*>(lParam);
        SetDpi(LOWORD(wParam), suggested->left, suggested->top);
        return 0;
    }
    case WM_CLOSE:
        if (auto query = OnCloseQuery; query && !query())
            return 0;
        // Closing the main window ends the program once the running handler (an
        // update, say) has returned; the window is only hidden until then, so the
        // objects that write to it stay valid.
        ShowWindow(Handle(), SW_HIDE);
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return TWindow::HandleMessage(message, wParam, lParam);
}

} // namespace zorvi
