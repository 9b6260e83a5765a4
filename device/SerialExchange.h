// The steps of an exchange with the instrument on a port that is already open, as
// the identification probe and the recalibration make them: a byte sent on its own
// and pushed out at once, the count of bytes waiting, and a read that must bring
// every byte it asked for.
#pragma once

#include "device/SerialPort.h"

#include <cstddef>
#include <cstdint>

namespace zorvi {

/// Puts `byte` into the first byte of `buffer`, writes that one byte and flushes
/// the port, so the byte leaves the computer without waiting for more data. The
/// flush is made also after a failed write. Returns the count the platform reports
/// written: 1, or 0 when the write failed.
std::size_t SendByte(TSerialApi& serial, TPortHandle port, std::uint8_t* buffer, std::uint8_t byte);

/// The count of bytes waiting in the port's input queue; 0 when it cannot be read.
std::uint32_t WaitingByteCount(TSerialApi& serial, TPortHandle port);

/// Reads `size` bytes into `data`; true when the read worked and brought all of them.
bool ReadExactly(TSerialApi& serial, TPortHandle port, std::uint8_t* data, std::size_t size);

} // namespace zorvi
