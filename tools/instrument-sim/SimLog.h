// The simulator's own log: what it received and what it did, one line each with the
// milliseconds since it started, so a test can read back what the program sent.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace zorvi::sim {

class TSimLog {
public:
    /// Writes to `path`, or to standard error when the path is empty.
    explicit TSimLog(const std::string& path);
    ~TSimLog();
    TSimLog(const TSimLog&) = delete;
    TSimLog& operator=(const TSimLog&) = delete;

    void Line(const std::string& text);
    void Received(std::uint8_t byte);

private:
    std::FILE* File = nullptr;
    bool Owned = false;
    std::chrono::steady_clock::time_point Start = std::chrono::steady_clock::now();
};

} // namespace zorvi::sim
