#include "commands/settings_rows.h"

#include <algorithm>
#include <cstdio>

#include "commands/list_items.h"
#include "commands/setting_frames.h"
#include "platform/text_codec.h"

namespace commands {
namespace {

using Items = std::span<const char* const>;

constexpr std::array<const char*, 2> kOnOffEn{"On", "Off"};
constexpr std::array<const char*, 2> kOnOffZh{"开", "关"};
constexpr std::array<const char*, 2> kOffOnEn{"Off", "On"};
constexpr std::array<const char*, 2> kOffOnZh{"关", "开"};
constexpr std::array<const char*, 10> kDensities{"0", "1", "2", "3", "4", "5", "6", "7", "8", ""};
constexpr std::array<const char*, 6> kLanguagesEn{
    "Chinese", "Traditional Chinese", "ASCII", "EUC-KR", "Arabic", "Thai"};
constexpr std::array<const char*, 6> kLanguagesZh{"简体中文", "繁体中文", "字符",
                                                  "韩语",     "阿拉伯语", "泰语"};
constexpr std::array<const char*, 7> kSpeeds{"MODE 0", "MODE 1", "MODE 2", "MODE 3",
                                             "MODE 4", "MODE 5", "MODE 6"};
constexpr std::array<const char*, 2> kEncodings{"UNICODE", "UTF-8"};  // sorted list
constexpr std::array<const char*, 2> kAddressModesEn{"BLE and SPP same addr",
                                                     "BLE and SPP dif addr"};
constexpr std::array<const char*, 2> kAddressModesZh{"BLE与SPP一致", "BLE与SPP不一致"};
constexpr std::array<const char*, 5> kCompressionEn{"Normal", "Skyhigh", "High", "Middle", "Low"};
constexpr std::array<const char*, 5> kCompressionZh{"正常", "极高", "高", "中", "低"};

constexpr std::array<const char*, 24> kCodePagesNamed{
    "PC437(Std.Europe)",
    "Katakana",
    "PC850(Multilingual)",
    "PC860(Portuguese)",
    "PC863(Canadian)",
    "PC865(Nordic)",
    "ISO8859-1,Latin-1 West Europe",
    "ISO8859-7,Greek",
    "ISO8859-8,Hebrew)",
    "ISO8859-2,CP1250,East Europe",
    "Iran",
    "WPC1252",
    "PC866(cyrillic#2)",
    "PC852(Latin2)",
    "PC858",
    "IranII",
    "Latvian",
    "Arabic",
    "CP1251,pt151",
    "PC747",
    "wpc1257",
    "Vietnam",
    "PC864",
    "PC1001",
};
// Numbered 100 onward, in list order.
constexpr std::array<const char*, 82> kCodePagesNumbered{
    "ANSI1250 Cen Europe", "ANSI1251 Cyril",         "ANSI1252 Latin",    "ANSI1253 Greek",
    "ANSI1254 Turkic",     "ANSI1255 Hebrew",        "ANSI1256 Arabic",   "ANSI1257 Baltic",
    "ANSI1258 Vietnam",    "ANSI874 Thai",           "IBM1026 Turkic",    "IBM1047 Latin",
    "IBM1140 America",     "IBM1141 Germany",        "IBM1142 Denmark",   "IBM1143 Finland",
    "IBM1144 Italy",       "IBM1145 Latin",          "IBM1146 Britain",   "IBM1148 Standard",
    "IBM1149 Iceland",     "IBM20273 Germany",       "IBM20277 Denmark",  "IBM20278 Finlang",
    "IBM20280 Italy",      "IBM20284 Latin",         "IBM20285 Britain",  "IBM20297 France",
    "IBM20420 Arabic",     "IBM20423 Greek",         "IBM20424 Hebrew",   "IBM20838 Thai",
    "IBM20871 Iceland",    "IBM20880 Cyril",         "IBM20905 Turkic",   "IBM20924 Latin",
    "IBM21025 Cyril",      "IBM37 America",          "IBM500 Standard",   "IBM870 Multilingual",
    "IBM875 Katharevousa", "ISO20269 Latin",         "ISO28591 Latin",    "ISO28592 Cen Europe",
    "ISO28593 Latin",      "ISO28594 Baltic",        "ISO28595 Cyril",    "ISO28596 Arabic",
    "ISO28597 Greek",      "ISO28598 Hebrew",        "ISO28599 Latin",    "ISO28603 Latin",
    "ISO28605 Latin",      "ISO38598 Hebrew",        "MAC10000 Roman",    "MAC10004 Arabic",
    "MAC10005 Hebrew",     "MAC10006 Greek",         "MAC10007 Cyril",    "MAC10010 Romania",
    "MAC10017 Ukraine",    "MAC10021 Thai",          "MAC10029 Latin",    "MAC10079 Icelandic",
    "MAC10081 Turkic",     "MAC10082 Croatia",       "OEM437 America",    "OEM737 Greek",
    "OEM775 Polo",         "OEM850 MultiLatin",      "OEM852 Latin",      "OEM855 Cyril",
    "OEM857 Turkic",       "OEM858 MultiLatin",      "OEM860 Portuguese", "OEM861 Iceland",
    "OEM862 Hebrew",       "OEM863 Canadian French", "OEM864 Arabic",     "OEM865 Norwegian",
    "OEM866 Russian",      "OEM869 Katharevousa",
};
constexpr int kFirstCodePageNumber = 100;
constexpr int kCodePageSentAsFF = 25;  // "101:ANSI1251 Cyril"

constexpr Items kNoItems{};

// Vendor and product identifier, each low byte first: 1FC9/2016 and 0471/0055.
constexpr std::array<uint8_t, 4> kUsbIdentityA{0xC9, 0x1F, 0x16, 0x20};
constexpr std::array<uint8_t, 4> kUsbIdentityB{0x71, 0x04, 0x55, 0x00};

using V = RowValue;
constexpr bool kAlways = false;
constexpr bool kInRange = true;

// The dialog's rows. The polarity of the on/off lists is their item order: the cutter list has
// "On" first, the reprint and automatic-cut lists "Off" first.
const std::array<SettingRow, 16> kRows{{
    {"cutter", 1089, 1088, 1043, 0x75, V::ListPosition, kAlways, 0, 0, kOnOffEn, kOnOffZh, -1},
    {"print-mode", 1062, 1028, 1006, 0, V::Inert, kAlways, 0, 0, kNoItems, kNoItems, -1},
    {"code-page", 1063, 1020, 1003, 0x05, V::CodePage, kAlways, 0, 0, kNoItems, kNoItems, 0},
    {"bar-print", 1064, 1023, 1004, 0, V::Inert, kAlways, 0, 0, kNoItems, kNoItems, -1},
    {"density", 1065, 1025, 1005, 0x01, V::Density, kAlways, 0, 0, kDensities, kDensities, 1},
    {"reprint", 1066, 1039, 1012, 0x66, V::ListPosition, kAlways, 0, 0, kOffOnEn, kOffOnZh, -1},
    {"printer-language", 1067, 1052, 1016, 0x6C, V::ListPosition, kAlways, 0, 0, kLanguagesEn,
     kLanguagesZh, 0},
    {"auto-cut", 1106, 1104, 1080, 0x81, V::ListPosition, kInRange, 0, 4, kOffOnEn, kOffOnZh, 0},
    {"print-speed", 1069, 1053, 1018, 0x6D, V::ListPosition, kAlways, 0, 0, kSpeeds, kSpeeds, -1,
     true},
    {"encoding", 1068, 1054, 1024, 0x74, V::ListPosition, kAlways, 0, 0, kEncodings, kEncodings, -1,
     true},
    {"bluetooth-names", 1094, 1007, 1048, 0x78, V::Names, kAlways, 0, 0, kNoItems, kNoItems, -1},
    {"bluetooth-address-mode", 0, 1097, 1044, 0x07, V::ListPosition, kInRange, 0, 1,
     kAddressModesEn, kAddressModesZh, -1},
    {"compressed-printing", 1107, 1098, 1050, 0x7C, V::ListPosition, kInRange, 0, 4, kCompressionEn,
     kCompressionZh, -1},
    // Every listed rate is sent, 1200 to 128000 baud.
    {"baud-rate", 1105, 1102, 1079, 0x7F, V::ListPosition, kInRange, 0, 8, BaudRateItems(),
     BaudRateItems(), kBaudRateInitialPosition},
    {"usb-identity-a", 0, 0, 1014, 0x06, V::Fixed, kAlways, 0, 0, kNoItems, kNoItems, -1, true,
     kUsbIdentityA},
    {"usb-identity-b", 0, 0, 1015, 0x06, V::Fixed, kAlways, 0, 0, kNoItems, kNoItems, -1, true,
     kUsbIdentityB},
}};

std::vector<std::string> BuildCodePageItems() {
    std::vector<std::string> items(kCodePagesNamed.begin(), kCodePagesNamed.end());
    int number = kFirstCodePageNumber;
    for (const char* name : kCodePagesNumbered) {
        char text[64];
        std::snprintf(text, sizeof text, "%d:%s", number++, name);
        items.emplace_back(text);
    }
    return items;
}

template <class Predicate>
const SettingRow* FindRow(Predicate matches) {
    const auto it = std::find_if(kRows.begin(), kRows.end(), matches);
    return it != kRows.end() ? &*it : nullptr;
}

}  // namespace

std::span<const SettingRow> SettingRows() {
    return kRows;
}

const SettingRow* FindSettingRow(std::string_view name) {
    return FindRow([name](const SettingRow& row) { return row.name == name; });
}

const SettingRow* FindSettingRowByButton(int buttonId) {
    return FindRow([buttonId](const SettingRow& row) { return row.buttonId == buttonId; });
}

const std::vector<std::string>& CodePageItems() {
    static const std::vector<std::string> items = BuildCodePageItems();
    return items;
}

std::vector<std::string> SettingItems(const SettingRow& row, int languageFlag) {
    if (row.value == RowValue::CodePage) return CodePageItems();
    const Items items = languageFlag == 0 ? row.chinese : row.english;
    return std::vector<std::string>(items.begin(), items.end());
}

RowFrame BuildRowFrame(const SettingRow& row, int position, std::string_view sppName,
                       std::string_view leName) {
    if (row.bounded && (position < row.low || position > row.high))
        return {RowOutcome::OutOfRange, {}};
    const uint8_t n = ListValue(position);
    switch (row.value) {
        case RowValue::ListPosition:
            return {RowOutcome::Send, BuildSettingFrame(row.code, {n})};
        case RowValue::CodePage:
            return {
                RowOutcome::Send,
                BuildSettingFrame(row.code, {position == kCodePageSentAsFF ? uint8_t{0xFF} : n})};
        case RowValue::Density:
            return {RowOutcome::Send, BuildSettingFrame(row.code, {0x00, 0x00, 0x00, n})};
        case RowValue::Fixed:
            return {RowOutcome::Send, BuildSettingFrame(row.code, row.fixed)};
        case RowValue::Names: {
            const std::string spp = platform::Utf8ToGbk(sppName);
            const std::string le = platform::Utf8ToGbk(leName);
            if (spp.size() + 1 + le.size() > kBluetoothNamesRoom)
                return {RowOutcome::NamesTooLong, {}};
            std::vector<uint8_t> params(spp.begin(), spp.end());
            params.push_back(0x00);
            params.insert(params.end(), le.begin(), le.end());
            return {RowOutcome::Send, BuildSettingFrame(row.code, params)};
        }
        case RowValue::Inert:
            break;
    }
    return {RowOutcome::NoAction, {}};
}

const char* BluetoothNamesTooLongMessage(int languageFlag) {
    return languageFlag == 0 ? "蓝牙名称太长:BT与BLE名称合计最多59字节,未发送。"
                             : "Bluetooth names too long: BT and BLE together may take at most 59 "
                               "bytes. Nothing was sent.";
}

}  // namespace commands
