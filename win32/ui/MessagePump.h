// The thread's message loop and its real clock. The pump remembers a WM_QUIT that
// one of its loops took off the queue, so the main loop ends after the handler that
// was running (an update inside the Start click) has returned.
#pragma once

#include "common/Clock.h"

namespace zorvi {

class TWin32MessagePump final : public TMessagePump {
public:
    /// Removes and dispatches every waiting message; returns at an empty queue or at
    /// WM_QUIT, which it records.
    void ProcessMessages() override;

    /// Waits for one message and dispatches it. Returns false, dispatching nothing,
    /// once WM_QUIT has been seen.
    bool HandleMessage();

    /// The main loop: runs until WM_QUIT; returns its exit code.
    int Run();

    bool QuitRequested() const { return quitRequested_; }

private:
    void Dispatch(const void* message);

    bool quitRequested_ = false;
    int exitCode_ = 0;
};

/// Real time: Sleep blocks the thread without processing messages.
class TWin32Clock final : public TClock {
public:
    void Sleep(std::chrono::milliseconds duration) override;
    std::chrono::milliseconds Now() const override;
};

} // namespace zorvi
