#include "netcfg/device_list_dialog.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <array>
#include <string>

#include "netcfg/address_set.h"
#include "netcfg/discovery_feed.h"
#include "platform/message_sink.h"
#include "platform/qt/ipv4_edit.h"
#include "setuptool/captions.h"
#include "setuptool/random_mac.h"

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

template <class T>
T* Find(const QWidget* dialog, int controlId) {
    return platform::FindControlAs<T>(dialog, controlId);
}
}  // namespace

std::span<const platform::ControlDef> DeviceListControls() {
    return kControls;
}

DeviceListDialog::DeviceListDialog(const DeviceListEnv& env, QWidget* parent)
    : QDialog(parent), env_(env) {
    setWindowTitle(QString::fromUtf8(kDeviceListTitle));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setModal(true);
    setFont(platform::DialogFont());
    const auto units = platform::DialogUnits::FromFont(font());
    platform::BuildControls(this, kControls, units);
    setFixedSize(units.ToPixels(0, 0, kDeviceListWidth, kDeviceListHeight).size());

    auto* list = Find<QListWidget>(this, listid::kList);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    connect(list, &QListWidget::itemSelectionChanged, this, &DeviceListDialog::OnSelectionChanged);
    connect(Find<QPushButton>(this, listid::kSetting), &QPushButton::clicked, this,
            &DeviceListDialog::OnSetting);
    connect(&scanTimer_, &QTimer::timeout, this, &DeviceListDialog::OnScanTick);

    // Every opening starts from an empty table; the devices come back with the next scans.
    if (env_.feed != nullptr) {
        env_.feed->Table().Clear();
        env_.feed->Attach([this] { RebuildList(); });
        attached_ = true;
    }
    scanTimer_.start(env_.scanInterval);
    ApplyCaptions();
}

DeviceListDialog::~DeviceListDialog() {
    Release();
}

void DeviceListDialog::Release() {
    scanTimer_.stop();
    if (attached_) env_.feed->Detach();
    attached_ = false;
}

void DeviceListDialog::done(int result) {
    Release();
    QDialog::done(result);
}

QWidget* DeviceListDialog::Control(int controlId) const {
    return platform::FindControl(this, controlId);
}

void DeviceListDialog::ApplyCaptions() {
    for (const setuptool::CaptionEntry& entry : setuptool::CaptionTable(kDeviceListDialogId)) {
        if (QWidget* control = Control(entry.id)) {
            platform::SetControlText(
                control, QString::fromUtf8(env_.languageFlag != 0 ? entry.english : entry.chinese));
        }
    }
    platform::RefreshAccessibleNames(this);
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
    auto* list = Find<QListWidget>(this, listid::kList);
    if (env_.feed == nullptr) {
        list->clear();
        return;
    }
    ShowDevices(list, env_.feed->Table());
}

int DeviceListDialog::SelectedLine() const {
    return netcfg::SelectedLine(Find<QListWidget>(this, listid::kList));
}

void DeviceListDialog::OnSelectionChanged() {
    const int line = SelectedLine();
    if (line < 0 || env_.feed == nullptr) return;  // emptied: the fields keep their values
    const std::optional<DeviceEntry> entry = env_.feed->Table().Slot(line);
    if (!entry) return;
    Find<platform::Ipv4Edit>(this, listid::kAddress)->SetOctets(entry->Address());
    Find<platform::Ipv4Edit>(this, listid::kMask)->SetOctets(entry->Mask());
    Find<platform::Ipv4Edit>(this, listid::kGateway)->SetOctets(entry->Gateway());
    const MacBytes mac = entry->Mac();
    for (std::size_t i = 0; i < mac.size(); ++i) {
        Find<QLineEdit>(this, listid::kMacBoxes[i])
            ->setText(QString::fromStdString(setuptool::FormatMacByte(mac[i])));
    }
}

void DeviceListDialog::OnSetting() {
    const int line = SelectedLine();
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
    std::array<std::string, 6> boxes;
    for (std::size_t i = 0; i < boxes.size(); ++i)
        boxes[i] = Find<QLineEdit>(this, listid::kMacBoxes[i])->text().toStdString();
    const MacBoxesRead mac = ReadMacBoxes(boxes);
    if (!mac.mac) {
        env_.messages->ShowMessage(MacBoxErrorText(mac.badBox, env_.languageFlag));
        return;
    }
    const auto packet =
        AddressSetPacket(Find<platform::Ipv4Edit>(this, listid::kAddress)->Octets(),
                         Find<platform::Ipv4Edit>(this, listid::kMask)->Octets(), *mac.mac,
                         Find<platform::Ipv4Edit>(this, listid::kGateway)->Octets(), *entry,
                         /*dhcp=*/false);
    if (!env_.broadcastSocket->SendTo(env_.broadcastTo, packet)) {
        env_.messages->ShowMessage("Error 1");
        return;
    }
    env_.messages->ShowMessage("FINISH");
    env_.feed->Table().Clear();
    Find<QListWidget>(this, listid::kList)->clear();
}

}  // namespace netcfg
