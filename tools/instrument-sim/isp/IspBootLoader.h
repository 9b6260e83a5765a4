// The boot loader of the simulated instrument's LPC2138 in "programming mode":
// the chip's side of the serial in-system-programming protocol as a pure engine.
// Bytes from the host go in, the bytes the chip would send come out; the flash
// memory (all 512 KB, the boot block at its top included) lives here and keeps
// what was written across sessions.
//
// State, in the order a session passes through it:
//   AwaitingSync      autobaud: every byte but '?' is ignored; '?' is answered
//                     with "Synchronized"
//   AwaitingSyncWord  the host must send "Synchronized"; anything else starts over
//   AwaitingCrystal   the crystal frequency in kHz, answered "OK"
//   Commands          one command per line, answered by a return code; the chip
//                     echoes every byte it receives until "A 0"
//   RamData           after "W": UU lines and a checksum after every 20 lines and
//                     after the last, each checksum answered OK or RESEND
//   Running           after "G": the user program runs, the boot loader is gone
// Flash rules as on the chip: erase and copy need "U 23130" first and a "P" of
// their sectors, which each erase or copy consumes; programming can only clear
// bits, so copying onto flash that was not erased leaves the AND of old and new.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zorvi {

class TIspBootLoader {
public:
    enum class TState {
        AwaitingSync,
        AwaitingSyncWord,
        AwaitingCrystal,
        Commands,
        RamData,
        Running
    };

    /// A chip whose flash is erased (all 0xFF).
    TIspBootLoader();

    /// Takes bytes from the host and returns the bytes the chip sends back.
    std::string Receive(std::string_view bytes);

    /// A reset with the boot pin held: back to autobaud, RAM and flags cleared,
    /// the flash kept.
    void Reset();

    TState State() const { return state_; }
    bool Echo() const { return echo_; }

    /// The whole 512 KB flash, address 0 first.
    const std::vector<std::uint8_t>& Flash() const { return flash_; }
    std::vector<std::uint8_t>& Flash() { return flash_; }

    /// True when the user code is valid: the 32-bit words of the eight exception
    /// vectors at 0x00..0x1C add up to 0 (the word at 0x14 is set so that they do).
    /// Only then does the chip run the user program after a reset.
    bool HasValidUserCode() const;

private:
    void ProcessByte(char byte, std::string& out);
    void ProcessLine(std::string_view line, std::string& out);
    void ProcessCommand(std::string_view line, std::string& out);
    void ProcessDataLine(std::string_view line, std::string& out);

    int Unlock(const std::vector<std::uint32_t>& a);
    int SetEcho(const std::vector<std::uint32_t>& a);
    int WriteToRam(const std::vector<std::uint32_t>& a);
    int Prepare(const std::vector<std::uint32_t>& a);
    int Erase(const std::vector<std::uint32_t>& a);
    int Copy(const std::vector<std::uint32_t>& a);
    int CompareMemory(const std::vector<std::uint32_t>& a, std::string& out);
    int Go(const std::vector<std::uint32_t>& a, std::string_view mode);

    std::uint8_t* Memory(std::uint32_t address, std::uint32_t count);

    TState state_ = TState::AwaitingSync;
    bool echo_ = true;
    bool unlocked_ = false;
    std::vector<bool> prepared_;
    std::vector<std::uint8_t> flash_;
    std::vector<std::uint8_t> ram_;
    std::string line_; // bytes of the line being received

    // "Write to RAM" in progress: where the current block goes, the bytes still
    // expected after it, and the block (up to 20 lines) received so far.
    std::uint32_t writeAddress_ = 0;
    std::uint32_t writeRemaining_ = 0;
    std::vector<std::uint8_t> block_;
    std::size_t blockLines_ = 0;
    bool blockDamaged_ = false;
};

} // namespace zorvi
