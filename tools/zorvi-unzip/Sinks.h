// Where -t and -p send the entries' data instead of files.
#pragma once

#include "zip/UnZip.h"

namespace zorvi::cli {

/// -t: every byte is taken and kept nowhere; the component still checks CRC-32 and size.
class TDiscardSink final : public TEntrySink {
public:
    std::size_t TakeDecoded(const std::uint8_t*, std::size_t count) override { return count; }
};

/// -p: the bytes go to standard output as they are decoded, unchanged (in binary mode on
/// Windows, where text mode would turn each line feed into CR LF).
class TStandardOutputSink final : public TEntrySink {
public:
    TStandardOutputSink();
    std::size_t TakeDecoded(const std::uint8_t* data, std::size_t count) override;
    /// Hands what is buffered to the system; false when standard output refused some of it.
    bool Finish();
};

} // namespace zorvi::cli
