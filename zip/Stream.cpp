#include "zip/Stream.h"

#include "zip/ZipErrors.h"

#include <algorithm>
#include <cstring>

namespace zorvi {

std::int64_t TStream::Size() {
    const std::int64_t here = Seek(0, kFromCurrent);
    const std::int64_t end = Seek(0, kFromEnd);
    Seek(here, kFromBeginning);
    return end;
}

std::size_t TMemoryStream::Read(void* buffer, std::size_t count) {
    const std::size_t available = position_ < bytes_.size() ? bytes_.size() - position_ : 0;
    const std::size_t n = std::min(count, available);
    if (n > 0) {
        std::memcpy(buffer, bytes_.data() + position_, n);
    }
    position_ += n;
    return n;
}

std::size_t TMemoryStream::Write(const void* buffer, std::size_t count) {
    if (position_ + count > bytes_.size()) {
        bytes_.resize(position_ + count);
    }
    if (count > 0) {
        std::memcpy(bytes_.data() + position_, buffer, count);
    }
    position_ += count;
    return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, int origin) {
    std::int64_t base = 0;
    switch (origin) {
    case kFromBeginning:
        break;
    case kFromCurrent:
        base = static_cast<std::int64_t>(position_);
        break;
    case kFromEnd:
        base = static_cast<std::int64_t>(bytes_.size());
        break;
    default:
        RaiseInvalidSeekOrigin(origin);
    }
    position_ = static_cast<std::size_t>(std::max<std::int64_t>(0, base + offset));
    return static_cast<std::int64_t>(position_);
}

void WriteU8(TStream& stream, std::uint8_t value) {
    stream.Write(&value, 1);
}

void WriteU16(TStream& stream, std::uint16_t value) {
    const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(value),
                                   static_cast<std::uint8_t>(value >> 8)};
    stream.Write(bytes, 2);
}

void WriteU32(TStream& stream, std::uint32_t value) {
    const std::uint8_t bytes[4] = {
        static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
        static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
    stream.Write(bytes, 4);
}

void WriteU64(TStream& stream, std::uint64_t value) {
    WriteU32(stream, static_cast<std::uint32_t>(value));
    WriteU32(stream, static_cast<std::uint32_t>(value >> 32));
}

void WriteShortText(TStream& stream, const std::string& text) {
    const std::size_t n = std::min<std::size_t>(text.size(), 255);
    WriteU8(stream, static_cast<std::uint8_t>(n));
    stream.Write(text.data(), n);
}

namespace {

void ReadOrFail(TStream& stream, void* buffer, std::size_t count) {
    if (!stream.ReadExact(buffer, count)) {
        RaiseStreamReadError();
    }
}

} // namespace

std::uint8_t ReadU8(TStream& stream) {
    std::uint8_t b = 0;
    ReadOrFail(stream, &b, 1);
    return b;
}

std::uint16_t ReadU16(TStream& stream) {
    std::uint8_t b[2];
    ReadOrFail(stream, b, 2);
    return GetU16(b);
}

std::uint32_t ReadU32(TStream& stream) {
    std::uint8_t b[4];
    ReadOrFail(stream, b, 4);
    return GetU32(b);
}

std::uint64_t ReadU64(TStream& stream) {
    std::uint8_t b[8];
    ReadOrFail(stream, b, 8);
    return GetU64(b);
}

std::string ReadShortText(TStream& stream) {
    const std::uint8_t n = ReadU8(stream);
    std::string text(n, '\0');
    ReadOrFail(stream, text.data(), n);
    return text;
}

} // namespace zorvi
