#include "win32/ui/MainForm.h"

#include "win32/ui/ApplicationWindow.h"
#include "win32/ui/Glyph.h"

namespace zorvi {
namespace {

// A fixed single border: caption, system menu and minimise box; no sizing frame and
// no maximise box.
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = 0;

// Resource id of the program's icon (see assets/ZorviUpdate.rc).
constexpr int kIconResource = 1;

constexpr int kStartLeft = 4;
constexpr int kStartTop = 4;
constexpr int kStartWidth = 93;
constexpr int kStartHeight = 33;
constexpr int kGlyphSize = 24;

} // namespace

TMainForm::TMainForm(TApplicationWindow* application, TMessagePump& pump)
    : Application_(application), Pump_(pump),
      FormFont_(CreateFontFromSpec({"MS Sans Serif", 11, false, DEFAULT_CHARSET})) {
    RECT outer{0, 0, kClientWidth, kClientHeight};
    AdjustWindowRectEx(&outer, kStyle, FALSE, kExStyle);
    const int width = outer.right - outer.left;
    const int height = outer.bottom - outer.top;

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
    SendMessageW(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(FormFont_.Get()), FALSE);

    TPanelArgs title;
    title.Parent = Handle();
    title.Width = kClientWidth;
    title.Height = kTitleHeight;
    title.Id = kTitlePanelId;
    title.Alignment = TAlignment::Right;
    title.Font = {"Arial", 21, true, RUSSIAN_CHARSET};
    title.FontColor = RGB(0, 0, 255);
    TitlePanel_ = std::make_unique<TPanel>(title);

    TListBoxArgs log;
    log.Parent = Handle();
    log.Top = kTitleHeight;
    log.Width = kClientWidth;
    log.Height = kClientHeight - kTitleHeight;
    log.Id = kActionListId;
    log.ItemHeight = kLogRowHeight;
    log.TextIndent = 2;
    log.Font = {"Courier New", 15, true, RUSSIAN_CHARSET};
    ActionLB_ = std::make_unique<TOwnerDrawListBox>(log);

    TFlatButtonArgs start;
    start.Parent = TitlePanel_->Handle();
    start.Left = kStartLeft;
    start.Top = kStartTop;
    start.Width = kStartWidth;
    start.Height = kStartHeight;
    start.Id = kStartButtonId;
    start.Caption = kStartCaption;
    start.Font = {"Arial", 16, true, RUSSIAN_CHARSET};
    start.Glyph = MakeTwoStateGlyph(kGlyphSize, PaintLightningBolt);
    start.GlyphSize = kGlyphSize;
    StartButton_ = std::make_unique<TFlatButton>(std::move(start));
    StartButton_->OnClick = [this] { StartButtonClick(); };

    FormCreate();
}

TMainForm::~TMainForm() {
    // Children first, while this object is whole, then the window itself.
    StartButton_.reset();
    ActionLB_.reset();
    TitlePanel_.reset();
    Destroy();
}

void TMainForm::FormCreate() {
    TitlePanel_->SetCaption(kTitleCaption);
    ActionLB_->Clear();
}

void TMainForm::AddLogLine(const std::string& text) {
    const int row = ActionLB_->Add(" " + text);
    if (row >= 0)
        ActionLB_->Select(row);
    Pump_.ProcessMessages();
}

void TMainForm::ClearLog() {
    ActionLB_->Clear();
}

void TMainForm::SetStartEnabled(bool enabled) {
    StartButton_->SetEnabled(enabled);
}

bool TMainForm::StartEnabled() const {
    return StartButton_->Enabled();
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
        if ((wParam & 0xFFF0) == SC_MINIMIZE && Application_) {
            Application_->Minimize();
            return 0;
        }
        break;
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
