// Each timer owns a message-only window, so it needs no owner window and its ticks
// reach it directly.
#include "win32/ui/Timer.h"

namespace zorvi {
namespace {

constexpr wchar_t kTimerClass[] = L"ZorviTimer";
constexpr UINT_PTR kTimerId = 1;

} // namespace

TTimer::TTimer(std::chrono::milliseconds interval) : interval_(interval) {
    TWindowArgs window;
    window.ClassName = kTimerClass;
    window.Style = 0;
    window.Parent = HWND_MESSAGE;
    window.Left = window.Top = window.Width = window.Height = 0;
    CreateFrom(window);
}

TTimer::~TTimer() {
    SetEnabled(false);
    Destroy();
}

void TTimer::SetEnabled(bool enabled) {
    enabled_ = enabled;
    Restart();
}

void TTimer::SetInterval(std::chrono::milliseconds interval) {
    interval_ = interval;
    Restart();
}

void TTimer::Restart() {
    if (!Handle())
        return;
    KillTimer(Handle(), kTimerId);
    if (enabled_ && interval_.count() > 0)
        SetTimer(Handle(), kTimerId, static_cast<UINT>(interval_.count()), nullptr);
}

LRESULT TTimer::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER && wParam == kTimerId) {
        // A tick queued before the timer was disabled may still arrive.
        if (enabled_ && OnTimer) {
            auto handler = OnTimer;
            handler();
        }
        return 0;
    }
    return TWindow::HandleMessage(message, wParam, lParam);
}

} // namespace zorvi
