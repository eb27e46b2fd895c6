#include "netcfg/device_list_dialog.h"

#include <array>
#include <optional>

#include "netcfg/address_set.h"
#include "netcfg/discovery_feed.h"
#include "netcfg/mac_boxes.h"
#include "platform/message_sink.h"

namespace netcfg {

namespace {
using platform::ControlKind;
using platform::kNoId;
using K = ControlKind;

// Template order, which is also the tab order; the captions are replaced by the language's.
constexpr std::array<platform::ControlDef, 16> kControls{{
    {1070, K::Label, "PRINT LIST", 7, 7, 120, 9},
    {1033, K::ListBox, nullptr, 7, 18, 130, 137, 0, 1070},
    {1071, K::Label, "IP Addr", 146, 21, 36, 9},
    {1009, K::Ipv4Edit, nullptr, 185, 18, 103, 15, 0, 1071},
    {1072, K::Label, "mask", 146, 41, 36, 9},
    {1010, K::Ipv4Edit, nullptr, 185, 38, 103, 15, 0, 1072},
    {1073, K::Label, "gate", 146, 61, 36, 9},
    {1011, K::Ipv4Edit, nullptr, 185, 58, 103, 15, 0, 1073},
    {kNoId, K::Label, "MAC", 146, 83, 16, 9},
    {1007, K::Edit, nullptr, 163, 80, 19, 14, 0, 0, "MAC byte 1"},
    {1030, K::Edit, nullptr, 184, 80, 19, 14, 0, 0, "MAC byte 2"},
    {1034, K::Edit, nullptr, 205, 80, 19, 14, 0, 0, "MAC byte 3"},
    {1035, K::Edit, nullptr, 226, 80, 19, 14, 0, 0, "MAC byte 4"},
    {1036, K::Edit, nullptr, 247, 80, 19, 14, 0, 0, "MAC byte 5"},
    {1037, K::Edit, nullptr, 268, 80, 19, 14, 0, 0, "MAC byte 6"},
    {1003, K::Button, "SET", 228, 106, 60, 16},
}};

constexpr std::array<platform::CaptionEntry, 5> kCaptions{{
    {1070, "Device list", "设备列表"},
    {1071, "IP Addr", "IP地址"},
    {1072, "Mask", "网段"},
    {1073, "Gate", "网关"},
    {1003, "Setting", "设置"},
}};
}  // namespace

std::span<const platform::ControlDef> DeviceListControls() {
    return kControls;
}

std::span<const platform::CaptionEntry> DeviceListCaptions() {
    return kCaptions;
}

DeviceListDialog::DeviceListDialog(const DeviceListEnv& env) : env_(env) {}

DeviceListDialog::~DeviceListDialog() {
    Release();
}

platform::DialogSpec DeviceListDialog::Layout() {
    return {
        .title = kDeviceListTitle,
        .controls = kControls,
        .width = kDeviceListWidth,
        .height = kDeviceListHeight,
        .font = {"System", 10},
    };
}

void DeviceListDialog::Attach(platform::DialogHost& host) {
    host_ = &host;
    host.On(listid::kList, platform::Notification::SelectionChanged,
            [this] { OnSelectionChanged(); });
    host.On(listid::kSetting, platform::Notification::Clicked, [this] { OnSetting(); });
    // Every opening starts from an empty table; the devices come back with the next scans.
    if (env_.feed != nullptr) {
        env_.feed->Table().Clear();
        env_.feed->Attach([this] { RebuildList(); });
        attached_ = true;
    }
    host.SetTimer(listid::kScanTimer, env_.scanInterval, [this] { OnScanTick(); });
    platform::ApplyCaptions(host, kCaptions, env_.languageFlag);
}

void DeviceListDialog::Closed(int /*result*/) {
    Release();  // the window has stopped the scan timer
}

void DeviceListDialog::Release() {
    if (attached_) env_.feed->Detach();
    attached_ = false;
}

void DeviceListDialog::OnScanTick() {
    // The result is of no interest: a request that could not leave is sent again next tick.
    if (env_.broadcastSocket == nullptr) return;
    const DiscoveryPolicy& policy =
        env_.feed != nullptr ? env_.feed->Table().Policy() : TessaryPolicy();
    const std::vector<uint8_t> request = DiscoveryRequest(policy);
    (void)env_.broadcastSocket->SendTo(env_.broadcastTo, request);
}

void DeviceListDialog::RebuildList() {
    if (env_.feed == nullptr) {
        host_->ResetList(listid::kList);
        return;
    }
    ShowDevices(*host_, listid::kList, env_.feed->Table());
}

void DeviceListDialog::OnSelectionChanged() {
    const int line = host_->Position(listid::kList);
    if (line < 0 || env_.feed == nullptr) return;  // emptied: the fields keep their values
    const std::optional<DeviceEntry> entry = env_.feed->Table().Slot(line);
    if (!entry) return;
    host_->SetOctets(listid::kAddress, entry->Address());
    host_->SetOctets(listid::kMask, entry->Mask());
    host_->SetOctets(listid::kGateway, entry->Gateway());
    ShowMac(*host_, listid::kMacBoxes, entry->Mac());
}

void DeviceListDialog::OnSetting() {
    const int line = host_->Position(listid::kList);
    const std::optional<DeviceEntry> entry =
        env_.feed != nullptr ? env_.feed->Table().Slot(line) : std::nullopt;
    if (!entry) {
        env_.messages->ShowMessage("No Select print");
        return;
    }
    if (env_.broadcastSocket == nullptr || !env_.broadcastSocket->IsValid()) {
        env_.messages->ShowMessage("Error 0");
        return;
    }
    const MacBoxesRead mac = ReadMacBoxes(*host_, listid::kMacBoxes);
    if (!mac.mac) {
        env_.messages->ShowMessage(MacBoxErrorText(mac.badBox, env_.languageFlag));
        return;
    }
    const auto packet =
        AddressSetPacket(host_->Octets(listid::kAddress), host_->Octets(listid::kMask), *mac.mac,
                         host_->Octets(listid::kGateway), *entry, /*dhcp=*/false);
    if (!env_.broadcastSocket->SendTo(env_.broadcastTo, packet)) {
        env_.messages->ShowMessage("Error 1");
        return;
    }
    env_.messages->ShowMessage("FINISH");
    env_.feed->Table().Clear();
    host_->ResetList(listid::kList);
}

}  // namespace netcfg
