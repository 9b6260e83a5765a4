#include "common/LogText.h"

#include <cstdio>

namespace zorvi {

std::string LogRowLine(const std::string& row) {
    std::string line;
    line.reserve(row.size());
    for (std::size_t i = 0; i < row.size(); ++i) {
        const char c = row[i];
        if (c == '\r' && i + 1 < row.size() && row[i + 1] == '\n')
            continue; // the LF that follows makes the one blank of the pair
        line += (c == '\r' || c == '\n') ? ' ' : c;
    }
    return line;
}

std::string LogText(const std::vector<std::string>& rows) {
    std::string text;
    for (const std::string& row : rows) {
        text += LogRowLine(row);
        text += "\r\n";
    }
    return text;
}

std::string LogFileName(int year, int month, int day, int hour, int minute) {
    char name[64];
    std::snprintf(name, sizeof(name), "ZorviUpdate-%04d-%02d-%02d-%02d%02d.log", year, month, day,
                  hour, minute);
    return name;
}

} // namespace zorvi
