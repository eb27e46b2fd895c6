#pragma once
// Items of the drop-down lists that feed printer commands, the same in both interface languages.
// The main window and the printer settings dialog fill their lists from here.

#include <span>

namespace commands {

inline constexpr int kBeeperModeListId = 1023;  // main window, read by button 1048
inline constexpr int kBlankFeedListId = 1020;   // main window, read by button 1050

// List 1023: "0" .. "5"; position 0 is selected at start-up.
std::span<const char* const> BeeperModeItems();
inline constexpr int kBeeperModeInitialPosition = 0;

// List 1020: "1行" .. "5行" (UTF-8); nothing selected at start-up (position -1).
std::span<const char* const> BlankFeedItems();
inline constexpr int kBlankFeedInitialPosition = -1;

// Serial baud rates: main-window combo box 1028 and settings-dialog list 1102, "1200" .. "128000";
// position 3 ("9600") is selected initially.
std::span<const char* const> BaudRateItems();
inline constexpr int kBaudRateInitialPosition = 3;

}  // namespace commands
