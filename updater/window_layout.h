#pragma once
// The layout of Brindel's window: every control with its id, kind, template text and rectangle in
// dialog units; the hidden controls are created and never shown.

#include <span>

#include "platform/dialog_layout.h"

namespace updater {

inline constexpr const char* kWindowTitle = "Ledvane";
inline constexpr const char* kAboutItem = "关于 Brindel(&A)...";
// Client area in dialog units; the font stands in for "黑体" 12 pt.
inline constexpr int kWindowWidth = 414;
inline constexpr int kWindowHeight = 262;
inline constexpr double kWindowPointSize = 12.0;

namespace id {
inline constexpr int kUsbUpdata = 1;
inline constexpr int kExit = 3;
inline constexpr int kProgress = 1000;
inline constexpr int kStatus = 1001;
inline constexpr int kCharacterData = 1005;
inline constexpr int kCodePage = 1006;
inline constexpr int kPaperWidth = 1007;
inline constexpr int kSettings = 1009;
inline constexpr int kDensity = 1010;
inline constexpr int kTestAddress = 1011;
inline constexpr int kNetUpdata = 1012;
inline constexpr int kDevicePath = 1013;
inline constexpr int kRefresh = 1014;
inline constexpr int kConnectTest = 1016;
inline constexpr int kDeviceList = 1019;
inline constexpr int kIpSet = 1020;
inline constexpr int kOptionList = 1033;
inline constexpr int kOption = 1034;
inline constexpr int kIdentityA = 1035;
inline constexpr int kIdentityB = 1036;
}  // namespace id

std::span<const platform::ControlDef> WindowControls();
// The About box: caption, version line, OK.
std::span<const platform::ControlDef> AboutControls();
inline constexpr const char* kAboutTitle = "关于 Brindel";
inline constexpr int kAboutWidth = 235;
inline constexpr int kAboutHeight = 55;

}  // namespace updater
