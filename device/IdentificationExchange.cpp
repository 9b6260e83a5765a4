#include "device/IdentificationExchange.h"

#include "device/SerialExchange.h"
#include "device/SplitDelimited.h"

#include <algorithm>

namespace zorvi {
namespace {

// Query bytes, sent one at a time, each flushed at once.
constexpr std::uint8_t kQueryFirst = 0x71;  // 'q'
constexpr std::uint8_t kQuerySecond = 0x76; // 'v'

} // namespace

bool SendIdentificationQuery(TSerialApi& serial, TPortHandle port, std::uint8_t* buffer) {
    const bool first = SendByte(serial, port, buffer, kQueryFirst) == 1;
    const bool second = SendByte(serial, port, buffer, kQuerySecond) == 1;
    return first && second;
}

std::uint32_t AwaitIdentificationReply(TDeviceLink& link, TPortHandle port) {
    std::uint32_t previous = 0;
    for (int poll = 1;; ++poll) {
        WaitAndProcessMessages(link, kReplyPoll);
        const std::uint32_t count = WaitingByteCount(link.Serial, port);
        if (count == previous && previous > 0) {
            return count;
        }
        if (count == 0 || poll == kReplyPolls) {
            return 0;
        }
        previous = count;
    }
}

std::optional<std::string> FindAcceptedModel(const std::string& reply,
                                             const std::vector<std::string>& models) {
    // SplitDelimited ends a text at its first zero byte; the reply is bytes from a
    // serial line, where a zero is line noise or a binary answer, not an end.
    std::string text = reply;
    std::replace(text.begin(), text.end(), '\0', ' ');
    std::vector<std::string> items;
    SplitDelimited('\r', text, items);
    for (auto& item : items) {
        std::erase(item, '\n');
        const auto model = std::find(models.begin(), models.end(), item);
        if (model != models.end()) {
            return *model;
        }
    }
    return std::nullopt;
}

} // namespace zorvi
