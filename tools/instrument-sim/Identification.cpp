#include "Identification.h"

#include "common/CodePage.h"

namespace zorvi::sim {
namespace {

constexpr std::uint8_t kQueryFirst = 'q';
constexpr std::uint8_t kQuerySecond = 'v';

} // namespace

std::string IdentificationReply(const TInstrumentOptions& o) {
    if (o.Binary) {
        // Two frames of a device with a binary protocol: start byte 0x02, a length,
        // payload bytes (zeros and bytes above 0x7F among them), end byte 0x03.
        using namespace std::string_literals;
        return "\x02\x06\x00\xC1\xFF\x00\x7F\x80\x03"
               "\x02\x04\x10\x00\x22\x0D\x03"s;
    }
    std::string text;
    if (o.Foreign) {
        text = "Измеритель ПИ-7 (Pyro-Meter 7)\r\nFirmware 3.2 build 17\r\n";
    } else {
        text = "Прибор ЗОРВИ\r\n" + o.Model + "\r\n";
        if (o.MissingMarker != "version") {
            text += (o.UnreadableVersion ? "Software version:" : "Software version: ") + o.Version +
                    "\r\n";
        }
        if (o.MissingMarker != "date") {
            text += "Date: " + o.Date + "\r\n";
        }
        text += "Готов к работе\r\n";
    }
    std::string bytes = FromUtf8(text, TCodePage::Windows1251);
    // Filler lines after the identification, up to the flood size.
    static constexpr std::string_view kFiller = "diagnostic dump 0123456789ABCDEF\r\n";
    while (bytes.size() < o.Flood) {
        bytes += kFiller.substr(0, std::min(kFiller.size(), o.Flood - bytes.size()));
    }
    return bytes;
}

void TIdentificationRole::OnByte(std::uint8_t byte, TSimContext& context) {
    const bool query = Previous == kQueryFirst && byte == kQuerySecond;
    Previous = byte;
    if (!query || context.Options.Silent) {
        return;
    }
    const std::string reply = IdentificationReply(context.Options);
    const auto& o = context.Options;
    if (o.Dribble.count() > 0) {
        for (std::size_t i = 0; i < reply.size(); ++i) {
            context.SendAfter(o.ReplyDelay + o.Dribble * static_cast<int>(i), reply.substr(i, 1));
        }
    } else {
        context.SendAfter(o.ReplyDelay, reply);
    }
    context.Log.Line("identification sent, " + std::to_string(reply.size()) + " bytes" +
                     (o.Dribble.count() > 0 ? ", dribbled" : ""));
}

} // namespace zorvi::sim
