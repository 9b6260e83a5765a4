// In-process decoder benchmark. Every figure is MB/s of decoded output.
//
//  - Inflate/*: the same raw deflate streams through our InflateEntry (which also keeps the
//    CRC-32 and writes 32 KB blocks to a discarding output, as in a real extraction), zlib's
//    inflate (with and without a crc32 over its output) and libdeflate's whole-buffer
//    decompressor.
//  - Crc32/*: our UpdateCrc32 and zlib's crc32 over 1 MB, and each way of ours that this
//    processor has over the same 1 MB in 32 KB pieces.
//  - Legacy/*: every entry of a corpus archive of one legacy method, decoded from memory.
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <zlib.h>

#include <cstring>
#include <map>

#include "DecoderTestSupport.h"
#include "zip/decoders/Crc32.h"

namespace zorvi {
namespace {

using test::TBytes;

/// An output file that keeps nothing, as a fast disk would.
class TNullOutput : public TDecodedOutput {
public:
    std::size_t WriteDecoded(const std::uint8_t*, std::size_t count) override {
        position_ += static_cast<std::int64_t>(count);
        return count;
    }
    std::int64_t DecodedPosition() const override { return position_; }
    void Reset() { position_ = 0; }

private:
    std::int64_t position_ = 0;
};

class TSpanInput : public TCompressedInput {
public:
    explicit TSpanInput(const TBytes& data) : data_(data) {}
    std::size_t ReadCompressed(std::uint8_t* buffer, std::size_t count) override {
        const std::size_t n = std::min(count, data_.size() - pos_);
        std::memcpy(buffer, data_.data() + pos_, n);
        pos_ += n;
        return n;
    }

private:
    const TBytes& data_;
    std::size_t pos_ = 0;
};

/// A raw deflate stream and what it decodes to.
struct TStream {
    TBytes Plain;
    TBytes Deflated;
};

/// The streams: the 5 MB log of the corpus as its archive has it (level 6 by another
/// tool), and 8 MB of mixed text and binary deflated by zlib at levels 1 and 9.
const std::map<std::string, TStream>& Streams() {
    static const std::map<std::string, TStream> streams = [] {
        std::map<std::string, TStream> s;
        if (const auto log = test::ReadRawEntries(test::CorpusFile("iz-big-log5m.zip"))) {
            TStream t;
            t.Deflated = log->front().Data;
            t.Plain = *test::ZlibInflate(t.Deflated, 64 << 20);
            s["log5m"] = t;
        }
        const TBytes mixed = test::MixedData(8 << 20, 99);
        s["mixed8m-level1"] = {mixed, test::ZlibDeflate(mixed, 1)};
        s["mixed8m-level9"] = {mixed, test::ZlibDeflate(mixed, 9)};
        return s;
    }();
    return streams;
}

void InflateOurs(benchmark::State& state, const std::string& name) {
    const TStream& s = Streams().at(name);
    TEntryDecoder decoder;
    TNullOutput output;
    std::uint32_t crc = 0;
    for (auto _ : state) {
        TSpanInput input(s.Deflated);
        output.Reset();
        TEntryDecodeParams p;
        p.Input = &input;
        p.Output = &output;
        p.CompressedSize = static_cast<std::int64_t>(s.Deflated.size());
        p.UncompressedSize = static_cast<std::int64_t>(s.Plain.size());
        decoder.StartEntry(p);
        decoder.InflateEntry();
        crc = decoder.FinalCrc();
    }
    if (crc != test::Crc32Of(s.Plain) ||
        output.DecodedPosition() != static_cast<std::int64_t>(s.Plain.size())) {
        state.SkipWithError("wrong output");
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(s.Plain.size()));
}

void InflateZlib(benchmark::State& state, const std::string& name, bool withCrc) {
    const TStream& s = Streams().at(name);
    TBytes out(s.Plain.size());
    for (auto _ : state) {
        z_stream z{};
        inflateInit2(&z, -15);
        z.next_in = const_cast<Bytef*>(s.Deflated.data());
        z.avail_in = static_cast<uInt>(s.Deflated.size());
        // Output in 32 KB pieces, as a streaming extractor writes it.
        uLong crc = 0;
        int rc = Z_OK;
        std::size_t done = 0;
        while (rc == Z_OK) {
            z.next_out = out.data() + done;
            z.avail_out = static_cast<uInt>(std::min<std::size_t>(32768, out.size() - done));
            rc = ::inflate(&z, Z_NO_FLUSH);
            const std::size_t n = z.total_out - done;
            if (withCrc) {
                crc = crc32(crc, out.data() + done, static_cast<uInt>(n));
            }
            done = z.total_out;
            if (done == out.size() && rc == Z_OK && z.avail_in == 0) {
                break;
            }
        }
        inflateEnd(&z);
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(s.Plain.size()));
}

void InflateLibdeflate(benchmark::State& state, const std::string& name) {
    const TStream& s = Streams().at(name);
    TBytes out(s.Plain.size());
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    for (auto _ : state) {
        std::size_t actual = 0;
        libdeflate_deflate_decompress(d, s.Deflated.data(), s.Deflated.size(), out.data(),
                                      out.size(), &actual);
        benchmark::DoNotOptimize(actual);
    }
    libdeflate_free_decompressor(d);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(s.Plain.size()));
}

void Crc32Ours(benchmark::State& state) {
    const TBytes data = test::MixedData(1 << 20, 5);
    for (auto _ : state) {
        benchmark::DoNotOptimize(UpdateCrc32(0xFFFFFFFFu, data.data(), data.size()));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(data.size()));
}

/// One way of our CRC-32, over 1 MiB in the 32 KB pieces the writer hands it.
void Crc32Method(benchmark::State& state, TCrcMethod method) {
    if (!CrcMethodAvailable(method)) {
        state.SkipWithError("not on this processor");
        return;
    }
    const TBytes data = test::MixedData(1 << 20, 5);
    for (auto _ : state) {
        std::uint32_t reg = 0xFFFFFFFFu;
        for (std::size_t at = 0; at < data.size(); at += 32768) {
            reg = UpdateCrc32With(method, reg, data.data() + at, 32768);
        }
        benchmark::DoNotOptimize(reg);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(data.size()));
}

void Crc32Zlib(benchmark::State& state) {
    const TBytes data = test::MixedData(1 << 20, 5);
    for (auto _ : state) {
        benchmark::DoNotOptimize(crc32(0, data.data(), static_cast<uInt>(data.size())));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(data.size()));
}

/// Decodes every entry of one legacy archive of the corpus.
void Legacy(benchmark::State& state, const std::string& archive) {
    const auto entries = test::ReadRawEntries(test::CorpusFile(archive));
    if (!entries) {
        state.SkipWithError("no corpus");
        return;
    }
    TEntryDecoder decoder;
    TNullOutput output;
    std::int64_t bytes = 0;
    for (auto _ : state) {
        for (const auto& e : *entries) {
            TSpanInput input(e.Data);
            output.Reset();
            TEntryDecodeParams p;
            p.Input = &input;
            p.Output = &output;
            p.CompressedSize = e.CompressedSize;
            p.UncompressedSize = e.UncompressedSize;
            p.BitFlags = e.BitFlags;
            decoder.StartEntry(p);
            if (!decoder.DecodeEntry(e.Method)) {
                state.SkipWithError("no decoder");
                return;
            }
            if (decoder.FinalCrc() != e.Crc) {
                state.SkipWithError("wrong output");
                return;
            }
            bytes += e.UncompressedSize;
        }
    }
    state.SetBytesProcessed(bytes);
}

void Register() {
    for (const auto& [name, stream] : Streams()) {
        benchmark::RegisterBenchmark(("Inflate/ours/" + name).c_str(), InflateOurs, name);
        benchmark::RegisterBenchmark(("Inflate/zlib/" + name).c_str(), InflateZlib, name, false);
        benchmark::RegisterBenchmark(("Inflate/zlib+crc32/" + name).c_str(), InflateZlib, name,
                                     true);
        benchmark::RegisterBenchmark(("Inflate/libdeflate/" + name).c_str(), InflateLibdeflate,
                                     name);
    }
    benchmark::RegisterBenchmark("Crc32/ours", Crc32Ours);
    benchmark::RegisterBenchmark("Crc32/zlib", Crc32Zlib);
    benchmark::RegisterBenchmark("Crc32/ours-sliced", Crc32Method, TCrcMethod::Sliced);
    benchmark::RegisterBenchmark("Crc32/ours-clmul128", Crc32Method, TCrcMethod::Clmul);
    benchmark::RegisterBenchmark("Crc32/ours-clmul256", Crc32Method, TCrcMethod::WideClmul);
    benchmark::RegisterBenchmark("Crc32/ours-clmul512", Crc32Method, TCrcMethod::Clmul512);
    for (const char* archive :
         {"hw-shrink.zip", "za-shrink.zip", "hw-reduce1.zip", "hw-reduce4.zip", "za-reduce2.zip",
          "hw-implode-4-0.zip", "hw-implode-4-1.zip", "hw-implode-8-0.zip", "hw-implode-8-1.zip"}) {
        benchmark::RegisterBenchmark((std::string("Legacy/") + archive).c_str(), Legacy,
                                     std::string(archive));
    }
}

} // namespace
} // namespace zorvi

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    zorvi::Register();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
