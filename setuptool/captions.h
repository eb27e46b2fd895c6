#pragma once
// Bilingual caption tables of Tessary's translated windows, in the order captions are applied.

#include <span>

#include "platform/captions.h"

namespace setuptool {

using CaptionEntry = platform::CaptionEntry;

inline constexpr int kMainWindowDialog = 102;
inline constexpr int kDeviceListDialog = 131;  // network device list
inline constexpr int kWifiDialog = 133;        // WiFi configuration

// Tables for dialog 102 (main window), 131 and 133; empty for any other dialog.
std::span<const CaptionEntry> CaptionTable(int dialogId);

}  // namespace setuptool
