// The connect dialog's logic: it waits, modally, until exactly one accepted
// instrument answers on a port of the bridge. Once a second it lists the bridge's
// ports and asks each one for its identification; it logs why it keeps waiting and
// pulses its message in red. The window itself is behind TConnectDialogWindow.
#pragma once

#include "device/ConnectDialogWindow.h"
#include "device/DeviceLink.h"
#include "device/IdentificationExchange.h"
#include "device/PortDiscovery.h"
#include "device/SerialPort.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zorvi {

/// How a probe of one port ended. The values are the small signed codes the
/// identification query is known by: 0 for the one outcome that counts as found.
enum class TProbeResult : int {
    Found = 0,          ///< accepted model with both markers; the port is the instrument's
    NoMarkers = -1,     ///< accepted model, but a version or date marker is missing
    NotOpened = -2,     ///< the port did not open or could not be configured
    NoReply = -3,       ///< silence at the first poll, or a reply still growing at the last
    ForeignDevice = -4, ///< no accepted model in the reply
};

/// What one probe found.
struct TProbeFinding {
    TProbeResult Result = TProbeResult::NoMarkers;
    /// Found only: the probe itself extracted DeviceVersion and DeviceDate. Without
    /// it the version is reported as unknown and the fields keep what they held.
    bool VersionRead = false;
};

class TConnectToDeviceForm final : public TConnectDialogEvents {
public:
    /// Runs FormCreate. The window is attached afterwards (it is created later and
    /// reports to this object); every handler but ProbePort needs it attached.
    TConnectToDeviceForm(TDeviceLink link, TSerialPortRegistry& registry);
    void AttachWindow(TConnectDialogWindow& window) { window_ = &window; }

    /// Shows the dialog modally; true when it closed because exactly one accepted
    /// instrument answered (DevicePort, DeviceVersion, DeviceDate then describe it).
    bool WaitForDevice();

    /// Asks one port for the instrument's identification, logging each step. Reply
    /// becomes what this port sent (nothing of an earlier probe); DeviceVersion and
    /// DeviceDate are set as far as the reply gives them.
    TProbeFinding ProbePort(const std::string& port);
    /// Extracts DeviceVersion and DeviceDate from Reply, consuming it.
    bool ParseVersionInfo();

    // Event handlers of the window.
    void FormCreate();
    void FormShow() override;
    void FormClose() override;
    void StartButtonClick() override;
    void CheckTimerTimer() override;

    // State, in the order the dialog declares it.
    std::uint8_t PulseLevel = 0;       ///< red of the message text
    std::int32_t PulseStep = 60;       ///< +60 or -60 per tick
    std::vector<std::string> PortList; ///< the bridge's ports at the current tick
    std::string Reply;                 ///< raw reply bytes (code page 1251) of the last probe
    std::array<std::uint8_t, kIoBufferSize> IoBuffer{};
    std::optional<std::vector<std::string>> ModelList; ///< accepted models, while a wait lasts
    std::string DeviceVersion;                         ///< last extracted version (UTF-8)
    std::string DeviceDate;                            ///< last extracted date (UTF-8)
    /// Whether the probe that found DevicePort extracted the version itself; false
    /// from the start of each wait. DeviceVersion is never emptied, so without this
    /// it cannot tell a version of this wait from one an earlier wait left.
    bool DeviceVersionRead = false;
    TPortHandle PortHandle = kInvalidPortHandle;
    TMyComPortParams PortParams;
    std::string DevicePort; ///< port of the one instrument found

private:
    void ClosePortIfOpen();

    TDeviceLink link_;
    TSerialPortRegistry& registry_;
    TConnectDialogWindow* window_ = nullptr;
};

} // namespace zorvi
