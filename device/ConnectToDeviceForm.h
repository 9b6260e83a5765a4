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

// ProbePort results.
inline constexpr int kProbeFound = 0;          ///< accepted model with both markers
inline constexpr int kProbeNoMarkers = -1;     ///< accepted model, a marker missing
inline constexpr int kProbeNotOpened = -2;     ///< port did not open or configure
inline constexpr int kProbeNoReply = -3;       ///< silence, or a reply still growing
inline constexpr int kProbeForeignDevice = -4; ///< no accepted model in the reply

class TConnectToDeviceForm final : public TConnectDialogEvents {
public:
    /// Runs FormCreate. The window is attached afterwards (it is created later and
    /// reports to this object); every handler but ProbePort needs it attached.
    TConnectToDeviceForm(TDeviceLink link, TSerialPortRegistry& registry);
    void AttachWindow(TConnectDialogWindow& window) { Window = &window; }

    /// Shows the dialog modally; true when it closed because exactly one accepted
    /// instrument answered (DevicePort, DeviceVersion, DeviceDate then describe it).
    bool WaitForDevice();

    /// Asks one port for the instrument's identification; one of the kProbe codes.
    int ProbePort(const std::string& port);
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
    std::string Reply;                 ///< raw reply bytes (code page 1251) of this wait
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

    TDeviceLink Link;
    TSerialPortRegistry& Registry;
    TConnectDialogWindow* Window = nullptr;
};

} // namespace zorvi
