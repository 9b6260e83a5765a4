#include "Pty.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace zorvi::sim {
namespace {

[[noreturn]] void Fail(const char* what) {
    throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

/// How long the main loop may sleep when nothing is queued: short enough to notice
/// control commands promptly.
constexpr std::chrono::milliseconds kIdlePoll{20};

} // namespace

TPseudoTerminal::TPseudoTerminal() {
    Master = posix_openpt(O_RDWR | O_NOCTTY);
    if (Master < 0) {
        Fail("posix_openpt");
    }
    if (grantpt(Master) != 0 || unlockpt(Master) != 0) {
        Fail("grantpt/unlockpt");
    }
    const char* name = ptsname(Master);
    if (name == nullptr) {
        Fail("ptsname");
    }
    Path = name;
    Slave = open(Path.c_str(), O_RDWR | O_NOCTTY);
    if (Slave < 0) {
        Fail("open slave");
    }
    termios raw{};
    if (tcgetattr(Slave, &raw) != 0) {
        Fail("tcgetattr");
    }
    cfmakeraw(&raw);
    cfsetispeed(&raw, B921600);
    cfsetospeed(&raw, B921600);
    if (tcsetattr(Slave, TCSANOW, &raw) != 0) {
        Fail("tcsetattr");
    }
    const int flags = fcntl(Master, F_GETFL);
    if (flags < 0 || fcntl(Master, F_SETFL, flags | O_NONBLOCK) != 0) {
        Fail("fcntl");
    }
}

TPseudoTerminal::~TPseudoTerminal() {
    if (Slave >= 0) {
        close(Slave);
    }
    if (Master >= 0) {
        close(Master);
    }
}

void TPseudoTerminal::HangUp() {
    Queue.clear();
    if (Slave >= 0) {
        close(Slave);
        Slave = -1;
    }
    if (Master >= 0) {
        close(Master);
        Master = -1;
    }
}

bool TPseudoTerminal::ReadInput(std::string& bytes) {
    if (HungUp()) {
        return true;
    }
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(Master, buffer, sizeof buffer);
        if (got > 0) {
            bytes.append(buffer, static_cast<std::size_t>(got));
            continue;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        // EAGAIN: nothing more now. EIO: no one has the slave open, which cannot
        // happen while we hold it, but is harmless too.
        return got == 0 || errno == EAGAIN || errno == EWOULDBLOCK || errno == EIO;
    }
}

void TPseudoTerminal::Send(TSimClock::time_point due, std::string bytes) {
    if (bytes.empty()) {
        return;
    }
    // Keep the queue in time order; equal times keep their order of sending.
    const auto at = std::upper_bound(Queue.begin(), Queue.end(), due,
                                     [](const auto& t, const TPiece& p) { return t < p.Due; });
    Queue.insert(at, TPiece{due, std::move(bytes)});
}

std::chrono::milliseconds TPseudoTerminal::Pump(TSimClock::time_point now) {
    if (HungUp()) {
        Queue.clear();
        return kIdlePoll;
    }
    while (!Queue.empty() && Queue.front().Due <= now) {
        TPiece& piece = Queue.front();
        const ssize_t put = write(Master, piece.Bytes.data(), piece.Bytes.size());
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            // The terminal's buffer is full (or no reader): try again shortly.
            return std::chrono::milliseconds(5);
        }
        piece.Bytes.erase(0, static_cast<std::size_t>(put));
        if (!piece.Bytes.empty()) {
            return std::chrono::milliseconds(5);
        }
        Queue.pop_front();
    }
    if (Queue.empty()) {
        return kIdlePoll;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(Queue.front().Due - now);
    return std::clamp(wait, std::chrono::milliseconds(1), kIdlePoll);
}

std::size_t TPseudoTerminal::QueuedBytes() const {
    std::size_t total = 0;
    for (const auto& piece : Queue) {
        total += piece.Bytes.size();
    }
    return total;
}

} // namespace zorvi::sim
