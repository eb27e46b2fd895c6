#include "commands/one_click.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commands/list_items.h"
#include "commands/setting_frames.h"
#include "platform/decimal.h"
#include "tests/commands/one_click_expected.h"

namespace commands {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(OneClick, FifteenButtonsSendTheirExactBytes) {
    const auto& kButtons = commandstest::kExpectedOneClick;
    const auto commands = OneClickCommands();
    ASSERT_EQ(commands.size(), std::size(kButtons));
    for (std::size_t i = 0; i < commands.size(); ++i) {
        SCOPED_TRACE(kButtons[i].button);
        EXPECT_EQ(commands[i].controlId, kButtons[i].button);  // control-id order
        EXPECT_EQ(commands[i].Build(0), kButtons[i].bytes);
        ASSERT_EQ(FindOneClick(kButtons[i].button), &commands[i]);
    }
    for (int notOneClick : {1003, 1006, 1090, 1091, 1023, 0, -1}) {
        EXPECT_EQ(FindOneClick(notOneClick), nullptr) << notOneClick;
    }
}

TEST(OneClick, ListDrivenButtonsTakeTheListPosition) {
    const OneClickCommand* beep = FindOneClick(1048);
    const OneClickCommand* feed = FindOneClick(1050);
    ASSERT_NE(beep, nullptr);
    ASSERT_NE(feed, nullptr);
    EXPECT_EQ(beep->listId, 1023);
    EXPECT_EQ(feed->listId, 1020);
    for (const OneClickCommand& c : OneClickCommands()) {
        if (&c != beep && &c != feed) {
            EXPECT_EQ(c.listId, 0) << c.controlId;
            EXPECT_EQ(c.Build(-1), c.Build(3)) << c.controlId;  // position ignored
        }
    }

    // Right after start-up the beeper list is at position 0; blank feed has no selection.
    EXPECT_EQ(beep->Build(kBeeperModeInitialPosition), (Bytes{0x1F, 0x1B, 0x6A, 0x00, 0x00, 0x00}));
    EXPECT_EQ(feed->Build(kBlankFeedInitialPosition), (Bytes{0x1F, 0x1B, 0x6B, 0xFF, 0x00, 0x00}));
    EXPECT_EQ(feed->Build(2), (Bytes{0x1F, 0x1B, 0x6B, 0x02, 0x00, 0x00}));  // "3行"
    EXPECT_EQ(beep->Build(5), (Bytes{0x1F, 0x1B, 0x6A, 0x05, 0x00, 0x00}));
    EXPECT_EQ(beep->Build(256), (Bytes{0x1F, 0x1B, 0x6A, 0x00, 0x00, 0x00}));
}

TEST(ListValue, LowEightBitsOfThePosition) {
    EXPECT_EQ(ListValue(-1), 0xFF);
    EXPECT_EQ(ListValue(0), 0x00);
    EXPECT_EQ(ListValue(4), 0x04);
    EXPECT_EQ(ListValue(255), 0xFF);
    EXPECT_EQ(ListValue(256), 0x00);
    EXPECT_EQ(ListValue(257), 0x01);
    EXPECT_EQ(ListValue(-2), 0xFE);
}

TEST(ListItems, ListsHoldTheirItemsInOrder) {
    const auto beeper = BeeperModeItems();
    ASSERT_EQ(beeper.size(), 6u);
    for (std::size_t i = 0; i < beeper.size(); ++i) {
        EXPECT_EQ(std::string(beeper[i]), std::to_string(i));
    }
    const auto feed = BlankFeedItems();
    ASSERT_EQ(feed.size(), 5u);
    for (std::size_t i = 0; i < feed.size(); ++i) {
        EXPECT_EQ(std::string(feed[i]), std::to_string(i + 1) + "行");
    }
    // Sorted combo boxes keep these orders: each list is already ascending as text.
    for (std::size_t i = 1; i < feed.size(); ++i) {
        EXPECT_LT(std::string(feed[i - 1]), std::string(feed[i]));
        EXPECT_LT(std::string(beeper[i - 1]), std::string(beeper[i]));
    }

    const auto baud = BaudRateItems();
    const int kRates[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 128000};
    ASSERT_EQ(baud.size(), std::size(kRates));
    for (std::size_t i = 0; i < baud.size(); ++i) {
        EXPECT_EQ(platform::ParseDecimal(baud[i]), kRates[i]);
        EXPECT_EQ(std::string(baud[i]), std::to_string(kRates[i]));
    }
    EXPECT_EQ(std::string(baud[kBaudRateInitialPosition]), "9600");
}

}  // namespace
}  // namespace commands
