#pragma once
// Brindel's address dialog (dialog 156): new address, mask, gateway, MAC and DHCP for the printer
// picked in the discovery list, broadcast as the address-set packet. Built for one opening; it
// keeps a copy of the picked device while open.

#include <span>

#include "netcfg/device_table.h"
#include "netcfg/udp_socket.h"
#include "platform/dialog_host.h"

namespace platform {
class MessageSink;
}

namespace netcfg {

inline constexpr const char* kAddressDialogTitle = "对话";

namespace addressid {
inline constexpr int kMacBoxes[6] = {1025, 1026, 1027, 1028, 1029, 1030};
inline constexpr int kAddress = 1021;
inline constexpr int kMask = 1023;
inline constexpr int kGateway = 1011;
inline constexpr int kDhcp = 1032;
inline constexpr int kOk = 1005;
}  // namespace addressid

std::span<const platform::ControlDef> AddressDialogControls();

class AddressDialog final : public platform::DialogPresenter {
  public:
    // `broadcastTo`: where the packet goes (255.255.255.255:9000 in the program).
    AddressDialog(const DeviceEntry& device, const Ipv4Endpoint& broadcastTo,
                  platform::MessageSink& messages);
    static platform::DialogSpec Layout();
    void Attach(platform::DialogHost& host) override;

  private:
    // "OK": a fresh broadcast socket, the packet; the dialog closes once it has left.
    void OnOk();

    DeviceEntry device_;
    Ipv4Endpoint broadcastTo_;
    platform::MessageSink& messages_;
    platform::DialogHost* host_ = nullptr;
};

}  // namespace netcfg
