#include "commands/settings_dialog.h"

#include <array>
#include <string>

#include "commands/settings_rows.h"
#include "link/command_buffer.h"
#include "platform/message_sink.h"

namespace commands {
namespace {

using platform::kDisabled;
using platform::kHidden;
using platform::kNoId;
using platform::kSorted;
using K = platform::ControlKind;

constexpr int kWidth = 415;
constexpr int kHeight = 210;

// Template order (tab order); the template captions are replaced by the language's captions.
constexpr std::array<platform::ControlDef, 46> kControls{{
    {1089, K::Label, "Cuter Setting", 30, 14, 52, 8},
    {1088, K::DropDownCombo, nullptr, 85, 13, 89, 37, 0, 1089},
    {1043, K::Button, "Confirm", 177, 13, 50, 12},
    {1062, K::Label, "Print Mode", 32, 32, 52, 8},
    {1028, K::DropDownCombo, nullptr, 85, 31, 89, 34, kSorted, 1062},
    {1006, K::Button, "Confirm", 176, 30, 50, 12},
    {1063, K::Label, "Code Page", 31, 51, 52, 8},
    {1020, K::DropDownCombo, nullptr, 85, 49, 89, 158, 0, 1063},
    {1003, K::Button, "Confirm", 177, 49, 50, 12},
    {1064, K::Label, "Bar Print", 32, 70, 52, 8},
    {1023, K::DropDownCombo, nullptr, 85, 67, 89, 123, kSorted, 1064},
    {1004, K::Button, "Confirm", 175, 66, 50, 12},
    {1065, K::Label, "Denisty", 30, 87, 52, 8},
    {1025, K::DropDownCombo, nullptr, 85, 85, 89, 44, 0, 1065},
    {1005, K::Button, "Confirm", 176, 83, 50, 12},
    {1066, K::Label, "RePrint", 27, 105, 52, 8},
    {1039, K::DropDownCombo, nullptr, 85, 103, 89, 41, kSorted, 1066},
    {1012, K::Button, "Confirm", 175, 103, 50, 12},
    {1067, K::Label, "Lang Setting", 29, 123, 52, 8},
    {1052, K::DropDownCombo, nullptr, 85, 121, 89, 66, 0, 1067},
    {1016, K::Button, "Confirm", 176, 120, 50, 12},
    {1106, K::Label, "Auto Cut", 30, 140, 52, 8},
    {1104, K::DropDownCombo, nullptr, 85, 138, 89, 32, 0, 1106},
    {1080, K::Button, "Confirm", 178, 136, 49, 12},
    {1069, K::Label, "Print Speed", 30, 157, 53, 10, kHidden},
    {1053, K::DropDownCombo, nullptr, 85, 156, 89, 42, kHidden, 1069},
    {1018, K::Button, "Confirm", 178, 154, 50, 12, kHidden},
    {1068, K::Label, "Code Setting", 24, 193, 52, 8, kHidden},
    {1054, K::DropDownCombo, nullptr, 78, 191, 89, 50, kHidden | kSorted, 1068},
    {1024, K::Button, "Confirm", 169, 189, 50, 12, kHidden},
    {1094, K::GroupBox, "BT Setting", 236, 7, 152, 64},
    {kNoId, K::Label, "BT", 267, 14, 15, 10},
    {kNoId, K::Label, "BLE", 266, 28, 13, 8},
    {1007, K::Edit, nullptr, 284, 13, 73, 12, 0, 0, "BT"},
    {1030, K::Edit, nullptr, 284, 26, 72, 12, 0, 0, "BLE"},
    {1048, K::Button, "Confirm", 285, 40, 47, 11},
    {1097, K::DropDownCombo, nullptr, 268, 52, 69, 38, 0, 0, "BT address mode"},
    {1044, K::Button, "Confirm", 340, 52, 47, 10},
    // These two labels start 7 units further left than designed, so their captions fit.
    {1107, K::Label, "Compress Print", 230, 74, 54, 12},
    {1098, K::DropDownCombo, nullptr, 286, 74, 61, 50, 0, 1107},
    {1050, K::Button, "Confirm", 349, 74, 48, 12},
    {1105, K::Label, "Baud Rate", 230, 89, 54, 9},
    {1102, K::DropDownCombo, nullptr, 286, 89, 60, 49, 0, 1105},
    {1079, K::Button, "Confirm", 350, 89, 47, 12},
    {1014, K::Button, "USB PID VID  A", 266, 175, 60, 18, kHidden | kDisabled},
    {1015, K::Button, "USB PID VID B", 331, 174, 66, 18, kHidden | kDisabled},
}};
// Captions, with the system's own spellings ("Denisty", "Cuter Setting"); the command buttons
// all read "Confirm".
constexpr std::array<platform::CaptionEntry, 27> kCaptions{{
    {1062, "Print Mode", "打印模式"},    {1063, "Code Page", "字符页"},
    {1064, "Bar Print", "条码打印"},     {1065, "Denisty", "打印浓度"},
    {1066, "RePrint", "重打印"},         {1067, "Lang Setting", "语言设置"},
    {1068, "Code Setting", "编码设置"},  {1069, "Print Speed", "打印速度"},
    {1089, "Cuter Setting", "切刀设置"}, {1094, "BT Setting", "蓝牙设置"},
    {1106, "Auto Cut", "自动切纸"},      {1107, "Compress Print", "压缩打印"},
    {1105, "Baud Rate", "波特率"},       {1003, "Confirm", "确认"},
    {1004, "Confirm", "确认"},           {1005, "Confirm", "确认"},
    {1006, "Confirm", "确认"},           {1012, "Confirm", "确认"},
    {1016, "Confirm", "确认"},           {1018, "Confirm", "确认"},
    {1024, "Confirm", "确认"},           {1043, "Confirm", "确认"},
    {1044, "Confirm", "确认"},           {1048, "Confirm", "确认"},
    {1050, "Confirm", "确认"},           {1079, "Confirm", "确认"},
    {1080, "Confirm", "确认"},
}};

// Rows whose input is a list (not the name fields, not a row without input).
bool HasList(const SettingRow& row) {
    return row.inputId != 0 && row.value != RowValue::Names;
}

}  // namespace

std::span<const platform::ControlDef> SettingsDialogControls() {
    return kControls;
}

std::span<const platform::CaptionEntry> SettingsDialogCaptions() {
    return kCaptions;
}

SettingsDialog::SettingsDialog(printerlink::CommandBuffer& buffer, platform::MessageSink& messages,
                               int languageFlag)
    : buffer_(buffer), messages_(messages), languageFlag_(languageFlag) {}

platform::DialogSpec SettingsDialog::Layout() {
    return {
        .title = "",
        .controls = kControls,
        .width = kWidth,
        .height = kHeight,
        .font = {"Arial Narrow", 12},
    };
}

void SettingsDialog::Attach(platform::DialogHost& host) {
    host_ = &host;
    platform::ApplyCaptions(host, kCaptions, languageFlag_);
    host.SetText(1007, kDefaultSppName);
    host.SetText(kBluetoothLeNameId, kDefaultLeName);
    for (const SettingRow& row : SettingRows()) {
        if (!HasList(row)) continue;
        for (const std::string& item : SettingItems(row, languageFlag_))
            host.AddItem(row.inputId, item);
    }
    for (const SettingRow& row : SettingRows()) {
        if (row.initial >= 0) host.Select(row.inputId, row.initial);
    }
    for (const SettingRow& row : SettingRows()) {
        const int id = row.buttonId;
        host.On(id, platform::Notification::Clicked, [this, id] { OnRowButton(id); });
    }
}

void SettingsDialog::OnRowButton(int buttonId) {
    const SettingRow* row = FindSettingRowByButton(buttonId);
    if (row == nullptr) return;
    const int position = HasList(*row) ? host_->Position(row->inputId) : -1;
    std::string spp, le;
    if (row->value == RowValue::Names) {
        spp = host_->Text(row->inputId);
        le = host_->Text(kBluetoothLeNameId);
    }
    const RowFrame frame = BuildRowFrame(*row, position, spp, le);
    switch (frame.outcome) {
        case RowOutcome::Send:
            printerlink::SubmitCommand(buffer_, frame.bytes.data(), frame.bytes.size());
            break;
        case RowOutcome::NamesTooLong:
            messages_.ShowMessage(BluetoothNamesTooLongMessage(languageFlag_));
            break;
        case RowOutcome::OutOfRange:
        case RowOutcome::NoAction:
            break;
    }
}

}  // namespace commands
