// isp-sim-pty: the simulated instrument's boot loader alone, behind a
// pseudo-terminal, for tests of the flashing tool.
//
//   isp-sim-pty [--image FILE] [--silent]
//
// Prints the terminal's path (e.g. /dev/pts/7) on the first line of standard
// output and serves until SIGINT or SIGTERM. With --image the whole 512 KB flash
// is written to FILE each time the host starts the program ("G") and at the end.
// With --silent nothing is ever answered: a port with no instrument in
// programming mode behind it.
#include "tools/instrument-sim/isp/IspBootLoader.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace {

// Set by SIGINT/SIGTERM; the loop looks at it at least every kPollMs.
std::atomic<bool> stopRequested{false};
constexpr int kPollMs = 100;

void RequestStop(int) {
    stopRequested = true;
}

struct TOptions {
    std::string imagePath;
    bool silent = false;
};

bool ParseArguments(int argc, char** argv, TOptions& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--image" && i + 1 < argc) {
            options.imagePath = argv[++i];
        } else if (argument == "--silent") {
            options.silent = true;
        } else {
            return false;
        }
    }
    return true;
}

bool SaveImage(const zorvi::TIspBootLoader& chip, const std::string& path) {
    if (path.empty()) {
        return true;
    }
    // Written beside and renamed, so a reader never sees half an image.
    const std::string partial = path + ".partial";
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(chip.Flash().data()),
              static_cast<std::streamsize>(chip.Flash().size()));
    out.close();
    return out && std::rename(partial.c_str(), path.c_str()) == 0;
}

bool WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno != EINTR && errno != EAGAIN) {
            return false;
        }
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EAGAIN) {
            poll(nullptr, 0, 1);
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    TOptions options;
    if (!ParseArguments(argc, argv, options)) {
        std::fprintf(stderr, "usage: isp-sim-pty [--image FILE] [--silent]\n");
        return 2;
    }
    std::signal(SIGINT, RequestStop);
    std::signal(SIGTERM, RequestStop);

    // 1. The terminal pair. The slave stays open here too, so that the master does
    //    not fail with EIO while the program under test has the port closed.
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        std::perror("isp-sim-pty: pseudo-terminal");
        return 1;
    }
    const std::string slavePath = ptsname(master);
    const int slave = open(slavePath.c_str(), O_RDWR | O_NOCTTY);
    if (slave < 0) {
        std::perror("isp-sim-pty: slave");
        return 1;
    }
    // 2. Raw: no echo, no line editing, no CR/LF translation.
    termios settings{};
    tcgetattr(slave, &settings);
    cfmakeraw(&settings);
    cfsetspeed(&settings, B115200);
    tcsetattr(slave, TCSANOW, &settings);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);

    std::printf("%s\n", slavePath.c_str());
    std::fflush(stdout);

    // 3. Serve.
    zorvi::TIspBootLoader chip;
    SaveImage(chip, options.imagePath);
    while (!stopRequested) {
        pollfd input{master, POLLIN, 0};
        if (poll(&input, 1, kPollMs) <= 0) {
            continue;
        }
        char buffer[4096];
        const ssize_t count = read(master, buffer, sizeof buffer);
        if (count <= 0) {
            if (count < 0 && errno != EAGAIN && errno != EINTR && errno != EIO) {
                std::perror("isp-sim-pty: read");
                break;
            }
            poll(nullptr, 0, 10);
            continue;
        }
        if (options.silent) {
            continue;
        }
        const bool wasRunning = chip.State() == zorvi::TIspBootLoader::TState::Running;
        const std::string answer =
            chip.Receive(std::string_view(buffer, static_cast<std::size_t>(count)));
        if (!answer.empty() && !WriteAll(master, answer)) {
            std::perror("isp-sim-pty: write");
            break;
        }
        if (!wasRunning && chip.State() == zorvi::TIspBootLoader::TState::Running) {
            SaveImage(chip, options.imagePath);
        }
    }
    const bool saved = SaveImage(chip, options.imagePath);
    close(slave);
    close(master);
    return saved ? 0 : 1;
}
