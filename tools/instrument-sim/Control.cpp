#include "Control.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace zorvi::sim {

TControlChannel::TControlChannel(std::string path) : Path(std::move(path)) {
    if (!Path.empty()) {
        std::ofstream(Path, std::ios::app).flush();
        Acknowledge(0);
    }
}

std::vector<std::string> TControlChannel::NewLines() {
    std::vector<std::string> lines;
    if (Path.empty()) {
        return lines;
    }
    std::ifstream in(Path, std::ios::binary);
    if (!in) {
        return lines;
    }
    in.seekg(0, std::ios::end);
    const auto size = static_cast<std::size_t>(in.tellg());
    if (size <= Offset) {
        return lines;
    }
    in.seekg(static_cast<std::streamoff>(Offset));
    std::string chunk(size - Offset, '\0');
    in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    chunk.resize(static_cast<std::size_t>(in.gcount()));
    Offset += chunk.size();

    Partial += chunk;
    std::size_t start = 0;
    for (std::size_t end; (end = Partial.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string line = Partial.substr(start, end - start);
        // Written from Windows, lines may end in CR LF.
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty()) {
            lines.push_back(std::move(line));
        }
    }
    Partial.erase(0, start);
    return lines;
}

void TControlChannel::Acknowledge(std::size_t count) {
    if (Path.empty()) {
        return;
    }
    const std::string ack = Path + ".ack";
    const std::string temporary = ack + ".tmp";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << count << '\n';
    }
    std::rename(temporary.c_str(), ack.c_str());
}

std::vector<std::string> SplitWords(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string word; in >> word;) {
        words.push_back(word);
    }
    return words;
}

} // namespace zorvi::sim
