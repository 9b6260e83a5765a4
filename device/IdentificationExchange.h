// The identification exchange on a port that is already open, as the connect
// dialog's probe makes it and as the recalibration makes it once more at its end to
// confirm that the instrument is still there: the query bytes "q" and "v", each
// flushed at once, polls of the input queue until the reply stops growing, and the
// search for an accepted model word among the reply's items.
#pragma once

#include "device/DeviceLink.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zorvi {

/// The longest identification reply taken in one read; the rest stays in the
/// driver's queue and goes with the port.
inline constexpr std::size_t kIoBufferSize = 4098;
/// The one accepted model, as the comma-separated list the models are read from.
inline constexpr const char* kAcceptedModels = "Zorvi-41K6UV";

/// Polls of the input queue, kReplyPoll apart: the reply must have begun at the
/// first and stopped growing by the last (about 1.2 s).
inline constexpr int kReplyPolls = 12;
inline constexpr std::chrono::milliseconds kReplyPoll{100};

/// Writes "q", then "v", each through the first byte of `buffer` and flushed at
/// once. True when both writes reported their byte written.
bool SendIdentificationQuery(TSerialApi& serial, TPortHandle port, std::uint8_t* buffer);

/// Waits for the reply to the query: polls every kReplyPoll, processing window
/// messages, until two polls in a row see the same non-zero count of waiting bytes,
/// and returns that count. 0 when nothing had come at the first poll (or the count
/// could not be read) or the count still changed at the last poll.
std::uint32_t AwaitIdentificationReply(TDeviceLink& link, TPortHandle port);

/// The first entry of `models` that equals an item of `reply` (split at CR, blanks
/// and control characters; line feeds removed from each item), compared item by item
/// in reply order. The whole reply is searched: a zero byte separates words like the
/// other control characters instead of ending the text, so a device's binary noise
/// before the model word cannot hide it. Nothing when no item is an accepted model.
/// Splitting may throw std::bad_alloc.
std::optional<std::string> FindAcceptedModel(const std::string& reply,
                                             const std::vector<std::string>& models);

} // namespace zorvi
