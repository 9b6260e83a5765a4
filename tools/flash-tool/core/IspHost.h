// The host's side of the LPC2000 boot loader protocol: one method per command,
// each sending the command line, taking the echo while the boot loader still
// echoes, and checking the return code. A failing step leaves its reason in
// LastError() and returns false; the caller stops there.
#pragma once

#include "tools/flash-tool/core/IspLink.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

namespace zorvi {

struct TIspTimeouts {
    /// "?" is sent this many times before the boot loader counts as silent.
    int syncAttempts = 5;
    /// How long each "?" waits for "Synchronized".
    std::chrono::milliseconds syncWait{400};
    /// Silence after which an expected reply counts as missing.
    std::chrono::milliseconds reply{2000};
    /// Erasing 32 KB sectors takes the chip some 400 ms each.
    std::chrono::milliseconds erase{15000};
    /// A block of data lines answered with RESEND is sent again at most so often.
    int resendLimit = 3;
};

class TIspHost {
public:
    explicit TIspHost(TIspLink& link, TIspTimeouts timeouts = {});

    /// Autobaud with "?", the "Synchronized" handshake and the crystal frequency.
    /// The boot loader echoes everything from here until SetEcho(false).
    bool Synchronise(std::uint32_t crystalKHz);
    bool SetEcho(bool on);
    bool ReadPartId(std::uint32_t& partId);
    bool Unlock();
    bool Prepare(int firstSector, int lastSector);
    bool Erase(int firstSector, int lastSector);
    /// "W": the data (a multiple of 4 bytes) as UU lines, with the checksum after
    /// every 20 lines and after the last; a block answered RESEND is sent again.
    bool WriteToRam(std::uint32_t address, std::span<const std::uint8_t> data);
    bool CopyRamToFlash(std::uint32_t flashAddress, std::uint32_t ramAddress, std::uint32_t count);
    bool Compare(std::uint32_t address1, std::uint32_t address2, std::uint32_t count);
    /// "G <address> A": run the code at the address in ARM mode.
    bool Go(std::uint32_t address);

    const std::string& LastError() const { return lastError_; }
    /// The return code of the last command answered, or nothing.
    std::optional<int> LastReturnCode() const { return lastCode_; }
    /// Data blocks sent again after a RESEND, over the whole session.
    int Resends() const { return resends_; }

private:
    bool SendLine(std::string_view line);
    std::optional<std::string> ReadLine(std::chrono::milliseconds timeout);
    bool ExpectLine(std::string_view expected, std::chrono::milliseconds timeout);
    bool TakeEcho(std::string_view sent);
    /// Sends a command and reads its return code; true for CMD_SUCCESS.
    bool RunCommand(const std::string& line, std::chrono::milliseconds timeout);
    bool SendDataBlock(std::span<const std::uint8_t> block);
    bool Fail(std::string message);

    TIspLink& link_;
    TIspTimeouts timeouts_;
    std::string received_; // bytes read but not yet taken as a line
    bool echo_ = true;
    std::string lastError_;
    std::optional<int> lastCode_;
    int resends_ = 0;
};

struct TFlashImage;

/// The whole job: synchronise, echo off, check the part, unlock, prepare and erase
/// the used sectors, write every block through RAM with a compare after each copy,
/// then start the program. Each step is reported through `progress` before it runs.
bool ProgramFlash(TIspLink& link, const TFlashImage& image, std::uint32_t crystalKHz,
                  const std::function<void(const std::string&)>& progress, std::string& error,
                  TIspTimeouts timeouts = {});

} // namespace zorvi
