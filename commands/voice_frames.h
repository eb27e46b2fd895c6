#pragma once
// The voice and alarm dialog's frames (dialog 139): volume steps, the alarm voice and how often
// the alarm repeats, and the items of its two lists.

#include <cstdint>
#include <span>
#include <vector>

namespace commands {

inline constexpr int kVolumeDownButtonId = 1005;
inline constexpr int kVolumeUpButtonId = 1003;
inline constexpr int kAlarmVoiceListId = 1028;
inline constexpr int kAlarmVoiceButtonId = 1004;
inline constexpr int kAlarmIntervalListId = 1020;
inline constexpr int kAlarmIntervalButtonId = 1006;

// One volume step each; the printer keeps the volume.
std::vector<uint8_t> VolumeUpFrame();
std::vector<uint8_t> VolumeDownFrame();
// The list positions (-1: nothing selected, sent as FF).
std::vector<uint8_t> AlarmVoiceFrame(int position);
std::vector<uint8_t> AlarmIntervalFrame(int position);

// "0" .. "7", the same in both languages.
std::span<const char* const> AlarmVoiceItems();
// Off, 5 s, 10 s, 30 s, 60 s, 5 min, always, in the language of the flag (0 Chinese), UTF-8.
std::span<const char* const> AlarmIntervalItems(int languageFlag);

}  // namespace commands
