#include "LinkFakes.h"

#include <algorithm>
#include <cstring>

namespace zorvi {

bool TBootLoaderLink::Write(std::string_view bytes) {
    std::string onTheWire(bytes);
    if (tamper) {
        tamper(onTheWire);
    }
    sent += onTheWire;
    answer_ += chip_.Receive(onTheWire);
    return true;
}

bool TBootLoaderLink::Read(std::string& bytes, std::chrono::milliseconds) {
    if (answer_.empty()) {
        ++emptyReads;
        return true;
    }
    const std::size_t count =
        bytesPerRead == 0 ? answer_.size() : std::min(bytesPerRead, answer_.size());
    bytes.append(answer_, 0, count);
    answer_.erase(0, count);
    return true;
}

FmLink TBootLoaderLink::AsFmLink() {
    FmLink link{};
    link.context = this;
    link.write = [](void* context, const char* bytes, std::uint32_t count) -> std::int32_t {
        return static_cast<TBootLoaderLink*>(context)->Write(std::string_view(bytes, count)) ? 1
                                                                                             : 0;
    };
    link.read = [](void* context, char* buffer, std::uint32_t capacity,
                   std::uint32_t timeoutMs) -> std::int32_t {
        auto* self = static_cast<TBootLoaderLink*>(context);
        const std::size_t saved = self->bytesPerRead;
        self->bytesPerRead = saved == 0 ? capacity : std::min<std::size_t>(saved, capacity);
        std::string bytes;
        self->Read(bytes, std::chrono::milliseconds(timeoutMs));
        self->bytesPerRead = saved;
        std::memcpy(buffer, bytes.data(), bytes.size());
        return static_cast<std::int32_t>(bytes.size());
    };
    link.discardInput = [](void* context) {
        static_cast<TBootLoaderLink*>(context)->DiscardInput();
    };
    link.progress = [](void* context, const char* text) {
        static_cast<TBootLoaderLink*>(context)->progress.emplace_back(text);
    };
    return link;
}

} // namespace zorvi
