// The control channel: a plain file to which a test appends one command per line.
// The simulator follows it, carries out each complete line, and writes the count of
// lines done to FILE.ack (replaced atomically), so the test can wait for a command
// to have taken effect. A plain file works from Linux and, through Wine's Z: drive,
// from a Windows test program alike.
#pragma once

#include <string>
#include <vector>

namespace zorvi::sim {

class TControlChannel {
public:
    /// Follows `path` (created empty when missing); an empty path follows nothing.
    explicit TControlChannel(std::string path);

    /// Complete lines appended since the last call.
    std::vector<std::string> NewLines();
    /// Records that `count` lines in all have been carried out.
    void Acknowledge(std::size_t count);

private:
    std::string Path;
    std::size_t Offset = 0;
    std::string Partial;
};

/// Splits a command line at blanks.
std::vector<std::string> SplitWords(const std::string& line);

} // namespace zorvi::sim
