// The job file that tells the flashing tool what to do, six lines in a fixed
// order, each a keyword with its arguments in parentheses:
//   COM(<port number>,<baud>)
//   DEVICE(LPC2138,<crystal in MHz>)
//   HARDWARE(BOOTEXEC|NONE,<reset pulse ms>,<boot delay ms>)
//   HIGHSPEED(<0|1>,<baud>)
//   ERASEUSED(<hex file>,PROTECTISP)
//   HEXFILE(<hex file>,NOCHECKSUMS,NOFILL,PROTECTISP)
// The text is 8-bit (code page 1251), lines end in CR LF (LF alone is taken too),
// and blanks around the arguments are tolerated (the archive's sample has them).
//
// Every line is checked, but the tool acts on the port, the baud rate, the crystal
// and the file name only: the instrument is put into programming mode by the
// operator's hand, so the reset wiring of HARDWARE is not driven, and HIGHSPEED
// asks for no speed change (0) in the jobs the update writes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zorvi {

struct TFlashJob {
    int comPort = 0;
    std::uint32_t baudRate = 0;
    std::string device;
    std::uint32_t crystalKHz = 0;          // what the boot loader is told after synchronising
    bool resetThroughControlLines = false; // BOOTEXEC (rather than NONE)
    std::uint32_t resetPulseMs = 0;
    std::uint32_t bootDelayMs = 0;
    bool highSpeed = false;
    std::uint32_t highSpeedBaud = 0;
    std::string hexFile; // 8-bit name as written in the job file
};

/// Parses and checks the six lines. On failure the message names the line.
bool ParseJobFile(std::string_view text, TFlashJob& job, std::string& error);

} // namespace zorvi
