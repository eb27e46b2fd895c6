#include "platform/text_codec.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace platform {
namespace {

const std::string kZhongWen = "\xD6\xD0\xCE\xC4";  // "中文" in GBK
const std::string kReplacementChar = "\xEF\xBF\xBD";

TEST(Utf8ToGbk, ConvertsChineseAndPassesAscii) {
    EXPECT_EQ(Utf8ToGbk("中文"), kZhongWen);
    EXPECT_EQ(Utf8ToGbk("ab中文cd"), "ab" + kZhongWen + "cd");
    EXPECT_EQ(Utf8ToGbk("打印"), "\xB4\xF2\xD3\xA1");
    EXPECT_EQ(Utf8ToGbk(""), "");
    const std::string withNul("a\0b", 3);
    EXPECT_EQ(Utf8ToGbk(withNul), withNul);
}

TEST(Utf8ToGbk, UnrepresentableCharacterBecomesQuestionMark) {
    EXPECT_EQ(Utf8ToGbk("a😀b"), "a?b");  // four-byte sequence
    EXPECT_EQ(Utf8ToGbk("한"), "?");     // Hangul syllables are outside GBK
    EXPECT_EQ(Utf8ToGbk("中😀😀文"), "\xD6\xD0??\xCE\xC4");
}

TEST(Utf8ToGbk, InvalidUtf8BecomesQuestionMark) {
    EXPECT_EQ(Utf8ToGbk("a\xFF"
                        "b"),
              "a?b");
    EXPECT_EQ(Utf8ToGbk("\x80\x80"), "??");  // stray continuation bytes
    EXPECT_EQ(Utf8ToGbk("\xC0\xAF"
                        "x"),
              "?x");  // overlong '/'
    EXPECT_EQ(Utf8ToGbk("\xED\xA0\x80"
                        "x"),
              "?x");  // encoded surrogate
    EXPECT_EQ(Utf8ToGbk("\xE4\xB8"
                        "a"),
              "?a");                            // cut-short sequence mid text
    EXPECT_EQ(Utf8ToGbk("ok\xE4\xB8"), "ok?");  // cut short at the end
    EXPECT_EQ(Utf8ToGbk("\xF4\x90\x80\x80"
                        "x"),
              "?x");  // beyond U+10FFFF
    EXPECT_EQ(Utf8ToGbk("\xE4\xB8\xAD\xFF\xE6\x96\x87"), "\xD6\xD0?\xCE\xC4");
}

TEST(Utf8ToGbk, LongTextWithManyBadSequencesKeepsEveryCharacter) {
    std::string in;
    std::string expected;
    for (int i = 0; i < 3000; ++i) {
        in += (i % 3 == 0) ? "\xFF" : "中";
        expected += (i % 3 == 0) ? std::string("?") : std::string("\xD6\xD0");
    }
    EXPECT_EQ(Utf8ToGbk(in), expected);
}

TEST(GbkToUtf8, RoundTripAndInvalidBytes) {
    const std::string text = "Print 打印自检页, 路由器自动适配开 / 切纸后不走纸 123\r\n";
    EXPECT_EQ(GbkToUtf8(Utf8ToGbk(text)), text);
    EXPECT_EQ(GbkToUtf8(kZhongWen), "中文");
    EXPECT_EQ(GbkToUtf8("a\xFF"
                        "b"),
              "a" + kReplacementChar + "b");
    EXPECT_EQ(GbkToUtf8("a\xD6"), "a" + kReplacementChar);    // lead byte without trail
    EXPECT_EQ(GbkToUtf8("\x81 x"), kReplacementChar + " x");  // the blank is kept
}

TEST(GbkToUtf8, OutputGrowsPastTheFirstEstimate) {
    // 2000 invalid bytes (3 bytes each out) followed by 1000 characters (3 bytes each out): more
    // than twice the input, so the output buffer must grow while converting.
    std::string in(2000, '\xFF');
    std::string expected;
    for (int i = 0; i < 2000; ++i) expected += kReplacementChar;
    for (int i = 0; i < 1000; ++i) {
        in += "\xD6\xD0";
        expected += "中";
    }
    EXPECT_EQ(GbkToUtf8(in), expected);
}

TEST(ToUtf8, SingleByteCodePages) {
    struct Case {
        const char* charset;
        std::string in;
        std::optional<std::string> out;
    };
    const Case cases[] = {
        {"CP437", "caf\x82 \xB0", "café ░"},
        {"CP1252", "\x80 5", "€ 5"},
        {"CP1252",
         "a\x81"
         "b",
         "a" + kReplacementChar + "b"},  // a byte the page leaves empty
        {"CP866", "\x8F\xE0\xA8\xAD\xE2\xA5\xE0", "Принтер"},
        {"CP1258", "Vi\xEA\xF2", "Việ"},  // a base character held for a combining mark
        {"NO-SUCH-PAGE", "abc", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.charset);
        EXPECT_EQ(ToUtf8(c.in, c.charset), c.out);
    }
}

TEST(TruncateGbk, NeverSplitsATwoByteCharacter) {
    // A Chinese character straddling the 2047-byte limit is dropped whole.
    const std::string straddling = std::string(2046, 'a') + "\xD6\xD0";
    EXPECT_EQ(TruncateGbk(straddling, 2047).size(), 2046u);
    const std::string fitting = std::string(2045, 'a') + "\xD6\xD0";
    EXPECT_EQ(TruncateGbk(fitting, 2047).size(), 2047u);

    // Trail bytes in the lead-byte range: only a walk from the start finds the boundaries.
    const std::string chars = "\xD6\xD0\xD6\xD0\xCE\xC4";  // 中中文
    EXPECT_EQ(TruncateGbk(chars, 5), "\xD6\xD0\xD6\xD0");
    EXPECT_EQ(TruncateGbk("a" + chars, 4), "a\xD6\xD0");
    EXPECT_EQ(TruncateGbk("\xD6"
                          "A"
                          "\xD6\xD0",
                          3),
              "\xD6"
              "A");  // trail 'A' is ASCII range

    EXPECT_EQ(TruncateGbk(chars, 0), "");
    EXPECT_EQ(TruncateGbk(chars, 100), chars);
    EXPECT_EQ(TruncateGbk("ab\xD6", 10), "ab\xD6");  // a dangling lead byte is kept as is
    EXPECT_EQ(TruncateGbk("\x80"
                          "a",
                          1),
              "\x80");  // 0x80 is a single-byte character
}

TEST(TruncateGbk, EveryLimitGivesAPrefixOfWholeCharacters) {
    std::string text;
    for (int i = 0; i < 200; ++i) text += (i % 5 == 0) ? std::string("x") : Utf8ToGbk("测");
    for (std::size_t max = 0; max <= text.size() + 1; ++max) {
        const std::string_view cut = TruncateGbk(text, max);
        ASSERT_LE(cut.size(), max);
        ASSERT_GE(cut.size() + 1, std::min(max, text.size()));  // at most one byte short
        const std::string back = GbkToUtf8(cut);
        ASSERT_EQ(back.find(kReplacementChar), std::string::npos) << "max " << max;
    }
}

TEST(TextCodec, ConcurrentConversionsStayCorrect) {
    // The UI thread and worker threads may convert at the same time.
    std::string text;
    for (int i = 0; i < 200; ++i) text += "打印测试 print test 😀\n";
    const std::string expected = Utf8ToGbk(text);
    const std::string back = GbkToUtf8(expected);
    ASSERT_EQ(back.size(), text.size() - 200 * 3);  // each emoji came back as '?'
    std::vector<int> bad(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                if (Utf8ToGbk(text) != expected || GbkToUtf8(expected) != back) {
                    ++bad[static_cast<std::size_t>(t)];
                }
            }
        });
    }
    for (std::thread& th : threads) th.join();
    for (int b : bad) EXPECT_EQ(b, 0);
}

}  // namespace
}  // namespace platform
