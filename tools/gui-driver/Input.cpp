#include "tools/gui-driver/Input.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <string_view>
#include <thread>

namespace zorvi::driver {
namespace {

// Named keys of a combination.
struct TKeyName {
    std::string_view Name;
    WORD Key;
};
constexpr std::array kKeyNames = {
    TKeyName{"ctrl", VK_CONTROL}, TKeyName{"shift", VK_SHIFT},   TKeyName{"alt", VK_MENU},
    TKeyName{"enter", VK_RETURN}, TKeyName{"escape", VK_ESCAPE}, TKeyName{"tab", VK_TAB},
    TKeyName{"up", VK_UP},        TKeyName{"down", VK_DOWN},     TKeyName{"f10", VK_F10},
    TKeyName{"apps", VK_APPS},
};

// A program reacts to input after it has taken the events off its queue; a pause
// between press and release lets a busy one see the button down first.
constexpr std::chrono::milliseconds kPressPause{50};

// SendInput's absolute coordinates run from 0 to 65535 across the primary screen.
LONG Normalised(LONG pixel, int screenSize) {
    return static_cast<LONG>((static_cast<long long>(pixel) * 65536 + screenSize / 2) / screenSize);
}

bool Send(INPUT input) {
    return SendInput(1, &input, sizeof(input)) == 1;
}

} // namespace

bool ClickAt(POINT screen, TMouseButton button) {
    INPUT move{};
    move.type = INPUT_MOUSE;
    move.mi.dx = Normalised(screen.x, GetSystemMetrics(SM_CXSCREEN));
    move.mi.dy = Normalised(screen.y, GetSystemMetrics(SM_CYSCREEN));
    move.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    INPUT down{};
    down.type = INPUT_MOUSE;
    down.mi.dwFlags = button == TMouseButton::Left ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_RIGHTDOWN;
    INPUT up = down;
    up.mi.dwFlags = button == TMouseButton::Left ? MOUSEEVENTF_LEFTUP : MOUSEEVENTF_RIGHTUP;
    if (!Send(move))
        return false;
    std::this_thread::sleep_for(kPressPause);
    if (!Send(down))
        return false;
    std::this_thread::sleep_for(kPressPause);
    return Send(up);
}

std::optional<std::vector<WORD>> ParseKeys(const std::string& combination) {
    std::vector<WORD> keys;
    std::size_t start = 0;
    while (start <= combination.size()) {
        const std::size_t end = std::min(combination.find('+', start), combination.size());
        std::string name = combination.substr(start, end - start);
        for (char& c : name)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (name.size() == 1 && std::isalnum(static_cast<unsigned char>(name[0]))) {
            // Virtual keys of letters and digits are their upper-case characters.
            keys.push_back(static_cast<WORD>(std::toupper(static_cast<unsigned char>(name[0]))));
        } else {
            const auto* found = std::find_if(kKeyNames.begin(), kKeyNames.end(),
                                             [&](const TKeyName& key) { return key.Name == name; });
            if (found == kKeyNames.end())
                return std::nullopt;
            keys.push_back(found->Key);
        }
        start = end + 1;
    }
    return keys;
}

bool PressKeys(const std::vector<WORD>& keys) {
    bool sent = true;
    for (WORD key : keys) {
        INPUT down{};
        down.type = INPUT_KEYBOARD;
        down.ki.wVk = key;
        sent = Send(down) && sent;
        std::this_thread::sleep_for(kPressPause);
    }
    for (auto key = keys.rbegin(); key != keys.rend(); ++key) {
        INPUT up{};
        up.type = INPUT_KEYBOARD;
        up.ki.wVk = *key;
        up.ki.dwFlags = KEYEVENTF_KEYUP;
        sent = Send(up) && sent;
    }
    return sent;
}

void BringToFront(HWND window) {
    SetForegroundWindow(window);
    std::this_thread::sleep_for(kPressPause);
}

} // namespace zorvi::driver
