// Tessary's caption tables, each kept with its window: sizes, order, unique ids, texts that GBK
// holds, and the language flag picking the text.
#include "platform/captions.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "commands/settings_dialog.h"
#include "commands/voice_dialog.h"
#include "netcfg/device_list_dialog.h"
#include "netcfg/wifi_dialog.h"
#include "platform/text_codec.h"
#include "setuptool/captions.h"

namespace {

using platform::Caption;
using platform::CaptionEntry;

struct Table {
    const char* window;
    std::span<const CaptionEntry> entries;
    std::size_t size;
};

std::vector<Table> Tables() {
    return {
        {"main window", setuptool::MainWindowCaptions(), 38},
        {"settings", commands::SettingsDialogCaptions(), 27},
        {"device list", netcfg::DeviceListCaptions(), 5},
        {"wifi", netcfg::WifiDialogCaptions(), 7},
        {"voice", commands::VoiceDialogCaptions(), 7},
    };
}

TEST(CaptionTable, SizesAndOrder) {
    for (const Table& table : Tables()) EXPECT_EQ(table.entries.size(), table.size) << table.window;
    const auto main = setuptool::MainWindowCaptions();
    EXPECT_EQ(main.front().id, 1055);
    EXPECT_EQ(main[1].id, 1000);
    EXPECT_EQ(main.back().id, 1100);

    // The settings dialog's fourteen command buttons, in the order they are applied.
    const std::vector<int> kConfirmIds{1003, 1004, 1005, 1006, 1012, 1016, 1018,
                                       1024, 1043, 1044, 1048, 1050, 1079, 1080};
    const auto settings = commands::SettingsDialogCaptions();
    for (std::size_t i = 0; i < kConfirmIds.size(); ++i) {
        const CaptionEntry& e = settings[settings.size() - kConfirmIds.size() + i];
        EXPECT_EQ(e.id, kConfirmIds[i]);
        EXPECT_STREQ(e.english, "Confirm");
        EXPECT_STREQ(e.chinese, "确认");
    }
}

TEST(CaptionTable, IdsUniqueAndEveryTextFitsGbk) {
    for (const Table& table : Tables()) {
        std::set<int> ids;
        for (const CaptionEntry& e : table.entries) {
            EXPECT_TRUE(ids.insert(e.id).second) << table.window << " repeats " << e.id;
            for (const char* text : {e.english, e.chinese}) {
                ASSERT_NE(text, nullptr);
                EXPECT_FALSE(std::string(text).empty()) << table.window << "/" << e.id;
                // Windows get these texts as GBK: none may turn into '?'.
                const std::string gbk = platform::Utf8ToGbk(text);
                EXPECT_EQ(gbk.find('?'), std::string::npos) << table.window << "/" << e.id;
                EXPECT_EQ(platform::GbkToUtf8(gbk), text);
            }
        }
    }
}

TEST(Caption, LanguageFlagPicksTheText) {
    const auto main = setuptool::MainWindowCaptions();
    const auto settings = commands::SettingsDialogCaptions();
    const auto voice = commands::VoiceDialogCaptions();
    const auto deviceList = netcfg::DeviceListCaptions();
    const auto wifi = netcfg::WifiDialogCaptions();
    // The language button names the other language.
    EXPECT_EQ(Caption(main, 1024, 0), "English");
    EXPECT_EQ(Caption(main, 1024, 1), "中文");
    EXPECT_EQ(Caption(main, 1024, 2), "中文");  // any non-zero flag is English
    EXPECT_EQ(Caption(main, 1024, -1), "中文");

    EXPECT_EQ(Caption(main, 1060, 1), "IP ,MAC can be set using USB or network");
    EXPECT_EQ(Caption(main, 1060, 0), "IP,MAC参数可通过USB或者网口设置");
    EXPECT_EQ(Caption(main, 1015, 0), "DHCP 打开");
    EXPECT_EQ(Caption(main, 1050, 1), "Black walk");
    EXPECT_EQ(Caption(main, 1099, 0), "路由器自动适配开");
    EXPECT_EQ(Caption(main, 1105, 1), "Baud rate");
    EXPECT_EQ(Caption(settings, 1105, 1), "Baud Rate");
    EXPECT_EQ(Caption(settings, 1065, 1), "Denisty");
    EXPECT_EQ(Caption(settings, 1065, 0), "打印浓度");
    EXPECT_EQ(Caption(settings, 1089, 1), "Cuter Setting");
    EXPECT_EQ(Caption(deviceList, 1003, 0), "设置");
    EXPECT_EQ(Caption(wifi, 2, 1), "Quit");
    EXPECT_EQ(Caption(wifi, 2, 0), "退出");
    EXPECT_EQ(Caption(voice, 1004, 0), "确定");
    EXPECT_EQ(Caption(voice, 1003, 1), "Vol+");
    EXPECT_EQ(Caption(voice, 1005, 0), "音量-");
}

TEST(Caption, IdsOutsideTheTableGiveEmptyText) {
    const auto main = setuptool::MainWindowCaptions();
    // Fixed captions (COM, USB, MAC) are not in the main window's table.
    for (int id : {1101, 1001, 1043, 1078, 1085, 0}) {
        EXPECT_EQ(Caption(main, id, 0), "") << id;
        EXPECT_EQ(Caption(main, id, 1), "") << id;
    }
    EXPECT_EQ(Caption(commands::SettingsDialogCaptions(), 1014, 1), "");
    EXPECT_EQ(Caption(commands::VoiceDialogCaptions(), 2, 1), "");
}

}  // namespace
