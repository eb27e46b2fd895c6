#pragma once
// The layout of Tessary's main window (dialog 102): every control with its id, kind, template
// caption and rectangle in dialog units.

#include <span>

#include "platform/dialog_layout.h"

namespace setuptool {

inline constexpr const char* kMainWindowTitle = "打印机测试工具V2.1";
// Client area in dialog units.
inline constexpr int kMainWindowWidth = 435;
inline constexpr int kMainWindowHeight = 259;

// Control ids used by the window's own handlers.
namespace id {
inline constexpr int kLpt = 1000;
inline constexpr int kUsb = 1001;
inline constexpr int kNet = 1002;
inline constexpr int kPrintTest = 1003;
inline constexpr int kPrintInfo = 1007;
inline constexpr int kPrinterIp = 1009;
inline constexpr int kIpMask = 1010;
inline constexpr int kIpGate = 1011;
inline constexpr int kBlankFeedList = 1020;
inline constexpr int kBeeperList = 1023;
inline constexpr int kLanguage = 1024;
inline constexpr int kSerialPort = 1025;
inline constexpr int kBaudRate = 1028;
inline constexpr int kAutoSend = 1029;
inline constexpr int kInterval = 1030;
inline constexpr int kStatus = 1031;
inline constexpr int kNewIp = 1038;
inline constexpr int kCom = 1101;
}  // namespace id

// The six MAC boxes, first byte first.
inline constexpr int kMacBoxIds[6] = {1035, 1036, 1037, 1040, 1041, 1042};

std::span<const platform::ControlDef> MainWindowControls();

}  // namespace setuptool
