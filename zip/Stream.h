// The stream abstraction every byte of the component passes through: the archive
// file, the extracted files, and the in-memory streams of the object-list storage.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zorvi {

/// Seek origins, with the values the streams of the component have always used.
enum TSeekOrigin : int { kFromBeginning = 0, kFromCurrent = 1, kFromEnd = 2 };

class TStream {
public:
    virtual ~TStream() = default;
    /// Reads up to count bytes; fewer only at the end of the data.
    virtual std::size_t Read(void* buffer, std::size_t count) = 0;
    /// Writes up to count bytes; fewer when the medium refuses the rest.
    virtual std::size_t Write(const void* buffer, std::size_t count) = 0;
    /// Moves the position (origin: TSeekOrigin) and returns the new position.
    virtual std::int64_t Seek(std::int64_t offset, int origin) = 0;

    std::int64_t Position() { return Seek(0, kFromCurrent); }
    /// Seeks to the end and back: a buffered stream empties its buffer on the way.
    std::int64_t Size();

    /// Reads exactly count bytes or returns false (the position then is undefined).
    bool ReadExact(void* buffer, std::size_t count) { return Read(buffer, count) == count; }
};

/// A growable stream in memory.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, int origin) override;

    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
    std::size_t position_ = 0;
};

// Little-endian fields and short texts, as the list storage and the ZIP records use them.
void WriteU8(TStream& stream, std::uint8_t value);
void WriteU16(TStream& stream, std::uint16_t value);
void WriteU32(TStream& stream, std::uint32_t value);
void WriteU64(TStream& stream, std::uint64_t value);
/// A text of at most 255 bytes behind its length byte.
void WriteShortText(TStream& stream, const std::string& text);
std::uint8_t ReadU8(TStream& stream);
std::uint16_t ReadU16(TStream& stream);
std::uint32_t ReadU32(TStream& stream);
std::uint64_t ReadU64(TStream& stream);
std::string ReadShortText(TStream& stream);

/// Little-endian fields inside a record already in memory.
inline std::uint16_t GetU16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t GetU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t GetU64(const std::uint8_t* p) {
    return GetU32(p) | (static_cast<std::uint64_t>(GetU32(p + 4)) << 32);
}

} // namespace zorvi
