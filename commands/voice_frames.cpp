#include "commands/voice_frames.h"

#include <array>

#include "commands/setting_frames.h"

namespace commands {
namespace {

constexpr std::array<const char*, 8> kVoices{"0", "1", "2", "3", "4", "5", "6", "7"};
constexpr std::array<const char*, 7> kIntervalsEn{"Off",       "5 Second", "10 Second", "30 Second",
                                                  "60 Second", "5 Minute", "Always"};
constexpr std::array<const char*, 7> kIntervalsZh{"关闭", "5秒",   "10秒",  "30秒",
                                                  "60秒", "5分钟", "一直响"};

}  // namespace

std::vector<uint8_t> VolumeUpFrame() {
    return BuildSettingFrame(0x79);
}
std::vector<uint8_t> VolumeDownFrame() {
    return BuildSettingFrame(0x7A);
}
std::vector<uint8_t> AlarmVoiceFrame(int position) {
    return BuildSettingFrame(0x7B, {ListValue(position)});
}
std::vector<uint8_t> AlarmIntervalFrame(int position) {
    return BuildSettingFrame(0x7D, {ListValue(position)});
}

std::span<const char* const> AlarmVoiceItems() {
    return kVoices;
}
std::span<const char* const> AlarmIntervalItems(int languageFlag) {
    if (languageFlag == 0) return kIntervalsZh;
    return kIntervalsEn;
}

}  // namespace commands
