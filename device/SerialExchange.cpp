#include "device/SerialExchange.h"

namespace zorvi {

std::size_t SendByte(TSerialApi& serial, TPortHandle port, std::uint8_t* buffer,
                     std::uint8_t byte) {
    buffer[0] = byte;
    std::size_t written = 0;
    if (!serial.Write(port, buffer, 1, written)) {
        written = 0;
    }
    serial.Flush(port);
    return written;
}

std::uint32_t WaitingByteCount(TSerialApi& serial, TPortHandle port) {
    std::uint32_t count = 0;
    if (!serial.BytesWaiting(port, count)) {
        count = 0;
    }
    return count;
}

bool ReadExactly(TSerialApi& serial, TPortHandle port, std::uint8_t* data, std::size_t size) {
    std::size_t read = 0;
    return serial.Read(port, data, size, read) && read == size;
}

} // namespace zorvi
