#include "netcfg/address_dialog.h"

#include <array>

#include "netcfg/address_set.h"
#include "netcfg/mac_boxes.h"
#include "platform/message_sink.h"

namespace netcfg {
namespace {

using K = platform::ControlKind;
using platform::kNoId;
namespace aid = addressid;

constexpr int kWidth = 186;
constexpr int kHeight = 118;

constexpr std::array<platform::ControlDef, 15> kControls{{
    {kNoId, K::Label, "MAC", 12, 14, 40, 8},
    {aid::kMacBoxes[0], K::Edit, nullptr, 56, 12, 18, 12, 0, 0, "MAC 1"},
    {aid::kMacBoxes[1], K::Edit, nullptr, 76, 12, 18, 12, 0, 0, "MAC 2"},
    {aid::kMacBoxes[2], K::Edit, nullptr, 96, 12, 18, 12, 0, 0, "MAC 3"},
    {aid::kMacBoxes[3], K::Edit, nullptr, 116, 12, 18, 12, 0, 0, "MAC 4"},
    {aid::kMacBoxes[4], K::Edit, nullptr, 136, 12, 18, 12, 0, 0, "MAC 5"},
    {aid::kMacBoxes[5], K::Edit, nullptr, 156, 12, 18, 12, 0, 0, "MAC 6"},
    {1022, K::Label, "IP Addr", 12, 33, 40, 8},
    {aid::kAddress, K::Ipv4Edit, nullptr, 56, 31, 100, 13, 0, 1022},
    {1024, K::Label, "IP Mask", 12, 51, 40, 8},
    {aid::kMask, K::Ipv4Edit, nullptr, 56, 49, 100, 13, 0, 1024},
    {1031, K::Label, "网关", 12, 69, 40, 8},
    {aid::kGateway, K::Ipv4Edit, nullptr, 56, 67, 100, 13, 0, 1031},
    {aid::kDhcp, K::CheckBox, "DHCP", 12, 92, 40, 10},
    {aid::kOk, K::DefaultButton, "OK", 120, 90, 50, 14},
}};

}  // namespace

std::span<const platform::ControlDef> AddressDialogControls() {
    return kControls;
}

AddressDialog::AddressDialog(const DeviceEntry& device, const Ipv4Endpoint& broadcastTo,
                             platform::MessageSink& messages)
    : device_(device), broadcastTo_(broadcastTo), messages_(messages) {}

platform::DialogSpec AddressDialog::Layout() {
    return {
        .title = kAddressDialogTitle,
        .controls = kControls,
        .width = kWidth,
        .height = kHeight,
        .pointSize = 9.0,
        .font = {"宋体", 9},
    };
}

void AddressDialog::Attach(platform::DialogHost& host) {
    host_ = &host;
    ShowMac(host, aid::kMacBoxes, device_.Mac());
    host.SetOctets(aid::kAddress, device_.Address());
    // Not the printer's reply: the address plan the dialog proposes.
    host.SetOctets(aid::kMask, {255, 255, 255, 0});
    host.SetOctets(aid::kGateway, {192, 168, 0, 1});
    host.On(aid::kOk, platform::Notification::Clicked, [this] { OnOk(); });
}

void AddressDialog::OnOk() {
    const MacBoxesRead mac = ReadMacBoxes(*host_, aid::kMacBoxes);
    if (!mac.mac) {
        messages_.ShowMessage(MacBoxErrorText(mac.badBox, 0));
        return;
    }
    const UdpSocket socket = UdpSocket::Broadcast();
    if (!socket.IsValid()) {
        messages_.ShowMessage("Error 0");
        return;
    }
    const auto packet =
        AddressSetPacket(host_->Octets(aid::kAddress), host_->Octets(aid::kMask), *mac.mac,
                         host_->Octets(aid::kGateway), device_, host_->Checked(aid::kDhcp));
    if (!socket.SendTo(broadcastTo_, packet)) {
        messages_.ShowMessage("Error 1");
        return;
    }
    host_->Close(platform::kDialogOk);
}

}  // namespace netcfg
