#include "Terminal.h"

#include <iostream>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#define ZORVI_ISATTY _isatty
#define ZORVI_FILENO _fileno
#else
#include <termios.h>
#include <unistd.h>
#define ZORVI_ISATTY isatty
#define ZORVI_FILENO fileno
#endif

namespace zorvi::cli {
namespace {

constexpr int kBarWidth = 40;

std::string ReadLine() {
    std::string line;
    std::getline(std::cin, line);
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

} // namespace

bool StdinIsTerminal() {
    return ZORVI_ISATTY(ZORVI_FILENO(stdin)) != 0;
}

bool StderrIsTerminal() {
    return ZORVI_ISATTY(ZORVI_FILENO(stderr)) != 0;
}

void SetStandardOutputBinary() {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
}

bool AskYesNo(const std::string& question) {
    std::cerr << question << " [y/N] " << std::flush;
    const std::string answer = ReadLine();
    return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}

std::string AskPassword(const std::string& question) {
    std::cerr << question << std::flush;
#ifndef _WIN32
    termios saved{};
    const bool quiet = tcgetattr(STDIN_FILENO, &saved) == 0;
    if (quiet) {
        termios silent = saved;
        silent.c_lflag &= static_cast<tcflag_t>(~ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &silent);
    }
    const std::string password = ReadLine();
    if (quiet) {
        tcsetattr(STDIN_FILENO, TCSANOW, &saved);
        std::cerr << '\n';
    }
    return password;
#else
    return ReadLine();
#endif
}

void TProgressBar::Show(int percent) {
    if (percent == last_) {
        return;
    }
    last_ = percent;
    const int filled = percent * kBarWidth / 100;
    std::cerr << '\r' << '[' << std::string(static_cast<std::size_t>(filled), '#')
              << std::string(static_cast<std::size_t>(kBarWidth - filled), '.') << "] " << percent
              << '%' << std::flush;
    shown_ = true;
}

void TProgressBar::Clear() {
    if (shown_) {
        std::cerr << '\r' << std::string(kBarWidth + 8, ' ') << '\r' << std::flush;
        shown_ = false;
        last_ = -1;
    }
}

} // namespace zorvi::cli
