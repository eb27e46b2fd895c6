#include "setuptool/main_window_layout.h"

#include <array>

namespace setuptool {

namespace {
using platform::ControlKind;
using platform::kHidden;
using platform::kNoId;
using platform::kSorted;
using K = ControlKind;

// Template order; it is also the tab order. The six frames without id surround the command
// blocks of the address group (the router block's frame is hidden).
constexpr std::array<platform::ControlDef, 69> kControls{{
    {1055, K::GroupBox, "Port Select", 7, 7, 421, 24},
    {1000, K::RadioButton, "LPT", 39, 13, 36, 13},
    {1001, K::RadioButton, "USB", 92, 13, 36, 13},
    {1002, K::RadioButton, "NET", 137, 13, 36, 13},
    {1101, K::RadioButton, "COM", 187, 16, 31, 8},
    {1025, K::DropDownCombo, nullptr, 217, 14, 51, 45, kSorted, 0, "COM port"},
    {1105, K::Label, "波特率", 273, 15, 36, 9},
    {1028, K::DropDownCombo, nullptr, 310, 14, 70, 50, 0, 1105},
    {1085, K::CheckBox, nullptr, 408, 15, 20, 10, kHidden, 0, "Check1"},
    {1056, K::GroupBox, "IP Addr Set", 7, 30, 421, 125},
    {1045, K::Label, "打印机IP address", 18, 38, 67, 10},
    {1009, K::Ipv4Edit, nullptr, 87, 36, 103, 15, 0, 1045},
    {1057, K::Label, "IP Mask", 42, 56, 32, 9},
    {1010, K::Ipv4Edit, nullptr, 87, 51, 103, 15, 0, 1057},
    {1058, K::Label, "IP gate", 42, 71, 38, 9},
    {1011, K::Ipv4Edit, nullptr, 87, 66, 103, 15, 0, 1058},
    {1059, K::Label, "new ip addr", 42, 86, 38, 9},
    {1038, K::Ipv4Edit, nullptr, 87, 81, 103, 15, 0, 1059},
    {kNoId, K::Label, "MAC", 58, 104, 25, 8},
    {kNoId, K::Label, "MAC会随机产生", 21, 112, 61, 14},
    {1035, K::Edit, nullptr, 87, 102, 19, 14, 0, 0, "MAC byte 1"},
    {1036, K::Edit, nullptr, 110, 102, 19, 14, 0, 0, "MAC byte 2"},
    {1037, K::Edit, nullptr, 137, 102, 19, 14, 0, 0, "MAC byte 3"},
    {1040, K::Edit, nullptr, 162, 102, 19, 14, 0, 0, "MAC byte 4"},
    {1041, K::Edit, nullptr, 187, 102, 19, 14, 0, 0, "MAC byte 5"},
    {1042, K::Edit, nullptr, 209, 102, 19, 14, 0, 0, "MAC byte 6"},
    {1043, K::Button, "MAC", 230, 101, 43, 14},
    {1012, K::Button, "set ip", 88, 118, 44, 15},
    {1018, K::Button, "connect test", 134, 118, 44, 15},
    {1060, K::Label, "IP ,MAC can be set using USB or network", 55, 136, 158, 10},
    {1014, K::Button, "auto ip set>>", 203, 35, 59, 14},
    {1044, K::Button, "WIFI Config", 202, 51, 48, 14},
    {kNoId, K::GroupBox, nullptr, 197, 62, 79, 37, kHidden},
    {1100, K::Button, "路由自动适配关", 201, 66, 71, 14},
    {1099, K::Button, "路由自动适配开", 201, 81, 71, 14},
    {1080, K::Button, "80打印58宽", 218, 117, 55, 14},
    {1079, K::Button, "恢复出厂", 216, 132, 56, 13},
    {kNoId, K::GroupBox, nullptr, 278, 36, 108, 40},
    {1023, K::DropDownCombo, nullptr, 282, 42, 44, 69, kSorted, 1048},
    {1048, K::Button, "蜂鸣器设置", 332, 41, 48, 12},
    {1020, K::DropDownCombo, nullptr, 283, 61, 44, 36, kSorted, 1050},
    {1050, K::Button, "空白走纸", 336, 61, 46, 12},
    {kNoId, K::GroupBox, nullptr, 281, 76, 57, 35},
    {1016, K::Button, "DHCP CLOSE", 285, 80, 49, 14},
    {1015, K::Button, "DHCP OPEN", 285, 95, 49, 13},
    {kNoId, K::GroupBox, nullptr, 349, 74, 73, 35},
    {1086, K::Button, "切刀后走纸", 354, 78, 64, 12},
    {1087, K::Button, "切纸后不走纸", 353, 94, 65, 12},
    {kNoId, K::GroupBox, nullptr, 281, 114, 64, 34},
    {1081, K::Button, "灯光打开", 285, 119, 56, 11},
    {1082, K::Button, "灯光关闭", 285, 133, 56, 11},
    {kNoId, K::GroupBox, nullptr, 360, 113, 53, 42},
    {1083, K::Button, "声音开启", 364, 118, 45, 11},
    {1084, K::Button, "声音关闭", 364, 130, 45, 11},
    {1091, K::Button, "声音设置", 364, 142, 45, 11},
    {1090, K::Button, "参数设置", 326, 156, 66, 11},
    {1061, K::Label, "print info", 14, 162, 48, 10},
    {1029, K::CheckBox, "auto send", 113, 164, 47, 8},
    {1030, K::Edit, nullptr, 184, 162, 47, 12, 0, 0, "Auto send interval (ms)"},
    {kNoId, K::Label, "ms", 245, 162, 18, 11},
    {1078, K::CheckBox, "Check2", 279, 163, 41, 10, kHidden},
    {1007, K::MultiLineEdit, nullptr, 7, 175, 313, 65, 0, 1061},
    {1003, K::Button, "print test", 326, 170, 67, 12},
    {1103, K::Button, "打印自检页", 326, 185, 65, 12},
    {1004, K::Button, "cut test", 327, 199, 67, 12},
    {1005, K::Button, "open", 326, 212, 67, 12},
    {1006, K::Button, "other set>>", 327, 226, 67, 12},
    {1024, K::Button, "中文", 327, 240, 67, 12},
    {1031, K::Label, nullptr, 7, 241, 310, 11, platform::kLiveText, 0, "Status"},
}};
}  // namespace

std::span<const platform::ControlDef> MainWindowControls() {
    return kControls;
}

}  // namespace setuptool
