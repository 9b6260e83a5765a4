#include "Sinks.h"

#include "Terminal.h"

#include <cstdio>

namespace zorvi::cli {

TStandardOutputSink::TStandardOutputSink() {
    SetStandardOutputBinary();
}

std::size_t TStandardOutputSink::TakeDecoded(const std::uint8_t* data, std::size_t count) {
    return std::fwrite(data, 1, count, stdout);
}

bool TStandardOutputSink::Finish() {
    return std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
}

} // namespace zorvi::cli
