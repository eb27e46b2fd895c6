#pragma once
// Tessary's device list (dialog 131): scans once a second while open, lists every printer that
// answered, fills the address fields from the selected line and broadcasts the address-set packet
// for it. Modal, closed by its close box; created for one opening.

#include <chrono>
#include <span>

#include "netcfg/device_table.h"
#include "netcfg/udp_socket.h"
#include "platform/captions.h"
#include "platform/dialog_host.h"

namespace platform {
class MessageSink;
}

namespace netcfg {

class DiscoveryFeed;

inline constexpr int kDeviceListDialogId = 131;
inline constexpr const char* kDeviceListTitle = "Dialog";
// Client area in dialog units.
inline constexpr int kDeviceListWidth = 296;
inline constexpr int kDeviceListHeight = 162;

namespace listid {
inline constexpr int kTitle = 1070;
inline constexpr int kList = 1033;
inline constexpr int kAddress = 1009;
inline constexpr int kMask = 1010;
inline constexpr int kGateway = 1011;
inline constexpr int kSetting = 1003;
// The six MAC boxes, first byte first (shown left to right).
inline constexpr int kMacBoxes[6] = {1007, 1030, 1034, 1035, 1036, 1037};
// The dialog's scan timer.
inline constexpr int kScanTimer = 1;
}  // namespace listid

std::span<const platform::ControlDef> DeviceListControls();
// Its captions in both languages, in the order they are applied.
std::span<const platform::CaptionEntry> DeviceListCaptions();

// What the dialog works with; all of it outlives the dialog.
struct DeviceListEnv {
    DiscoveryFeed* feed = nullptr;                          // the table and the listener
    const UdpSocket* broadcastSocket = nullptr;             // invalid or null: "Error 0" on sending
    Ipv4Endpoint broadcastTo{0xFFFFFFFFu, kDiscoveryPort};  // requests and the address-set packet
    platform::MessageSink* messages = nullptr;
    int languageFlag = 0;  // 0 Chinese, other English
    std::chrono::milliseconds scanInterval{1000};
};

class DeviceListDialog final : public platform::DialogPresenter {
  public:
    explicit DeviceListDialog(const DeviceListEnv& env);
    ~DeviceListDialog() override;  // lets go of the feed (the window may be gone)
    DeviceListDialog(const DeviceListDialog&) = delete;
    DeviceListDialog& operator=(const DeviceListDialog&) = delete;

    static platform::DialogSpec Layout();
    void Attach(platform::DialogHost& host) override;
    void Closed(int result) override;

  private:
    void OnScanTick();
    void RebuildList();
    void OnSelectionChanged();
    void OnSetting();
    void Release();

    DeviceListEnv env_;
    platform::DialogHost* host_ = nullptr;
    bool attached_ = false;
};

}  // namespace netcfg
