// The settings, voice and factory-restore dialogs' logic on a window without a toolkit, in both
// languages: captions, list fills and initial choices, the bytes every button hands to the
// command buffer, and the messages.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "commands/factory_dialog.h"
#include "commands/settings_dialog.h"
#include "commands/settings_rows.h"
#include "commands/voice_dialog.h"
#include "link/command_buffer.h"
#include "tests/fakes/fake_dialog_host.h"
#include "tests/fakes/manual_clock.h"
#include "tests/fakes/submitted.h"

namespace commands {
namespace {

using Bytes = std::vector<uint8_t>;
using fakes::FakeDialogHost;

// A 6- or 7-byte setting frame.
Bytes Frame(std::initializer_list<uint8_t> head, std::size_t length) {
    Bytes bytes(head);
    bytes.resize(length, 0x00);
    return bytes;
}

// A press of `button` (after `list` was set to `position` unless `list` is 0) and what it hands
// over; nullopt: nothing.
struct Press {
    int list;
    int position;
    int button;
    std::optional<Bytes> sent;
};

struct Language : ::testing::TestWithParam<int> {
    int Flag() const { return GetParam(); }
    bool English() const { return GetParam() != 0; }
    // Runs `presses` in order on `host`; each one's bytes, or that nothing came.
    void Run(FakeDialogHost& host, std::span<const Press> presses) {
        for (const Press& p : presses) {
            SCOPED_TRACE(testing::Message()
                         << "button " << p.button << " list " << p.list << " at " << p.position);
            if (p.list != 0) {
                ASSERT_TRUE(host.Choose(p.list, p.position));
            }
            host.Click(p.button);
            EXPECT_EQ(fakes::TakeSubmitted(buffer), p.sent);
        }
    }
    void ExpectCaptions(const FakeDialogHost& host, std::span<const platform::CaptionEntry> table) {
        for (const auto& entry : table)
            EXPECT_EQ(host.Text(entry.id), English() ? entry.english : entry.chinese) << entry.id;
    }

    printerlink::CommandBuffer buffer;
};

INSTANTIATE_TEST_SUITE_P(Languages, Language, ::testing::Values(0, 1),
                         [](const auto& info) { return info.param ? "English" : "Chinese"; });

TEST_P(Language, SettingsDialogFillsItsRowsAndEachButtonSendsItsOwnRow) {
    FakeDialogHost host(SettingsDialog::Layout());
    SettingsDialog dialog(buffer, host.MessageLog(), Flag());
    host.Attach(dialog);
    EXPECT_STREQ(host.Layout().title, "");
    ExpectCaptions(host, SettingsDialogCaptions());
    EXPECT_EQ(host.Items(1088), (English() ? std::vector<std::string>{"On", "Off"}
                                           : std::vector<std::string>{"开", "关"}));
    EXPECT_EQ(host.Items(1039), (English() ? std::vector<std::string>{"Off", "On"}
                                           : std::vector<std::string>{"关", "开"}));
    EXPECT_EQ(host.Items(1054), (std::vector<std::string>{"UNICODE", "UTF-8"}));  // sorted
    EXPECT_EQ(host.Items(1020).size(), 106u);
    EXPECT_EQ(host.Items(1025).size(), 10u);
    EXPECT_TRUE(host.Items(1028).empty());  // the inert rows' lists stay empty
    EXPECT_TRUE(host.Items(1023).empty());
    EXPECT_EQ(host.Text(1102), "9600");
    EXPECT_EQ(host.Text(1007), "Ostarin");
    EXPECT_EQ(host.Text(1030), "Ostarin_BLE");
    for (const auto& [list, initial] : std::vector<std::pair<int, int>>{{1088, -1},
                                                                        {1020, 0},
                                                                        {1025, 1},
                                                                        {1039, -1},
                                                                        {1052, 0},
                                                                        {1104, 0},
                                                                        {1097, -1},
                                                                        {1098, -1},
                                                                        {1102, 3},
                                                                        {1053, -1},
                                                                        {1054, -1}}) {
        EXPECT_EQ(host.Position(list), initial) << list;
    }

    Bytes names(64, 0x00);
    const std::string body = std::string("\x1F\x1B\x78\x99Ostarin") + '\0' + "Ostarin_BLE";
    std::copy(body.begin(), body.end(), names.begin());
    const Press presses[] = {
        // Right after opening: the initial choices.
        {0, 0, 1043, Frame({0x1F, 0x1B, 0x75, 0x9A, 0xFF}, 6)},
        {0, 0, 1006, std::nullopt},  // print mode: no action
        {0, 0, 1003, Frame({0x1F, 0x1B, 0x05, 0x00}, 6)},
        {0, 0, 1004, std::nullopt},  // bar print: no action
        {0, 0, 1005, Frame({0x1F, 0x1B, 0x01, 0x00, 0x00, 0x00, 0x01}, 7)},
        {0, 0, 1012, Frame({0x1F, 0x1B, 0x66, 0xFF}, 6)},
        {0, 0, 1016, Frame({0x1F, 0x1B, 0x6C, 0x00}, 6)},
        {0, 0, 1080, Frame({0x1F, 0x1B, 0x81, 0xAB, 0x00}, 6)},
        {0, 0, 1018, Frame({0x1F, 0x1B, 0x6D, 0xFF}, 6)},
        {0, 0, 1024, Frame({0x1F, 0x1B, 0x74, 0xFF}, 6)},
        {0, 0, 1048, names},
        {0, 0, 1044, std::nullopt},  // no address mode chosen
        {0, 0, 1050, std::nullopt},  // no compression chosen
        {0, 0, 1079, Frame({0x1F, 0x1B, 0x7F, 0xA4, 0x03}, 6)},
        {0, 0, 1014, std::nullopt},  // hidden and disabled
        {0, 0, 1015, std::nullopt},
        // After a choice in the row's own list.
        {1088, 1, 1043, Frame({0x1F, 0x1B, 0x75, 0x9A, 0x01}, 6)},
        {1020, 25, 1003, Frame({0x1F, 0x1B, 0x05, 0xFF}, 6)},
        {1020, 105, 1003, Frame({0x1F, 0x1B, 0x05, 0x69}, 6)},
        {1025, 9, 1005, Frame({0x1F, 0x1B, 0x01, 0x00, 0x00, 0x00, 0x09}, 7)},
        {1039, 1, 1012, Frame({0x1F, 0x1B, 0x66, 0x01}, 6)},
        {1052, 5, 1016, Frame({0x1F, 0x1B, 0x6C, 0x05}, 6)},
        {1104, 1, 1080, Frame({0x1F, 0x1B, 0x81, 0xAB, 0x01}, 6)},
        {1097, 1, 1044, Frame({0x1F, 0x1B, 0x07, 0x50, 0x01}, 6)},
        {1098, 4, 1050, Frame({0x1F, 0x1B, 0x7C, 0xAD, 0x04}, 6)},
        {1102, 7, 1079, Frame({0x1F, 0x1B, 0x7F, 0xA4, 0x07}, 6)},
        {1053, 6, 1018, Frame({0x1F, 0x1B, 0x6D, 0x06}, 6)},
        {1054, 1, 1024, Frame({0x1F, 0x1B, 0x74, 0x01}, 6)},
    };
    Run(host, presses);

    // Typed text selects the item it names, other text none.
    ASSERT_TRUE(host.Type(1102, "115200"));
    host.Click(1079);
    EXPECT_EQ(fakes::TakeSubmitted(buffer), Frame({0x1F, 0x1B, 0x7F, 0xA4, 0x07}, 6));
    ASSERT_TRUE(host.Type(1102, "115201"));
    host.Click(1079);
    EXPECT_EQ(fakes::TakeSubmitted(buffer), std::nullopt);

    // Names that do not fit: a message, nothing sent.
    ASSERT_TRUE(host.Type(1030, std::string(60, 'x')));
    host.Click(1048);
    EXPECT_EQ(fakes::TakeSubmitted(buffer), std::nullopt);
    EXPECT_EQ(host.MessageLog().Messages(),
              std::vector<std::string>{BluetoothNamesTooLongMessage(Flag())});
    EXPECT_FALSE(host.Ended());
    EXPECT_TRUE(host.UnknownIds().empty());
}

TEST_P(Language, VoiceDialogSendsStepsAndChoices) {
    FakeDialogHost host(VoiceDialog::Layout());
    VoiceDialog dialog(buffer, Flag());
    host.Attach(dialog);
    EXPECT_STREQ(host.Layout().title, "Dialog");
    ExpectCaptions(host, VoiceDialogCaptions());
    EXPECT_EQ(host.Text(1004), English() ? "Confirm" : "确定");
    EXPECT_EQ(host.Items(1028).size(), 8u);
    ASSERT_EQ(host.Items(1020).size(), 7u);
    EXPECT_EQ(host.Items(1020)[6], English() ? "Always" : "一直响");

    const Press presses[] = {
        {0, 0, 1006, Frame({0x1F, 0x1B, 0x7D, 0xCB, 0xFF}, 7)},  // before a choice
        {0, 0, 1004, Frame({0x1F, 0x1B, 0x7B, 0xAC, 0xFF}, 7)},
        {1020, 6, 1006, Frame({0x1F, 0x1B, 0x7D, 0xCB, 0x06}, 7)},
        {1028, 7, 1004, Frame({0x1F, 0x1B, 0x7B, 0xAC, 0x07}, 7)},
        {0, 0, 1003, Frame({0x1F, 0x1B, 0x79, 0x97}, 7)},
        {0, 0, 1005, Frame({0x1F, 0x1B, 0x7A, 0x98}, 7)},
    };
    Run(host, presses);
    EXPECT_TRUE(host.UnknownIds().empty());
}

TEST(FactoryDialog, SendsDatedSetsStaysOpenAndQuits) {
    printerlink::CommandBuffer buffer;
    fakes::ManualClock clock(1798200000);  // 2026-12-25 12:00 UTC
    FakeDialogHost host(FactoryDialog::Layout());
    FactoryDialog dialog(buffer, clock);
    host.Attach(dialog);
    EXPECT_STREQ(host.Layout().title, "Dialog");
    EXPECT_EQ(host.Text(1), "T55Q 出厂设置(无声光)");  // the same in both languages
    EXPECT_EQ(host.Text(2), "退出");

    host.Click(1);
    const auto quiet = fakes::TakeSubmitted(buffer);
    ASSERT_TRUE(quiet.has_value());
    EXPECT_EQ(*quiet, FactoryFrame(FactorySet::Quiet, {2026, 12, 25}));
    host.Click(kFactorySoundAndLightButtonId);
    EXPECT_EQ(fakes::TakeSubmitted(buffer),
              FactoryFrame(FactorySet::SoundAndLight, LocalDateOf(clock.SecondsSinceEpoch())));
    EXPECT_FALSE(host.Ended());
    host.Click(2);
    EXPECT_TRUE(host.Ended());
    EXPECT_EQ(host.Result(), platform::kDialogCancel);
    EXPECT_EQ(fakes::TakeSubmitted(buffer), std::nullopt);
}

}  // namespace
}  // namespace commands
