#include "commands/setting_frames.h"

#include <gtest/gtest.h>

#include <vector>

namespace commands {
namespace {

using Bytes = std::vector<uint8_t>;

// The function codes as the printers define them: code, second code byte (-1 for none), length.
struct Expected {
    uint8_t code;
    int second;
    std::size_t length;
};
constexpr Expected kExpected[] = {
    {0x01, -1, 7},     {0x05, -1, 6},   {0x06, -1, 8},    {0x07, 0x50, 6},  {0x64, -1, 26},
    {0x65, -1, 4},     {0x66, -1, 6},   {0x67, -1, 10},   {0x68, -1, 128},  {0x69, -1, 40},
    {0x6A, -1, 6},     {0x6B, -1, 6},   {0x6C, -1, 6},    {0x6D, -1, 6},    {0x6E, -1, 6},
    {0x6F, 0x12, 128}, {0x70, 0x5B, 6}, {0x71, 0x6B, 6},  {0x72, 0x7B, 6},  {0x73, 0x89, 6},
    {0x74, -1, 6},     {0x75, 0x9A, 6}, {0x76, 0xCA, 48}, {0x77, 0xCA, 48}, {0x78, 0x99, 64},
    {0x79, 0x97, 7},   {0x7A, 0x98, 7}, {0x7B, 0xAC, 7},  {0x7C, 0xAD, 6},  {0x7D, 0xCB, 7},
    {0x7E, 0xCC, 6},   {0x7F, 0xA4, 6}, {0x80, 0xCC, 6},  {0x81, 0xAB, 6},
};

TEST(SettingFrameTable, MatchesTheFunctionCodes) {
    const auto table = SettingFrameTable();
    ASSERT_EQ(table.size(), std::size(kExpected));
    for (std::size_t i = 0; i < table.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "code " << std::hex << int{kExpected[i].code});
        EXPECT_EQ(table[i].code, kExpected[i].code);
        EXPECT_EQ(table[i].length, kExpected[i].length);
        EXPECT_EQ(table[i].secondCode.has_value(), kExpected[i].second >= 0);
        if (kExpected[i].second >= 0) {
            EXPECT_EQ(*table[i].secondCode, kExpected[i].second);
        }
        ASSERT_NE(table[i].setting, nullptr);
        EXPECT_GT(std::string(table[i].setting).size(), 0u);
        EXPECT_EQ(FindFrameLayout(kExpected[i].code), &table[i]);
    }
    for (uint8_t absent : {0x00, 0x02, 0x04, 0x08, 0x63, 0x82, 0xFF}) {
        EXPECT_EQ(FindFrameLayout(absent), nullptr) << int{absent};
    }
}

TEST(BuildSettingFrame, EveryFrameHasItsLengthAndLayout) {
    for (const Expected& e : kExpected) {
        SCOPED_TRACE(testing::Message() << "code " << std::hex << int{e.code});
        const Bytes bare = BuildSettingFrame(e.code);
        ASSERT_EQ(bare.size(), e.length);
        EXPECT_EQ(bare[0], 0x1F);
        EXPECT_EQ(bare[1], 0x1B);
        EXPECT_EQ(bare[2], e.code);
        const std::size_t valueAt = e.second >= 0 ? 4 : 3;
        if (e.second >= 0) {
            EXPECT_EQ(bare[3], e.second);
        }
        for (std::size_t i = valueAt; i < bare.size(); ++i) EXPECT_EQ(bare[i], 0) << i;

        // The value lands right after the code bytes; the rest stays zero.
        const Bytes valued = BuildSettingFrame(e.code, {0xA5});
        ASSERT_EQ(valued.size(), e.length);
        EXPECT_EQ(valued[valueAt], 0xA5);
        for (std::size_t i = valueAt + 1; i < valued.size(); ++i) EXPECT_EQ(valued[i], 0) << i;
    }
}

TEST(BuildSettingFrame, ParametersAreCutAtTheFrameLength) {
    EXPECT_EQ(BuildSettingFrame(0x65, {0x01, 0x02, 0x03}), (Bytes{0x1F, 0x1B, 0x65, 0x01}));
    EXPECT_EQ(BuildSettingFrame(0x7E, {0x01, 0x02, 0x03, 0x04}),
              (Bytes{0x1F, 0x1B, 0x7E, 0xCC, 0x01, 0x02}));

    std::vector<uint8_t> many(300);
    for (std::size_t i = 0; i < many.size(); ++i) many[i] = static_cast<uint8_t>(i + 1);
    const Bytes wifi = BuildSettingFrame(0x68, many);
    ASSERT_EQ(wifi.size(), 128u);
    EXPECT_EQ(wifi[3], 1);
    EXPECT_EQ(wifi[127], 125);
    const Bytes restore = BuildSettingFrame(0x6F, many);
    ASSERT_EQ(restore.size(), 128u);
    EXPECT_EQ(restore[3], 0x12);
    EXPECT_EQ(restore[4], 1);
    EXPECT_EQ(restore[127], 124);
}

TEST(BuildSettingFrame, MultiByteParametersAndUnknownCodes) {
    // Density: bytes 3-5 zero, value at byte 6.
    EXPECT_EQ(BuildSettingFrame(0x01, {0x00, 0x00, 0x00, 0x05}),
              (Bytes{0x1F, 0x1B, 0x01, 0x00, 0x00, 0x00, 0x05}));
    // USB identity: vendor and product identifiers in the four bytes after the code.
    EXPECT_EQ(BuildSettingFrame(0x06, {0x1F, 0xC9, 0x20, 0x16}),
              (Bytes{0x1F, 0x1B, 0x06, 0x1F, 0xC9, 0x20, 0x16, 0x00}));
    const std::vector<uint8_t> mac{0x02, 0x11, 0x22, 0x33, 0x44, 0x55};
    EXPECT_EQ(BuildSettingFrame(0x67, mac),
              (Bytes{0x1F, 0x1B, 0x67, 0x02, 0x11, 0x22, 0x33, 0x44, 0x55, 0x00}));
    EXPECT_TRUE(BuildSettingFrame(0x02, {0x01}).empty());
    EXPECT_TRUE(BuildSettingFrame(0xFF).empty());
}

}  // namespace
}  // namespace commands
