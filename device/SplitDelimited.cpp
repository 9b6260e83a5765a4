#include "device/SplitDelimited.h"

namespace zorvi {
namespace {

bool IsSeparator(char c) {
    const auto code = static_cast<unsigned char>(c);
    return code >= 1 && code <= 32;
}

} // namespace

void SplitDelimited(char delimiter, std::string_view text, std::vector<std::string>& items) {
    items.clear();
    if (const auto zero = text.find('\0'); zero != std::string_view::npos) {
        text = text.substr(0, zero);
    }

    std::size_t i = 0;
    const auto skipSeparators = [&] {
        while (i < text.size() && IsSeparator(text[i])) {
            ++i;
        }
    };

    skipSeparators();
    while (i < text.size()) {
        std::string item;
        if (text[i] == '"') {
            ++i;
            while (i < text.size()) {
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        item += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                item += text[i++];
            }
        } else {
            while (i < text.size() && !IsSeparator(text[i]) && text[i] != delimiter) {
                item += text[i++];
            }
        }
        items.push_back(std::move(item));

        skipSeparators();
        if (i < text.size() && text[i] == delimiter) {
            // The delimiter may itself be a separator (CR is), in which case it was
            // skipped above together with the other separators.
            const bool last = i + 1 == text.size();
            ++i;
            skipSeparators();
            if (last) {
                items.emplace_back();
            }
        }
    }
}

} // namespace zorvi
