#include "netcfg/address_dialog.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <array>
#include <string>

#include "netcfg/address_set.h"
#include "platform/message_sink.h"
#include "platform/qt/ipv4_edit.h"
#include "setuptool/random_mac.h"

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

template <class T>
T* Find(const QWidget* dialog, int id) {
    return platform::FindControlAs<T>(dialog, id);
}

}  // namespace

std::span<const platform::ControlDef> AddressDialogControls() {
    return kControls;
}

AddressDialog::AddressDialog(const DeviceEntry& device, const Ipv4Endpoint& broadcastTo,
                             platform::MessageSink& messages, QWidget* parent)
    : QDialog(parent), device_(device), broadcastTo_(broadcastTo), messages_(messages) {
    platform::BuildDialog(this, QString::fromUtf8(kAddressDialogTitle), 9.0, kControls, kWidth,
                          kHeight);
    const MacBytes mac = device_.Mac();
    for (std::size_t i = 0; i < mac.size(); ++i) {
        Find<QLineEdit>(this, aid::kMacBoxes[i])
            ->setText(QString::fromStdString(setuptool::FormatMacByte(mac[i])));
    }
    Find<platform::Ipv4Edit>(this, aid::kAddress)->SetOctets(device_.Address());
    // Not the printer's reply: the address plan the dialog proposes.
    Find<platform::Ipv4Edit>(this, aid::kMask)->SetOctets({255, 255, 255, 0});
    Find<platform::Ipv4Edit>(this, aid::kGateway)->SetOctets({192, 168, 0, 1});
    connect(Find<QPushButton>(this, aid::kOk), &QPushButton::clicked, this, &AddressDialog::OnOk);
}

QWidget* AddressDialog::Control(int controlId) const {
    return platform::FindControl(this, controlId);
}

void AddressDialog::OnOk() {
    std::array<std::string, 6> boxes;
    for (std::size_t i = 0; i < boxes.size(); ++i)
        boxes[i] = Find<QLineEdit>(this, aid::kMacBoxes[i])->text().toStdString();
    const MacBoxesRead mac = ReadMacBoxes(boxes);
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
        AddressSetPacket(Find<platform::Ipv4Edit>(this, aid::kAddress)->Octets(),
                         Find<platform::Ipv4Edit>(this, aid::kMask)->Octets(), *mac.mac,
                         Find<platform::Ipv4Edit>(this, aid::kGateway)->Octets(), device_,
                         Find<QCheckBox>(this, aid::kDhcp)->isChecked());
    if (!socket.SendTo(broadcastTo_, packet)) {
        messages_.ShowMessage("Error 1");
        return;
    }
    accept();
}

}  // namespace netcfg
