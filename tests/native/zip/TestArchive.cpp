#include "TestArchive.h"

#include "zip/decoders/Crc32.h"

#ifdef ZORVI_TEST_ZLIB
#include <zlib.h>
#endif

#include <algorithm>
#include <fstream>
#include <random>
#include <stdexcept>

namespace zorvi::test {
namespace {

void Append16(std::string& b, std::uint16_t v) {
    b += static_cast<char>(v & 0xFF);
    b += static_cast<char>(v >> 8);
}

void Append32(std::string& b, std::uint32_t v) {
    Append16(b, static_cast<std::uint16_t>(v & 0xFFFF));
    Append16(b, static_cast<std::uint16_t>(v >> 16));
}

void Append64(std::string& b, std::uint64_t v) {
    Append32(b, static_cast<std::uint32_t>(v));
    Append32(b, static_cast<std::uint32_t>(v >> 32));
}

/// The central header's ZIP64 field for the slots written full, values in the fixed order.
std::string Zip64Field(unsigned slots, std::uint64_t size, std::uint64_t compressed,
                       std::uint64_t offset, std::uint32_t disk) {
    std::string data;
    if (slots & kSlotSize) {
        Append64(data, size);
    }
    if (slots & kSlotCompressedSize) {
        Append64(data, compressed);
    }
    if (slots & kSlotOffset) {
        Append64(data, offset);
    }
    if (slots & kSlotDisk) {
        Append32(data, disk);
    }
    std::string field;
    if (slots != 0) {
        Append16(field, 0x0001);
        Append16(field, static_cast<std::uint16_t>(data.size()));
        field += data;
    }
    return field;
}

void AppendZip64End(TBuiltArchive& archive, std::uint64_t entries, std::uint64_t centralSize) {
    std::string& b = archive.Bytes;
    archive.Zip64EndOffset = static_cast<std::uint32_t>(b.size());
    Append32(b, 0x06064B50);
    Append64(b, 44); // the record's size after this field
    Append16(b, 45);
    Append16(b, 45);
    Append32(b, 0); // this volume
    Append32(b, 0); // the directory's first volume
    Append64(b, entries);
    Append64(b, entries);
    Append64(b, centralSize);
    Append64(b, archive.CentralOffset);
    archive.LocatorOffset = static_cast<std::uint32_t>(b.size());
    Append32(b, 0x07064B50);
    Append32(b, 0);
    Append64(b, archive.Zip64EndOffset);
    Append32(b, 1);
}

// The traditional cipher's encrypting side, which the component does not have.
struct TEncryptor {
    std::uint32_t k0 = 0x12345678, k1 = 0x23456789, k2 = 0x34567890;
    void Update(std::uint8_t p) {
        k0 = CrcStep(k0, p);
        k1 = (k1 + (k0 & 0xFF)) * 134775813u + 1;
        k2 = CrcStep(k2, static_cast<std::uint8_t>(k1 >> 24));
    }
    std::uint8_t Stream() const {
        const std::uint32_t t = (k2 & 0xFFFF) | 2;
        return static_cast<std::uint8_t>((t * (t ^ 1)) >> 8);
    }
    std::string Encrypt(const std::string& plain) {
        std::string out = plain;
        for (char& c : out) {
            const auto p = static_cast<std::uint8_t>(c);
            c = static_cast<char>(p ^ Stream());
            Update(p);
        }
        return out;
    }
};

} // namespace

std::uint32_t Crc32Of(const std::string& data) {
    return ~UpdateCrc32(0xFFFFFFFFu, reinterpret_cast<const std::uint8_t*>(data.data()),
                        data.size());
}

#ifdef ZORVI_TEST_ZLIB
std::string Deflate(const std::string& data) {
    z_stream z{};
    if (deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::runtime_error("deflateInit2");
    }
    std::string out(deflateBound(&z, data.size()) + 16, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}
#else
// Without zlib (the cross build): a valid deflate stream of stored blocks.
std::string Deflate(const std::string& data) {
    std::string out;
    std::size_t at = 0;
    do {
        const std::size_t n = std::min<std::size_t>(data.size() - at, 65535);
        const bool last = at + n == data.size();
        out += static_cast<char>(last ? 1 : 0); // BFINAL, BTYPE 00 (stored)
        Append16(out, static_cast<std::uint16_t>(n));
        Append16(out, static_cast<std::uint16_t>(~n));
        out += data.substr(at, n);
        at += n;
    } while (at < data.size());
    return out;
}
#endif

TBuiltArchive BuildArchive(const std::vector<TTestEntry>& entries, const std::string& comment,
                           bool zip64End) {
    TBuiltArchive archive;
    std::string& b = archive.Bytes;
    std::vector<std::string> payloads;
    std::vector<std::uint32_t> crcs;
    for (const TTestEntry& e : entries) {
        const std::uint32_t realCrc = Crc32Of(e.Data);
        const std::uint32_t crc = e.Crc.value_or(realCrc);
        std::string payload = e.Method == 8 ? Deflate(e.Data) : e.Data;
        std::uint16_t flags = e.Flags;
        if (e.Password) {
            flags |= 1;
            TEncryptor cipher;
            for (char c : *e.Password) {
                cipher.Update(static_cast<std::uint8_t>(c));
            }
            std::string header(11, '\x5A');
            header += static_cast<char>((flags & 8) ? ((e.DosDateTime >> 8) & 0xFF) : (crc >> 24));
            payload = cipher.Encrypt(header + payload);
        }
        const std::uint32_t size =
            e.UncompressedSize.value_or(static_cast<std::uint32_t>(e.Data.size()));
        payloads.push_back(payload);
        crcs.push_back(crc);
        if (e.OmitLocal) {
            archive.LocalOffsets.push_back(e.LocalOffset.value_or(0));
            continue;
        }
        archive.LocalOffsets.push_back(static_cast<std::uint32_t>(b.size()));
        Append32(b, 0x04034B50);
        Append16(b, 20);
        Append16(b, static_cast<std::uint16_t>(flags | (e.Streamed ? 8 : 0)));
        Append16(b, e.Method);
        Append32(b, e.DosDateTime);
        Append32(b, e.Streamed ? 0 : crc);
        Append32(b, e.Streamed ? 0 : static_cast<std::uint32_t>(payload.size()));
        Append32(b, e.Streamed ? 0 : size);
        Append16(b, static_cast<std::uint16_t>(e.Name.size()));
        Append16(b, static_cast<std::uint16_t>(e.LocalExtra.size()));
        b += e.Name;
        b += e.LocalExtra;
        b += payload;
        if (e.Streamed) {
            if (e.DescriptorSignature) {
                Append32(b, 0x08074B50);
            }
            Append32(b, crc);
            Append32(b, static_cast<std::uint32_t>(payload.size()));
            Append32(b, size);
        }
    }
    archive.CentralOffset = static_cast<std::uint32_t>(b.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const TTestEntry& e = entries[i];
        const std::uint32_t size =
            e.UncompressedSize.value_or(static_cast<std::uint32_t>(e.Data.size()));
        const auto compressed = static_cast<std::uint32_t>(payloads[i].size());
        const std::uint32_t offset = e.LocalOffset.value_or(archive.LocalOffsets[i]);
        const std::uint16_t disk = e.DiskNumber.value_or(0);
        const auto full = [&](unsigned slot, std::uint32_t value) {
            return (e.Zip64Slots & slot) != 0 ? 0xFFFFFFFFu : value;
        };
        const std::string extra =
            Zip64Field(e.Zip64Slots, size, compressed, offset, disk) + e.CentralExtra;
        Append32(b, 0x02014B50);
        Append16(b, e.VersionMadeBy);
        Append16(b, 20);
        Append16(b,
                 static_cast<std::uint16_t>(e.Flags | (e.Password ? 1 : 0) | (e.Streamed ? 8 : 0)));
        Append16(b, e.Method);
        Append32(b, e.DosDateTime);
        Append32(b, crcs[i]);
        Append32(b, full(kSlotCompressedSize, compressed));
        Append32(b, full(kSlotSize, size));
        Append16(b, static_cast<std::uint16_t>(e.Name.size()));
        Append16(b, static_cast<std::uint16_t>(extra.size()));
        Append16(b, static_cast<std::uint16_t>(e.Comment.size()));
        Append16(b, static_cast<std::uint16_t>(full(kSlotDisk, disk)));
        Append16(b, 0);
        Append32(b, e.ExternalAttributes);
        Append32(b, full(kSlotOffset, offset));
        b += e.Name;
        b += extra;
        b += e.Comment;
    }
    const auto centralSize = static_cast<std::uint32_t>(b.size() - archive.CentralOffset);
    if (zip64End) {
        AppendZip64End(archive, entries.size(), centralSize);
    }
    const auto count = static_cast<std::uint16_t>(zip64End ? 0xFFFF : entries.size());
    archive.EndOffset = static_cast<std::uint32_t>(b.size());
    Append32(b, 0x06054B50);
    Append16(b, 0);
    Append16(b, 0);
    Append16(b, count);
    Append16(b, count);
    Append32(b, zip64End ? 0xFFFFFFFF : centralSize);
    Append32(b, zip64End ? 0xFFFFFFFF : archive.CentralOffset);
    Append16(b, static_cast<std::uint16_t>(comment.size()));
    b += comment;
    return archive;
}

std::string ExtraField(std::uint16_t id, const std::string& data) {
    std::string field;
    Append16(field, id);
    Append16(field, static_cast<std::uint16_t>(data.size()));
    return field + data;
}

std::string UnicodeField(std::uint16_t id, const std::string& headerBytes, const std::string& utf8,
                         std::optional<std::uint32_t> crc) {
    std::string data(1, '\x01');
    Append32(data, crc.value_or(Crc32Of(headerBytes)));
    return ExtraField(id, data + utf8);
}

std::string TimestampField(std::uint8_t flags, const std::vector<std::int32_t>& times) {
    std::string data(1, static_cast<char>(flags));
    for (const std::int32_t t : times) {
        Append32(data, static_cast<std::uint32_t>(t));
    }
    return ExtraField(0x5455, data);
}

std::string NtfsField(const std::vector<std::pair<std::uint16_t, std::string>>& attributes) {
    std::string data(4, '\0');
    for (const auto& [tag, value] : attributes) {
        Append16(data, tag);
        Append16(data, static_cast<std::uint16_t>(value.size()));
        data += value;
    }
    return ExtraField(0x000A, data);
}

std::string NtfsTimes(std::uint64_t modified, std::uint64_t accessed, std::uint64_t created) {
    std::string data;
    for (const std::uint64_t t : {modified, accessed, created}) {
        Append32(data, static_cast<std::uint32_t>(t & 0xFFFFFFFF));
        Append32(data, static_cast<std::uint32_t>(t >> 32));
    }
    return data;
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void PutU16(std::string& bytes, std::size_t at, std::uint16_t value) {
    bytes[at] = static_cast<char>(value & 0xFF);
    bytes[at + 1] = static_cast<char>(value >> 8);
}

void PutU32(std::string& bytes, std::size_t at, std::uint32_t value) {
    PutU16(bytes, at, static_cast<std::uint16_t>(value & 0xFFFF));
    PutU16(bytes, at + 2, static_cast<std::uint16_t>(value >> 16));
}

void PutU64(std::string& bytes, std::size_t at, std::uint64_t value) {
    PutU32(bytes, at, static_cast<std::uint32_t>(value));
    PutU32(bytes, at + 4, static_cast<std::uint32_t>(value >> 32));
}

TTempDir::TTempDir() {
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() /
            ("zip-tests-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(path_);
}

TTempDir::~TTempDir() {
    std::error_code error;
    // Read-only files left by a test must not stop the clean-up.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, error);
         it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, error);
    }
    std::filesystem::remove_all(path_, error);
}

} // namespace zorvi::test
