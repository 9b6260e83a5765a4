// Time and the window message queue, as the portable core sees them. Every wait of
// the program (100 ms polls, 1000 ms pauses and ticks) is a call on a TClock, so
// tests run a 17-second exchange on a virtual clock in milliseconds while the real
// program sleeps for real.
#pragma once

#include <chrono>

namespace zorvi {

class TClock {
public:
    virtual ~TClock() = default;
    /// Blocks the calling (GUI) thread; processes no window messages.
    virtual void Sleep(std::chrono::milliseconds duration) = 0;
    /// Monotonic time since an arbitrary origin.
    virtual std::chrono::milliseconds Now() const = 0;
};

class TMessagePump {
public:
    virtual ~TMessagePump() = default;
    /// Removes and dispatches every message waiting in the thread's queue.
    virtual void ProcessMessages() = 0;
};

} // namespace zorvi
