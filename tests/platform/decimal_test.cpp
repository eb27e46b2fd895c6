#include "platform/decimal.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <climits>
#include <optional>
#include <utility>

#include "platform/clock.h"
#include "tests/fakes/manual_clock.h"

namespace platform {
namespace {

TEST(ExtractDecimal, ReadsLikeAFormattedExtraction) {
    EXPECT_EQ(ExtractDecimal("0"), 0);
    EXPECT_EQ(ExtractDecimal(" 1abc"), 1);
    EXPECT_EQ(ExtractDecimal("\r\n\t\v\f 42\r\n"), 42);
    EXPECT_EQ(ExtractDecimal("-1"), -1);
    EXPECT_EQ(ExtractDecimal("+7"), 7);
    EXPECT_EQ(ExtractDecimal("007"), 7);
    EXPECT_EQ(ExtractDecimal("12 34"), 12);
    EXPECT_EQ(ExtractDecimal("2147483647"), INT_MAX);
    EXPECT_EQ(ExtractDecimal("-2147483648"), INT_MIN);
}

TEST(ExtractDecimal, NoNumberOrOutOfRangeIsEmpty) {
    for (const char* text : {"", "   ", "abc", "-", "+", "+ 1", "--1", "x1",
                             "\xE4\xB8\xAD"
                             "1",
                             "2147483648", "-2147483649", "99999999999999999999999999"}) {
        EXPECT_FALSE(ExtractDecimal(text).has_value()) << '"' << text << '"';
    }
}

TEST(ParseDecimal, AtoiRule) {
    EXPECT_EQ(ParseDecimal("500"), 500);
    EXPECT_EQ(ParseDecimal("128000"), 128000);
    EXPECT_EQ(ParseDecimal("  -5"), -5);
    EXPECT_EQ(ParseDecimal("12ms"), 12);
    EXPECT_EQ(ParseDecimal("abc"), 0);
    EXPECT_EQ(ParseDecimal(""), 0);
    EXPECT_EQ(ParseDecimal("99999999999999999999"), INT_MAX);
    EXPECT_EQ(ParseDecimal("-99999999999999999999"), INT_MIN);
    EXPECT_EQ(ParseDecimal(std::string_view("123", 2)), 12);  // honours the view's length
}

// The dotted quads the command lines and the broadcast endpoints take (as inet_pton reads them).
TEST(DottedQuad, FourPlainOctetsAndNothingElse) {
    using Octets = std::array<uint8_t, 4>;
    const std::pair<const char*, std::optional<Octets>> cases[] = {
        {"192.168.0.199", Octets{192, 168, 0, 199}},
        {"255.255.255.255", Octets{255, 255, 255, 255}},
        {"0.0.0.0", Octets{0, 0, 0, 0}},
        {"127.0.0.1", Octets{127, 0, 0, 1}},
        {"256.1.1.1", std::nullopt},
        {"1.2.3", std::nullopt},
        {"1.2.3.4.5", std::nullopt},
        {"01.2.3.4", std::nullopt},  // a leading zero
        {"1.2.3.4 ", std::nullopt},
        {" 1.2.3.4", std::nullopt},
        {"1..3.4", std::nullopt},
        {"1.2.3.", std::nullopt},
        {"+1.2.3.4", std::nullopt},
        {"1.2.3.1000", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [text, octets] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(ParseDottedQuad(text), octets);
    }
}

TEST(Clock, SystemAndManualClocks) {
    const int64_t now = std::chrono::duration_cast<std::chrono::seconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
    EXPECT_NEAR(static_cast<double>(SystemClock().SecondsSinceEpoch()), static_cast<double>(now),
                2.0);
    fakes::ManualClock manual(5);
    const Clock& clock = manual;
    EXPECT_EQ(clock.SecondsSinceEpoch(), 5);
    manual.Set(1700000000);
    EXPECT_EQ(clock.SecondsSinceEpoch(), 1700000000);
}

}  // namespace
}  // namespace platform
