#include "setuptool/captions.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "platform/text_codec.h"

namespace setuptool {
namespace {

TEST(CaptionTable, SizesAndOrder) {
    EXPECT_EQ(CaptionTable(kMainWindowDialog).size(), 38u);
    EXPECT_EQ(CaptionTable(kSettingsDialog).size(), 27u);
    EXPECT_EQ(CaptionTable(kDeviceListDialog).size(), 5u);
    EXPECT_EQ(CaptionTable(kWifiDialog).size(), 7u);
    EXPECT_EQ(CaptionTable(kVoiceDialog).size(), 7u);
    for (int untranslated : {100, 138, 0, -1, 130}) {
        EXPECT_TRUE(CaptionTable(untranslated).empty()) << untranslated;
    }

    const auto main = CaptionTable(kMainWindowDialog);
    EXPECT_EQ(main.front().id, 1055);
    EXPECT_EQ(main[1].id, 1000);
    EXPECT_EQ(main.back().id, 1100);

    // The settings dialog's fourteen command buttons, in the order they are applied.
    const std::vector<int> kConfirmIds{1003, 1004, 1005, 1006, 1012, 1016, 1018,
                                       1024, 1043, 1044, 1048, 1050, 1079, 1080};
    const auto settings = CaptionTable(kSettingsDialog);
    for (std::size_t i = 0; i < kConfirmIds.size(); ++i) {
        const CaptionEntry& e = settings[settings.size() - kConfirmIds.size() + i];
        EXPECT_EQ(e.id, kConfirmIds[i]);
        EXPECT_STREQ(e.english, "Confirm");
        EXPECT_STREQ(e.chinese, "确认");
    }
}

TEST(CaptionTable, IdsUniqueAndEveryTextFitsGbk) {
    for (int dialog :
         {kMainWindowDialog, kSettingsDialog, kDeviceListDialog, kWifiDialog, kVoiceDialog}) {
        std::set<int> ids;
        for (const CaptionEntry& e : CaptionTable(dialog)) {
            EXPECT_TRUE(ids.insert(e.id).second) << dialog << " repeats " << e.id;
            for (const char* text : {e.english, e.chinese}) {
                ASSERT_NE(text, nullptr);
                EXPECT_FALSE(std::string(text).empty()) << dialog << "/" << e.id;
                // Windows get these texts as GBK: none may turn into '?'.
                const std::string gbk = platform::Utf8ToGbk(text);
                EXPECT_EQ(gbk.find('?'), std::string::npos) << dialog << "/" << e.id;
                EXPECT_EQ(platform::GbkToUtf8(gbk), text);
            }
        }
    }
}

TEST(Caption, LanguageFlagPicksTheText) {
    // The language button names the other language.
    EXPECT_EQ(Caption(kMainWindowDialog, 1024, 0), "English");
    EXPECT_EQ(Caption(kMainWindowDialog, 1024, 1), "中文");
    EXPECT_EQ(Caption(kMainWindowDialog, 1024, 2), "中文");  // any non-zero flag is English
    EXPECT_EQ(Caption(kMainWindowDialog, 1024, -1), "中文");

    EXPECT_EQ(Caption(kMainWindowDialog, 1060, 1), "IP ,MAC can be set using USB or network");
    EXPECT_EQ(Caption(kMainWindowDialog, 1060, 0), "IP,MAC参数可通过USB或者网口设置");
    EXPECT_EQ(Caption(kMainWindowDialog, 1015, 0), "DHCP 打开");
    EXPECT_EQ(Caption(kMainWindowDialog, 1050, 1), "Black walk");
    EXPECT_EQ(Caption(kMainWindowDialog, 1099, 0), "路由器自动适配开");
    EXPECT_EQ(Caption(kMainWindowDialog, 1105, 1), "Baud rate");
    EXPECT_EQ(Caption(kSettingsDialog, 1105, 1), "Baud Rate");
    EXPECT_EQ(Caption(kSettingsDialog, 1065, 1), "Denisty");
    EXPECT_EQ(Caption(kSettingsDialog, 1065, 0), "打印浓度");
    EXPECT_EQ(Caption(kSettingsDialog, 1089, 1), "Cuter Setting");
    EXPECT_EQ(Caption(kDeviceListDialog, 1003, 0), "设置");
    EXPECT_EQ(Caption(kWifiDialog, 2, 1), "Quit");
    EXPECT_EQ(Caption(kWifiDialog, 2, 0), "退出");
    EXPECT_EQ(Caption(kVoiceDialog, 1004, 0), "确定");
    EXPECT_EQ(Caption(kVoiceDialog, 1003, 1), "Vol+");
    EXPECT_EQ(Caption(kVoiceDialog, 1005, 0), "音量-");
}

TEST(Caption, IdsOutsideTheTableGiveEmptyText) {
    // Fixed captions (COM, USB, MAC) are not in the main window's table.
    for (int id : {1101, 1001, 1043, 1078, 1085, 0}) {
        EXPECT_EQ(Caption(kMainWindowDialog, id, 0), "") << id;
        EXPECT_EQ(Caption(kMainWindowDialog, id, 1), "") << id;
    }
    EXPECT_EQ(Caption(kSettingsDialog, 1014, 1), "");
    EXPECT_EQ(Caption(138, 1003, 1), "");
    EXPECT_EQ(Caption(kVoiceDialog, 2, 1), "");
}

}  // namespace
}  // namespace setuptool
