#include "setuptool/captions.h"

#include <array>

namespace setuptool {
namespace {

// Texts as the window shows them, including the system's own spellings ("Black walk").
constexpr std::array<platform::CaptionEntry, 38> kMainWindow{{
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

}  // namespace

std::span<const platform::CaptionEntry> MainWindowCaptions() {
    return kMainWindow;
}

}  // namespace setuptool
