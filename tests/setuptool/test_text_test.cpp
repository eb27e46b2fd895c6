#include "setuptool/test_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/text_codec.h"

namespace setuptool {
namespace {

TEST(TestPrintBytes, WelcomeTextGoesOutUnchanged) {
    const std::string bytes = TestPrintBytes(kWelcomeText);
    EXPECT_EQ(bytes.size(), 123u);
    EXPECT_EQ(bytes, kWelcomeText);
    EXPECT_TRUE(TestPrintBytes("").empty());
}

TEST(TestPrintBytes, LineEndsBecomeCrLf) {
    EXPECT_EQ(TestPrintBytes("a\nb"), "a\r\nb");
    EXPECT_EQ(TestPrintBytes("a\rb"), "a\r\nb");
    EXPECT_EQ(TestPrintBytes("a\r\nb"), "a\r\nb");
    EXPECT_EQ(TestPrintBytes("\n\n"), "\r\n\r\n");
    EXPECT_EQ(TestPrintBytes("\r\r\n\n\r"), "\r\n\r\n\r\n\r\n");
    EXPECT_EQ(TestPrintBytes("a\u2029b\u2028c"), "a\r\nb\r\nc");
    // The edit's text with LF line ends gives the welcome bytes.
    EXPECT_EQ(TestPrintBytes("Welcome to use the needle printing and thermal series printers "
                             "produced \nby professional POS invoice printing companies!\n"),
              kWelcomeText);
    EXPECT_EQ(TestPrintBytes("中文\n"), "\xD6\xD0\xCE\xC4\r\n");
    EXPECT_EQ(TestPrintBytes("x😀\n"), "x?\r\n");
}

TEST(TestPrintBytes, LongTextIsCutWithoutSplittingACharacter) {
    // "a" then 1500 Chinese characters (3001 GBK bytes): characters end exactly at 2047.
    std::string text = "a";
    for (int i = 0; i < 1500; ++i) text += "测";
    std::string bytes = TestPrintBytes(text);
    EXPECT_EQ(bytes.size(), 2047u);
    EXPECT_EQ(platform::GbkToUtf8(bytes), text.substr(0, 1 + 1023 * 3));

    // "ab" then the same: a character straddles the limit and is dropped whole.
    text = "ab";
    for (int i = 0; i < 1500; ++i) text += "测";
    bytes = TestPrintBytes(text);
    EXPECT_EQ(bytes.size(), 2046u);
    EXPECT_EQ(platform::GbkToUtf8(bytes).find("\xEF\xBF\xBD"), std::string::npos);

    // Line-end expansion counts towards the limit, and the cut never parts CR from LF.
    bytes = TestPrintBytes(std::string(1500, '\n'));
    EXPECT_EQ(bytes.size(), 2046u);
    EXPECT_TRUE(bytes.ends_with("\r\n"));
}

TEST(TestPrintCommands, WholeTextInCommandsThatSplitNeitherCharacterNorCrLf) {
    std::string han;
    for (int i = 0; i < 1100; ++i) han += "汉";
    const std::string hanGbk = platform::Utf8ToGbk(han);
    const struct {
        std::string text;
        std::string bytes;  // all commands together
        std::vector<std::size_t> sizes;
    } cases[] = {
        {"", "", {}},
        {std::string(2047, 'a'), std::string(2047, 'a'), {2047}},
        {std::string(2048, 'a'), std::string(2048, 'a'), {2047, 1}},
        // CR LF at bytes 2046-2047: the first command ends before the CR.
        {std::string(2046, 'a') + "\n" + std::string(3000, 'b'),
         std::string(2046, 'a') + "\r\n" + std::string(3000, 'b'),
         {2046, 2047, 955}},
        // A two-byte character at bytes 2046-2047 goes to the next command.
        {"aa" + han, "aa" + hanGbk, {2046, 156}},
    };
    for (const auto& c : cases) {
        const std::vector<std::string> commands = TestPrintCommands(c.text);
        std::string joined;
        std::vector<std::size_t> sizes;
        for (const std::string& command : commands) {
            joined += command;
            sizes.push_back(command.size());
        }
        EXPECT_EQ(sizes, c.sizes);
        EXPECT_EQ(joined, c.bytes);
        EXPECT_EQ(commands.empty() ? std::string() : commands[0], TestPrintBytes(c.text));
    }
}

TEST(SendFinishText, CountInTheStatusText) {
    EXPECT_EQ(SendFinishText(1), "send finish count 1 \r\n");
    EXPECT_EQ(SendFinishText(1234), "send finish count 1234 \r\n");
}

}  // namespace
}  // namespace setuptool
