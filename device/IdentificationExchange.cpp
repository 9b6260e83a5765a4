#include "device/IdentificationExchange.h"

#include "device/SplitDelimited.h"

#include <algorithm>

namespace zorvi {
namespace {

// Query bytes, sent one at a time, each flushed at once.
constexpr std::uint8_t kQueryFirst = 0x71;  // 'q'
constexpr std::uint8_t kQuerySecond = 0x76; // 'v'

bool SendQueryByte(TSerialApi& serial, TPortHandle port, std::uint8_t* buffer, std::uint8_t byte) {
    buffer[0] = byte;
    std::size_t written = 0;
    const bool wrote = serial.Write(port, buffer, 1, written) && written == 1;
    serial.Flush(port);
    return wrote;
}

} // namespace

bool SendIdentificationQuery(TSerialApi& serial, TPortHandle port, std::uint8_t* buffer) {
    const bool first = SendQueryByte(serial, port, buffer, kQueryFirst);
    const bool second = SendQueryByte(serial, port, buffer, kQuerySecond);
    return first && second;
}

std::uint32_t AwaitIdentificationReply(TDeviceLink& link, TPortHandle port) {
    std::uint32_t previous = 0;
    for (int poll = 1;; ++poll) {
        WaitAndProcessMessages(link, kReplyPoll);
        std::uint32_t count = 0;
        if (!link.Serial.BytesWaiting(port, count)) {
            count = 0;
        }
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
    std::vector<std::string> items;
    SplitDelimited('\r', reply, items);
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
