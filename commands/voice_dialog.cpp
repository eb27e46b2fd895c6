#include "commands/voice_dialog.h"

#include <array>

#include "commands/voice_frames.h"
#include "link/command_buffer.h"

namespace commands {
namespace {

using K = platform::ControlKind;
using platform::Notification;

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

constexpr std::array<platform::CaptionEntry, 7> kCaptions{{
    {1095, "Volume", "音量大小"},
    {kVolumeDownButtonId, "Vol-", "音量-"},
    {kVolumeUpButtonId, "Vol+", "音量+"},
    {1096, "Alarm Index", "报警语音"},
    {kAlarmVoiceButtonId, "Confirm", "确定"},
    {1108, "Alarm time Interval", "报警时间间隔"},
    {kAlarmIntervalButtonId, "Confirm", "确定"},
}};

}  // namespace

std::span<const platform::ControlDef> VoiceDialogControls() {
    return kControls;
}

std::span<const platform::CaptionEntry> VoiceDialogCaptions() {
    return kCaptions;
}

VoiceDialog::VoiceDialog(printerlink::CommandBuffer& buffer, int languageFlag)
    : buffer_(buffer), languageFlag_(languageFlag) {}

platform::DialogSpec VoiceDialog::Layout() {
    return {
        .title = "Dialog",
        .controls = kControls,
        .width = kWidth,
        .height = kHeight,
        .font = {"System", 10},
    };
}

void VoiceDialog::Attach(platform::DialogHost& host) {
    host_ = &host;
    platform::ApplyCaptions(host, kCaptions, languageFlag_);
    // Both lists start with nothing selected.
    for (const char* item : AlarmVoiceItems()) host.AddItem(kAlarmVoiceListId, item);
    for (const char* item : AlarmIntervalItems(languageFlag_))
        host.AddItem(kAlarmIntervalListId, item);

    const auto onClick = [&host](int id, std::function<void()> handler) {
        host.On(id, Notification::Clicked, std::move(handler));
    };
    onClick(kVolumeUpButtonId, [this] { Submit(VolumeUpFrame()); });
    onClick(kVolumeDownButtonId, [this] { Submit(VolumeDownFrame()); });
    onClick(kAlarmVoiceButtonId,
            [this] { Submit(AlarmVoiceFrame(host_->Position(kAlarmVoiceListId))); });
    onClick(kAlarmIntervalButtonId,
            [this] { Submit(AlarmIntervalFrame(host_->Position(kAlarmIntervalListId))); });
}

void VoiceDialog::Submit(const std::vector<uint8_t>& frame) {
    printerlink::SubmitCommand(buffer_, frame.data(), frame.size());
}

}  // namespace commands
