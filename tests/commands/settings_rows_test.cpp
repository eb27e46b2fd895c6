#include "commands/settings_rows.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace commands {
namespace {

using Bytes = std::vector<uint8_t>;

const SettingRow& Row(const char* name) {
    const SettingRow* row = FindSettingRow(name);
    EXPECT_NE(row, nullptr) << name;
    static const SettingRow none{};
    return row ? *row : none;
}

struct RowCase {
    const char* row;
    int position;
    Bytes expected;  // empty: nothing is sent
};

const RowCase kRowCases[] = {
    {"code-page", 0, {0x1F, 0x1B, 0x05, 0x00, 0x00, 0x00}},
    {"code-page", 23, {0x1F, 0x1B, 0x05, 0x17, 0x00, 0x00}},
    {"code-page", 24, {0x1F, 0x1B, 0x05, 0x18, 0x00, 0x00}},
    {"code-page", 25, {0x1F, 0x1B, 0x05, 0xFF, 0x00, 0x00}},
    {"code-page", 105, {0x1F, 0x1B, 0x05, 0x69, 0x00, 0x00}},
    {"density", 1, {0x1F, 0x1B, 0x01, 0x00, 0x00, 0x00, 0x01}},
    {"density", 9, {0x1F, 0x1B, 0x01, 0x00, 0x00, 0x00, 0x09}},
    {"cutter", -1, {0x1F, 0x1B, 0x75, 0x9A, 0xFF, 0x00}},
    {"cutter", 1, {0x1F, 0x1B, 0x75, 0x9A, 0x01, 0x00}},
    {"reprint", -1, {0x1F, 0x1B, 0x66, 0xFF, 0x00, 0x00}},
    {"printer-language", 5, {0x1F, 0x1B, 0x6C, 0x05, 0x00, 0x00}},
    {"auto-cut", 1, {0x1F, 0x1B, 0x81, 0xAB, 0x01, 0x00}},
    {"auto-cut", -1, {}},
    {"bluetooth-address-mode", 1, {0x1F, 0x1B, 0x07, 0x50, 0x01, 0x00}},
    {"bluetooth-address-mode", 2, {}},
    {"bluetooth-address-mode", -1, {}},
    {"compressed-printing", -1, {}},
    {"compressed-printing", 4, {0x1F, 0x1B, 0x7C, 0xAD, 0x04, 0x00}},
    {"compressed-printing", 5, {}},
    {"baud-rate", 3, {0x1F, 0x1B, 0x7F, 0xA4, 0x03, 0x00}},
    {"baud-rate", 8, {0x1F, 0x1B, 0x7F, 0xA4, 0x08, 0x00}},
    {"baud-rate", 9, {}},
    {"baud-rate", -1, {}},
    {"print-speed", -1, {0x1F, 0x1B, 0x6D, 0xFF, 0x00, 0x00}},
    {"encoding", 1, {0x1F, 0x1B, 0x74, 0x01, 0x00, 0x00}},
    {"usb-identity-a", -1, {0x1F, 0x1B, 0x06, 0xC9, 0x1F, 0x16, 0x20, 0x00}},
    {"usb-identity-b", -1, {0x1F, 0x1B, 0x06, 0x71, 0x04, 0x55, 0x00, 0x00}},
};

TEST(SettingRows, EachRowSendsItsFrameOnlyInRange) {
    for (const RowCase& c : kRowCases) {
        SCOPED_TRACE(testing::Message() << c.row << " at " << c.position);
        const RowFrame frame = BuildRowFrame(Row(c.row), c.position);
        EXPECT_EQ(frame.outcome, c.expected.empty() ? RowOutcome::OutOfRange : RowOutcome::Send);
        EXPECT_EQ(frame.bytes, c.expected);
    }
    for (const char* inert : {"print-mode", "bar-print"}) {
        EXPECT_EQ(BuildRowFrame(Row(inert), 0).outcome, RowOutcome::NoAction) << inert;
        EXPECT_TRUE(SettingItems(Row(inert), 1).empty());
    }
}

TEST(SettingRows, NamesAndButtonsAreUniqueAndFound) {
    std::set<std::string> names;
    std::set<int> buttons;
    for (const SettingRow& row : SettingRows()) {
        EXPECT_TRUE(names.insert(row.name).second) << row.name;
        EXPECT_TRUE(buttons.insert(row.buttonId).second) << row.name;
        EXPECT_EQ(FindSettingRow(row.name), &row);
        EXPECT_EQ(FindSettingRowByButton(row.buttonId), &row);
    }
    EXPECT_EQ(names.size(), 16u);
    EXPECT_EQ(FindSettingRow("no-such-setting"), nullptr);
}

TEST(SettingRows, ListsFollowTheLanguageAndKeepTheirPolarity) {
    using Items = std::vector<std::string>;
    EXPECT_EQ(SettingItems(Row("cutter"), 1), (Items{"On", "Off"}));
    EXPECT_EQ(SettingItems(Row("cutter"), 0), (Items{"开", "关"}));
    EXPECT_EQ(SettingItems(Row("reprint"), 1), (Items{"Off", "On"}));
    EXPECT_EQ(SettingItems(Row("auto-cut"), 0), (Items{"关", "开"}));
    EXPECT_EQ(SettingItems(Row("encoding"), 0), (Items{"UNICODE", "UTF-8"}));
    EXPECT_EQ(SettingItems(Row("density"), 0)[9], "");

    const auto& pages = CodePageItems();
    ASSERT_EQ(pages.size(), 106u);
    EXPECT_EQ(pages[0], "PC437(Std.Europe)");
    EXPECT_EQ(pages[23], "PC1001");
    EXPECT_EQ(pages[24], "100:ANSI1250 Cen Europe");
    EXPECT_EQ(pages[25], "101:ANSI1251 Cyril");
    EXPECT_EQ(pages[105], "181:OEM869 Katharevousa");
    EXPECT_EQ(SettingItems(Row("code-page"), 0), pages);

    struct Initial {
        const char* row;
        int position;
    } const initial[] = {
        {"code-page", 0}, {"density", 1}, {"printer-language", 0}, {"auto-cut", 0},
        {"baud-rate", 3}, {"cutter", -1}, {"reprint", -1},         {"compressed-printing", -1}};
    for (const Initial& i : initial) EXPECT_EQ(Row(i.row).initial, i.position) << i.row;
}

TEST(BluetoothNames, DefaultsChineseNamesAndTheLimit) {
    const SettingRow& row = Row("bluetooth-names");
    Bytes expected(64, 0x00);
    const std::string body = std::string("\x1F\x1B\x78\x99") + "Ostarin" + '\0' + "Ostarin_BLE";
    std::copy(body.begin(), body.end(), expected.begin());
    RowFrame frame = BuildRowFrame(row, -1, kDefaultSppName, kDefaultLeName);
    EXPECT_EQ(frame.outcome, RowOutcome::Send);
    EXPECT_EQ(frame.bytes, expected);

    // GBK names; empty names leave the separator right after the code bytes.
    frame = BuildRowFrame(row, -1, "打印", "");
    ASSERT_EQ(frame.bytes.size(), 64u);
    EXPECT_EQ(Bytes(frame.bytes.begin() + 4, frame.bytes.begin() + 9),
              (Bytes{0xB4, 0xF2, 0xD3, 0xA1, 0x00}));
    Bytes empty(64, 0x00);
    std::copy_n(body.begin(), 4, empty.begin());
    EXPECT_EQ(BuildRowFrame(row, -1, "", "").bytes, empty);

    // 59 bytes of names fill the frame to its last byte; one more sends nothing.
    frame = BuildRowFrame(row, -1, std::string(30, 'a'), std::string(29, 'b'));
    EXPECT_EQ(frame.outcome, RowOutcome::Send);
    EXPECT_EQ(frame.bytes[34], 0x00);
    EXPECT_EQ(frame.bytes[63], 'b');
    frame = BuildRowFrame(row, -1, std::string(30, 'a'), std::string(30, 'b'));
    EXPECT_EQ(frame.outcome, RowOutcome::NamesTooLong);
    EXPECT_TRUE(frame.bytes.empty());
    frame =
        BuildRowFrame(row, -1, std::string(20, 'a'), std::string(20, 'b') + "打印打印打印打印打印");
    EXPECT_EQ(frame.outcome, RowOutcome::NamesTooLong);  // 61 bytes as GBK
}

}  // namespace
}  // namespace commands
