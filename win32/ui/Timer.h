// A timer that calls OnTimer every Interval while it is enabled. Ticks arrive as
// WM_TIMER through the thread's message loop, so they come only while some loop
// (the main one, a modal one, a ProcessMessages) dispatches messages. Enabling it
// again, or changing the interval, starts a full interval from that moment.
#pragma once

#include "win32/ui/Window.h"

#include <chrono>
#include <functional>

namespace zorvi {

class TTimer final : public TWindow {
public:
    explicit TTimer(std::chrono::milliseconds interval = std::chrono::milliseconds(1000));
    ~TTimer() override;

    std::function<void()> OnTimer;

    void SetEnabled(bool enabled);
    bool Enabled() const { return enabled_; }
    void SetInterval(std::chrono::milliseconds interval);
    std::chrono::milliseconds Interval() const { return interval_; }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void Restart();

    std::chrono::milliseconds interval_;
    bool enabled_ = false;
};

} // namespace zorvi
