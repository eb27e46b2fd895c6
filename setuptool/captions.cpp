#include "setuptool/captions.h"

#include <array>

namespace setuptool {
namespace {

// Texts as the windows show them, including the system's own spellings ("Denisty",
// "Cuter Setting", "Black walk").

// Main window, in the order the captions are applied.
constexpr std::array<CaptionEntry, 38> kMainWindow{{
    {1055, "Port Select", "端口选择"},
    {1000, "LPT", "并口"},
    {1002, "NET", "网络"},
    {1056, "IP Addr Set", "IP地址设置"},
    {1045, "Printer IP Addr", "打印机IP地址"},
    {1057, "IP Mask", "网段"},
    {1058, "IP Gate", "网关"},
    {1059, "New IP", "新IP地址"},
    {1060, "IP ,MAC can be set using USB or network", "IP,MAC参数可通过USB或者网口设置"},
    {1061, "Print Info", "打印信息"},
    {1029, "Auto Send", "自动发送"},
    {1003, "Print", "打印"},
    {1004, "Cut", "切刀"},
    {1005, "Cash", "弹钱箱"},
    {1006, "Other Set", "其他设置"},
    {1012, "Set IP", "设置IP"},
    {1014, "Scan Printer", "搜索网络打印机"},
    {1015, "DHCP OPEN", "DHCP 打开"},
    {1016, "DHCP CLOSE", "DHCP 关闭"},
    {1018, "Connect test", "链接测试"},
    {1024, "中文", "English"},
    {1044, "WIFI Setting", "WIFI 设置"},
    {1048, "Beep Set", "蜂鸣器设置"},
    {1050, "Black walk", "空白走纸"},
    {1079, "Factory Restore", "恢复出厂设置"},
    {1080, "80 Used for 58", "80打印58宽"},
    {1081, "Light On", "灯光打开"},
    {1082, "Light OFF", "灯光关闭"},
    {1083, "Sound On", "声音开启"},
    {1084, "Sound Off", "声音关闭"},
    {1086, "Feed after Cut", "切纸后走纸"},
    {1087, "UnFeed after Cut", "切纸后不走纸"},
    {1090, "Params setting", "出厂参数设置"},
    {1091, "Vol Set", "声音设置"},
    {1105, "Baud rate", "波特率"},
    {1103, "Print SelfTest", "打印自检页"},
    {1099, "Router Auto On", "路由器自动适配开"},
    {1100, "Router Auto Off", "路由器自动适配关"},
}};

// Printer settings dialog; its command buttons all read "Confirm".
constexpr std::array<CaptionEntry, 27> kSettings{{
    {1062, "Print Mode", "打印模式"},    {1063, "Code Page", "字符页"},
    {1064, "Bar Print", "条码打印"},     {1065, "Denisty", "打印浓度"},
    {1066, "RePrint", "重打印"},         {1067, "Lang Setting", "语言设置"},
    {1068, "Code Setting", "编码设置"},  {1069, "Print Speed", "打印速度"},
    {1089, "Cuter Setting", "切刀设置"}, {1094, "BT Setting", "蓝牙设置"},
    {1106, "Auto Cut", "自动切纸"},      {1107, "Compress Print", "压缩打印"},
    {1105, "Baud Rate", "波特率"},       {1003, "Confirm", "确认"},
    {1004, "Confirm", "确认"},           {1005, "Confirm", "确认"},
    {1006, "Confirm", "确认"},           {1012, "Confirm", "确认"},
    {1016, "Confirm", "确认"},           {1018, "Confirm", "确认"},
    {1024, "Confirm", "确认"},           {1043, "Confirm", "确认"},
    {1044, "Confirm", "确认"},           {1048, "Confirm", "确认"},
    {1050, "Confirm", "确认"},           {1079, "Confirm", "确认"},
    {1080, "Confirm", "确认"},
}};

// Device list dialog.
constexpr std::array<CaptionEntry, 5> kDeviceList{{
    {1070, "Device list", "设备列表"},
    {1071, "IP Addr", "IP地址"},
    {1072, "Mask", "网段"},
    {1073, "Gate", "网关"},
    {1003, "Setting", "设置"},
}};

// WiFi configuration dialog; 2 is its Cancel button.
constexpr std::array<CaptionEntry, 7> kWifi{{
    {1074, "WIFI Password", "WIFI密码"},
    {1075, "WIFI Static IP", "WIFI静态IP"},
    {1076, "WIFI Mask", "WIFI网段"},
    {1077, "WIFI Gate", "WIFI网关"},
    {1003, "Setting", "设置"},
    {1004, "Factory Restore", "恢复出厂设置"},
    {2, "Quit", "退出"},
}};

// Voice and alarm dialog.
constexpr std::array<CaptionEntry, 7> kVoice{{
    {1095, "Volume", "音量大小"},
    {1005, "Vol-", "音量-"},
    {1003, "Vol+", "音量+"},
    {1096, "Alarm Index", "报警语音"},
    {1004, "Confirm", "确定"},
    {1108, "Alarm time Interval", "报警时间间隔"},
    {1006, "Confirm", "确定"},
}};

}  // namespace

std::span<const CaptionEntry> CaptionTable(int dialogId) {
    switch (dialogId) {
        case kMainWindowDialog:
            return kMainWindow;
        case kSettingsDialog:
            return kSettings;
        case kDeviceListDialog:
            return kDeviceList;
        case kWifiDialog:
            return kWifi;
        case kVoiceDialog:
            return kVoice;
        default:
            return {};
    }
}

std::string Caption(int dialogId, int id, int languageFlag) {
    for (const CaptionEntry& entry : CaptionTable(dialogId)) {
        if (entry.id == id) return languageFlag == 0 ? entry.chinese : entry.english;
    }
    return {};
}

}  // namespace setuptool
