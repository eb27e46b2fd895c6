#include "updater/window_layout.h"

#include <array>

namespace updater {

namespace {
using platform::kHidden;
using platform::kNoId;
using platform::kSorted;
using K = platform::ControlKind;

// Template order, which is also the keyboard order of the visible controls: "USB Updata",
// "exit", "网络升级", the device list.
constexpr std::array<platform::ControlDef, 26> kControls{{
    {id::kUsbUpdata, K::DefaultButton, "USB Updata", 31, 115, 50, 16},
    {id::kExit, K::Button, "exit", 89, 115, 50, 16},
    {id::kNetUpdata, K::Button, "网络升级", 224, 184, 48, 15},
    {id::kDeviceList, K::ListBox, nullptr, 225, 59, 159, 114, kSorted, 0, "Network printers"},
    {id::kProgress, K::ProgressBar, nullptr, 30, 86, 159, 15, 0, 0, "Progress"},
    {id::kStatus, K::Label, "状态：", 31, 64, 103, 9},
    {id::kDevicePath, K::Label, "", 32, 102, 150, 11},
    {kNoId, K::Icon, nullptr, 32, 14, 16, 16, 0, 0, "Brindel"},
    {kNoId, K::Label, "升级过程序中请不要拔接USB", 61, 20, 133, 12},
    {1004, K::Icon, nullptr, 32, 36, 16, 16, 0, 0, "Version"},
    {kNoId, K::Label, "Data Version:2018-7-28", 63, 40, 130, 9},
    // Created and never shown.
    {id::kCharacterData, K::Button, "Button1", 30, 168, 49, 16, kHidden},
    {kNoId, K::GroupBox, "", 212, 7, 179, 213, kHidden},
    {kNoId, K::Label, "CodePage", 224, 24, 35, 10, kHidden},
    {id::kCodePage, K::DropDownCombo, nullptr, 49, 217, 146, 90, kHidden | platform::kFitDropWidth,
     0, "CodePage"},
    {id::kPaperWidth, K::DropDownCombo, nullptr, 7, 237, 56, 68, kHidden | kSorted, 0,
     "Paper width"},
    {id::kSettings, K::Button, "Set", 271, 19, 43, 16, kHidden},
    {id::kDensity, K::DropDownCombo, nullptr, 182, 237, 56, 44, kHidden | kSorted, 0, "Density"},
    {id::kTestAddress, K::Ipv4Edit, nullptr, 284, 233, 107, 15, kHidden, 0, "Printer address"},
    {id::kRefresh, K::Button, "refresh ", 277, 184, 63, 15, kHidden},
    {id::kConnectTest, K::Button, "Button5", 211, 223, 82, 32, kHidden},
    {id::kIpSet, K::Button, "IP Set", 52, 197, 53, 15, kHidden},
    {id::kOptionList, K::DropDownCombo, nullptr, 55, 237, 56, 46, kHidden | kSorted, 0, "Option"},
    {id::kOption, K::Button, "Set", 300, 242, 31, 13, kHidden},
    {id::kIdentityA, K::Button, "A-USB", 319, 16, 57, 21, kHidden},
    {id::kIdentityB, K::Button, "B-USB", 115, 234, 63, 21, kHidden},
}};

constexpr std::array<platform::ControlDef, 3> kAbout{{
    {kNoId, K::Icon, nullptr, 11, 17, 20, 20, 0, 0, "Brindel"},
    {kNoId, K::Label, "Brindel 1.0 版", 40, 17, 119, 8},
    {1, K::DefaultButton, "确定", 178, 14, 50, 14},
}};
}  // namespace

std::span<const platform::ControlDef> WindowControls() {
    return kControls;
}

std::span<const platform::ControlDef> AboutControls() {
    return kAbout;
}

}  // namespace updater
