#include "netcfg/wifi_dialog.h"

#include <array>

#include "link/command_buffer.h"
#include "platform/message_sink.h"

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

constexpr std::array<platform::CaptionEntry, 7> kCaptions{{
    {1074, "WIFI Password", "WIFI密码"},
    {1075, "WIFI Static IP", "WIFI静态IP"},
    {1076, "WIFI Mask", "WIFI网段"},
    {1077, "WIFI Gate", "WIFI网关"},
    {kSettingId, "Setting", "设置"},
    {kRestoreId, "Factory Restore", "恢复出厂设置"},
    {kQuitId, "Quit", "退出"},
}};

}  // namespace

std::span<const platform::ControlDef> WifiDialogControls() {
    return kControls;
}

std::span<const platform::CaptionEntry> WifiDialogCaptions() {
    return kCaptions;
}

WifiDialog::WifiDialog(printerlink::CommandBuffer& buffer, platform::MessageSink& messages,
                       int languageFlag, const Ipv4& startAddress)
    : buffer_(buffer),
      messages_(messages),
      languageFlag_(languageFlag),
      startAddress_(startAddress) {}

platform::DialogSpec WifiDialog::Layout() {
    return {
        .title = "Dialog",
        .controls = kControls,
        .width = kWidth,
        .height = kHeight,
        .font = {"System", 10},
    };
}

void WifiDialog::Attach(platform::DialogHost& host) {
    host_ = &host;
    host.SetOctets(kAddressId, startAddress_);
    host.SetOctets(kMaskId, {255, 255, 255, 0});
    host.SetOctets(kGateId, {192, 168, 0, 1});
    platform::ApplyCaptions(host, kCaptions, languageFlag_);

    using platform::Notification;
    host.On(kOkId, Notification::Clicked,
            [this] { Send(CredentialsFrame(host_->Text(kSsidId), host_->Text(kPasswordId))); });
    host.On(kSettingId, Notification::Clicked, [this] { OnSetting(); });
    host.On(kRestoreId, Notification::Clicked,
            [this] { Send(WifiRestoreFrame(host_->Text(kSsidId), host_->Text(kPasswordId))); });
    host.On(kQuitId, Notification::Clicked, [this] { host_->Close(platform::kDialogCancel); });
}

void WifiDialog::OnSetting() {
    const std::vector<uint8_t> frame = StaticAddressFrame(
        host_->Octets(kAddressId), host_->Octets(kMaskId), host_->Octets(kGateId));
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
