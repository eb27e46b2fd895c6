#include "commands/voice_dialog.h"

#include <QComboBox>
#include <QPushButton>
#include <array>

#include "commands/voice_frames.h"
#include "link/command_buffer.h"
#include "setuptool/captions.h"

namespace commands {
namespace {

using K = platform::ControlKind;

constexpr int kWidth = 239;
constexpr int kHeight = 143;

constexpr std::array<platform::ControlDef, 9> kControls{{
    {1095, K::Label, "Volume", 26, 31, 43, 12},
    {kVolumeDownButtonId, K::Button, "Vol-", 77, 27, 42, 15},
    {kVolumeUpButtonId, K::Button, "Vol+", 122, 27, 48, 15},
    {1096, K::Label, "Alarm Index", 22, 52, 49, 13},
    {kAlarmVoiceListId, K::DropDownCombo, nullptr, 77, 52, 61, 62, 0, 1096},
    {kAlarmVoiceButtonId, K::Button, "Confirm", 142, 52, 54, 14},
    {1108, K::Label, "Alarm time Interval", 22, 66, 51, 18},  // two lines, so the caption fits
    {kAlarmIntervalListId, K::DropDownCombo, nullptr, 77, 68, 61, 73, 0, 1108},
    {kAlarmIntervalButtonId, K::Button, "Confirm", 141, 67, 55, 14},
}};

}  // namespace

std::span<const platform::ControlDef> VoiceDialogControls() {
    return kControls;
}

VoiceDialog::VoiceDialog(printerlink::CommandBuffer& buffer, int languageFlag, QWidget* parent)
    : QDialog(parent), buffer_(buffer) {
    platform::BuildDialog(this, QStringLiteral("Dialog"), 10.0, kControls, kWidth, kHeight);
    platform::ApplyCaptions(this, setuptool::CaptionTable(setuptool::kVoiceDialog), languageFlag);
    // Both lists start with nothing selected.
    auto* voices = platform::FindControlAs<QComboBox>(this, kAlarmVoiceListId);
    for (const char* item : AlarmVoiceItems())
        platform::AddListString(voices, QString::fromUtf8(item));
    auto* intervals = platform::FindControlAs<QComboBox>(this, kAlarmIntervalListId);
    for (const char* item : AlarmIntervalItems(languageFlag))
        platform::AddListString(intervals, QString::fromUtf8(item));

    auto onClick = [this](int id, auto handler) {
        connect(platform::FindControlAs<QPushButton>(this, id), &QPushButton::clicked, this,
                handler);
    };
    onClick(kVolumeUpButtonId, [this] { Submit(VolumeUpFrame()); });
    onClick(kVolumeDownButtonId, [this] { Submit(VolumeDownFrame()); });
    onClick(kAlarmVoiceButtonId, [this] { Submit(AlarmVoiceFrame(Position(kAlarmVoiceListId))); });
    onClick(kAlarmIntervalButtonId,
            [this] { Submit(AlarmIntervalFrame(Position(kAlarmIntervalListId))); });
}

void VoiceDialog::Submit(const std::vector<uint8_t>& frame) {
    printerlink::SubmitCommand(buffer_, frame.data(), frame.size());
}

int VoiceDialog::Position(int listId) const {
    return platform::FindControlAs<QComboBox>(this, listId)->currentIndex();
}

}  // namespace commands
