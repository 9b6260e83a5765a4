#include "SimLog.h"

namespace zorvi::sim {

TSimLog::TSimLog(const std::string& path) {
    if (!path.empty()) {
        File = std::fopen(path.c_str(), "a");
        Owned = File != nullptr;
    }
    if (File == nullptr) {
        File = stderr;
    }
}

TSimLog::~TSimLog() {
    if (Owned) {
        std::fclose(File);
    }
}

void TSimLog::Line(const std::string& text) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - Start)
                        .count();
    std::fprintf(File, "%8lld %s\n", static_cast<long long>(ms), text.c_str());
    std::fflush(File);
}

void TSimLog::Received(std::uint8_t byte) {
    char text[32];
    if (byte >= 0x20 && byte < 0x7F) {
        std::snprintf(text, sizeof text, "rx '%c' 0x%02X", byte, byte);
    } else {
        std::snprintf(text, sizeof text, "rx 0x%02X", byte);
    }
    Line(text);
}

} // namespace zorvi::sim
