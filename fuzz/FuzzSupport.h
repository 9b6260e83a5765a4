// What every fuzz target shares: the invariant check that ends the run with the invariant's
// name, the list of invariants whose faults are known and still open, a reader of the fuzz
// input, and the reference CRC-32 and cipher the targets compare the component with.
//
// A target is one source file defining LLVMFuzzerTestOneInput. It is linked two ways: with
// libFuzzer (the `fuzz` preset) and with ReplayMain.cpp (every other native preset), which
// feeds it the seed and regression files under tests/data/fuzz/<target>/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zorvi::fuzz {

using TBytes = std::vector<std::uint8_t>;

/// Checks one invariant. A violation prints "invariant <id> violated: <detail>" and aborts, so
/// that libFuzzer keeps the input and the replay fails; a violation of an invariant named in
/// the environment variable ZORVI_FUZZ_KNOWN_FAULTS (set by tools/fuzz.sh from
/// fuzz/known-faults.txt) only ends the current input instead, so that a fault already known
/// and being mended does not stop the search for new ones. The replay never sets the variable.
void Check(bool holds, std::string_view id, const std::function<std::string()>& detail);

/// True when the invariant `id` belongs to a fault listed as known in ZORVI_FUZZ_KNOWN_FAULTS.
bool IsKnownFault(std::string_view id);

/// Runs the body of a target for one input; an input ended by a known fault returns normally.
int RunInput(const std::function<void()>& body);

/// Reads the fuzz input front to back; reads past its end give zeros.
class TInputReader {
public:
    TInputReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    /// `count` little-endian bytes as an unsigned number (count at most 8).
    std::uint64_t Number(unsigned count);
    /// The next `count` bytes, or fewer at the end.
    std::span<const std::uint8_t> Take(std::size_t count);
    /// Everything not yet read.
    std::span<const std::uint8_t> Rest() { return Take(size_ - pos_); }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

/// CRC-32 by zlib, the control for the component's own.
std::uint32_t ReferenceCrc32(std::span<const std::uint8_t> data);

/// Raw deflate (no zlib header) of `data` by zlib at its default level.
TBytes ZlibDeflate(std::span<const std::uint8_t> data);

/// zlib's raw inflate of `stream`, given room for one byte more than `limit`.
struct TZlibOutcome {
    TBytes Output;
    bool Finished = false; // the stream's last block ended within the room
};
TZlibOutcome ZlibInflate(std::span<const std::uint8_t> stream, std::uint64_t limit);

/// The traditional cipher written out from the format's description, with zlib's CRC table,
/// as the control for TZipCipher: encrypts as well as decrypts.
class TReferenceCipher {
public:
    explicit TReferenceCipher(std::string_view password);
    std::uint8_t Decrypt(std::uint8_t cipherByte);
    std::uint8_t Encrypt(std::uint8_t plainByte);
    std::uint32_t Keys[3];

private:
    void Update(std::uint8_t plain);
    std::uint8_t KeyStream() const;
};

/// Hex text of a few bytes at `at` in `data`, for the detail of a violation.
std::string HexAround(std::span<const std::uint8_t> data, std::size_t at);

} // namespace zorvi::fuzz
