#pragma once
// Bilingual caption tables of Tessary's translated windows, in the order captions are applied.

#include <span>
#include <string>

namespace setuptool {

struct CaptionEntry {
    int id;
    const char* english;  // UTF-8
    const char* chinese;  // UTF-8
};

inline constexpr int kMainWindowDialog = 102;
inline constexpr int kSettingsDialog = 129;    // printer settings
inline constexpr int kDeviceListDialog = 131;  // network device list
inline constexpr int kWifiDialog = 133;        // WiFi configuration
inline constexpr int kVoiceDialog = 139;       // voice and alarm

// Tables for dialog 102 (main window), 129, 131, 133 and 139; empty for any other dialog.
std::span<const CaptionEntry> CaptionTable(int dialogId);
// The text of `id` in `dialogId` for the language flag (0 Chinese, other English); "" when the id
// is not in the table.
std::string Caption(int dialogId, int id, int languageFlag);

}  // namespace setuptool
