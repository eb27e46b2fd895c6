#include "netcfg/wifi_dialog.h"

#include <QLineEdit>
#include <QPushButton>
#include <array>

#include "link/command_buffer.h"
#include "platform/message_sink.h"
#include "platform/qt/ipv4_edit.h"
#include "setuptool/captions.h"

namespace netcfg {
namespace {

using platform::kNoId;
using K = platform::ControlKind;

constexpr int kWidth = 222;
constexpr int kHeight = 132;
constexpr int kOkId = 1;
constexpr int kQuitId = 2;
constexpr int kSsidId = 1007;
constexpr int kPasswordId = 1030;
constexpr int kAddressId = 1009;
constexpr int kMaskId = 1010;
constexpr int kGateId = 1011;
constexpr int kSettingId = 1003;
constexpr int kRestoreId = 1004;

constexpr std::array<platform::ControlDef, 14> kControls{{
    {kNoId, K::Label, "WIFI ID", 14, 16, 62, 8},
    {kSsidId, K::Edit, nullptr, 80, 14, 128, 12, 0, 0, "WIFI ID"},
    {1074, K::Label, "WIFI Password", 14, 33, 62, 8},
    {kPasswordId, K::Edit, nullptr, 80, 31, 128, 12, 0, 1074},
    {1075, K::Label, "WIFI Static IP", 14, 50, 62, 8},
    {kAddressId, K::Ipv4Edit, nullptr, 80, 48, 100, 13, 0, 1075},
    {1076, K::Label, "WIFI Mask", 14, 67, 62, 8},
    {kMaskId, K::Ipv4Edit, nullptr, 80, 65, 100, 13, 0, 1076},
    {1077, K::Label, "WIFI Gate", 14, 84, 62, 8},
    {kGateId, K::Ipv4Edit, nullptr, 80, 82, 100, 13, 0, 1077},
    {kOkId, K::DefaultButton, "OK", 14, 106, 40, 14},
    {kSettingId, K::Button, "Setting", 58, 106, 44, 14},
    {kRestoreId, K::Button, "Factory Restore", 106, 106, 62, 14},
    {kQuitId, K::Button, "Quit", 172, 106, 36, 14},
}};

template <class T>
T* Find(const QWidget* dialog, int id) {
    return platform::FindControlAs<T>(dialog, id);
}

}  // namespace

std::span<const platform::ControlDef> WifiDialogControls() {
    return kControls;
}

WifiDialog::WifiDialog(printerlink::CommandBuffer& buffer, platform::MessageSink& messages,
                       int languageFlag, const Ipv4& startAddress, QWidget* parent)
    : QDialog(parent), buffer_(buffer), messages_(messages), languageFlag_(languageFlag) {
    platform::BuildDialog(this, QStringLiteral("Dialog"), 10.0, kControls, kWidth, kHeight);
    Find<platform::Ipv4Edit>(this, kAddressId)->SetOctets(startAddress);
    Find<platform::Ipv4Edit>(this, kMaskId)->SetOctets({255, 255, 255, 0});
    Find<platform::Ipv4Edit>(this, kGateId)->SetOctets({192, 168, 0, 1});
    platform::ApplyCaptions(this, setuptool::CaptionTable(setuptool::kWifiDialog), languageFlag_);

    connect(Find<QPushButton>(this, kOkId), &QPushButton::clicked, this, &WifiDialog::accept);
    connect(Find<QPushButton>(this, kSettingId), &QPushButton::clicked, this,
            &WifiDialog::OnSetting);
    connect(Find<QPushButton>(this, kRestoreId), &QPushButton::clicked, this,
            &WifiDialog::OnFactoryRestore);
    connect(Find<QPushButton>(this, kQuitId), &QPushButton::clicked, this, &QDialog::reject);
}

void WifiDialog::accept() {
    Send(CredentialsFrame(Find<QLineEdit>(this, kSsidId)->text().toStdString(),
                          Find<QLineEdit>(this, kPasswordId)->text().toStdString()));
}

void WifiDialog::OnFactoryRestore() {
    Send(WifiRestoreFrame(Find<QLineEdit>(this, kSsidId)->text().toStdString(),
                          Find<QLineEdit>(this, kPasswordId)->text().toStdString()));
}

void WifiDialog::OnSetting() {
    const std::vector<uint8_t> frame =
        StaticAddressFrame(Find<platform::Ipv4Edit>(this, kAddressId)->Octets(),
                           Find<platform::Ipv4Edit>(this, kMaskId)->Octets(),
                           Find<platform::Ipv4Edit>(this, kGateId)->Octets());
    printerlink::SubmitCommand(buffer_, frame.data(), frame.size());
    messages_.ShowMessage("set ok");
}

void WifiDialog::Send(const WifiFrame& frame) {
    if (frame.tooLong != WifiTooLong::None) {
        messages_.ShowMessage(WifiTooLongMessage(frame.tooLong, languageFlag_));
        return;
    }
    printerlink::SubmitCommand(buffer_, frame.bytes.data(), frame.bytes.size());
}

}  // namespace netcfg
