#include "netcfg/wifi_frames.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace netcfg {
namespace {

using Bytes = std::vector<uint8_t>;

// A 128-byte frame: `head` then `body`, zero filled.
Bytes Frame128(Bytes head, const std::string& body) {
    head.insert(head.end(), body.begin(), body.end());
    head.resize(128, 0x00);
    return head;
}

const std::string kPrintUtf8 = "\xE6\x89\x93\xE5\x8D\xB0";  // "打印"
const std::string kPrintGbk = "\xB4\xF2\xD3\xA1";

struct WifiCase {
    const char* name;
    std::string ssid, password;
    std::string credentials;  // bytes 3.. of frame 68
    std::string restore;      // bytes 4.. of frame 6F 12
};

TEST(WifiFrames, CredentialsAndRestoreTakeTheTextsTheirOwnWay) {
    using std::string_literals::operator""s;
    const WifiCase cases[] = {
        {"leading space", " abcd", "pass1234", "abcd\0pass1234"s, " abcdpass1234"},
        {"Chinese SSID", "打印", "pw", kPrintUtf8 + '\0' + "pw", kPrintGbk + "pw"},
        {"Chinese password", "ab", "打印", "ab\0"s + kPrintGbk, "ab" + kPrintGbk},
        {"spaces only", "   ", "key", "\0key"s, "   key"},
        {"trimmed ends, tabs kept", "\tnet  ", "  pw \t ", "\tnet\0pw \t"s, "\tnet    pw \t "},
        {"empty", "", "", "\0"s, ""},
    };
    for (const WifiCase& c : cases) {
        SCOPED_TRACE(c.name);
        const WifiFrame credentials = CredentialsFrame(c.ssid, c.password);
        EXPECT_EQ(credentials.tooLong, WifiTooLong::None);
        EXPECT_EQ(credentials.bytes, Frame128({0x1F, 0x1B, 0x68}, c.credentials));
        const WifiFrame restore = WifiRestoreFrame(c.ssid, c.password);
        EXPECT_EQ(restore.tooLong, WifiTooLong::None);
        EXPECT_EQ(restore.bytes, Frame128({0x1F, 0x1B, 0x6F, 0x12}, c.restore));
    }
}

struct LimitCase {
    const char* name;
    std::string ssid, password;
    WifiTooLong credentials, restore;
};

TEST(WifiFrames, OverlongTextsSendNothing) {
    const std::string s63(63, 's'), p63(63, 'p');
    std::string chinese21, chinese22;  // 63 and 66 bytes as UTF-8, 42 and 44 as GBK
    for (int i = 0; i < 21; ++i) chinese21 += "打";
    chinese22 = chinese21 + "打";
    using W = WifiTooLong;
    const LimitCase cases[] = {
        {"63 + 61", s63, std::string(61, 'p'), W::None, W::None},
        {"63 + 62", s63, std::string(62, 'p'), W::Together, W::Together},
        {"SSID 64", std::string(64, 's'), "", W::Ssid, W::None},
        {"password 64", "", std::string(64, 'p'), W::Password, W::None},
        {"trimmed spaces do not count", " " + s63 + " ", "  " + std::string(61, 'p'), W::None,
         W::Together},
        {"restore 124", std::string(100, 's'), std::string(24, 'p'), W::Ssid, W::None},
        {"restore 125", std::string(100, 's'), std::string(25, 'p'), W::Ssid, W::Together},
        {"Chinese SSID 63 bytes", chinese21, "", W::None, W::None},
        {"Chinese SSID 66 bytes", chinese22, "", W::Ssid, W::None},
        {"both 63", s63, p63, W::Together, W::Together},
    };
    for (const LimitCase& c : cases) {
        SCOPED_TRACE(c.name);
        const WifiFrame credentials = CredentialsFrame(c.ssid, c.password);
        EXPECT_EQ(credentials.tooLong, c.credentials);
        EXPECT_EQ(credentials.bytes.size(), c.credentials == W::None ? 128u : 0u);
        const WifiFrame restore = WifiRestoreFrame(c.ssid, c.password);
        EXPECT_EQ(restore.tooLong, c.restore);
        EXPECT_EQ(restore.bytes.size(), c.restore == W::None ? 128u : 0u);
    }
    // The longest credentials fill the frame to its last byte.
    EXPECT_EQ(CredentialsFrame(s63, std::string(61, 'p')).bytes[127], 'p');
    for (W which : {W::Ssid, W::Password, W::Together}) {
        EXPECT_STRNE(WifiTooLongMessage(which, 0), WifiTooLongMessage(which, 1));
        EXPECT_STRNE(WifiTooLongMessage(which, 1), "");
    }
}

TEST(WifiFrames, StaticAddressLayout) {
    Bytes expected(40, 0x00);
    const Bytes head{0x1F, 0x1B, 0x69, 0x00, 10, 1, 2, 199, 255, 255, 255, 0};
    std::copy(head.begin(), head.end(), expected.begin());
    expected[18] = 192, expected[19] = 168, expected[20] = 0, expected[21] = 1;
    EXPECT_EQ(StaticAddressFrame({10, 1, 2, 199}, {255, 255, 255, 0}, {192, 168, 0, 1}), expected);
}

TEST(WifiStartAddress, FirstUpInterfaceThenLookupThenFallback) {
    const InterfaceAddress lo{{127, 0, 0, 1}, true, true};
    const InterfaceAddress down{{10, 9, 9, 9}, false, false};
    const InterfaceAddress lan{{192, 168, 5, 20}, true, false};
    const InterfaceAddress wlan{{10, 1, 2, 34}, true, false};
    struct Case {
        std::vector<InterfaceAddress> interfaces;
        std::optional<Ipv4> lookup;
        Ipv4 expected;
    } const cases[] = {
        {{lo, lan, wlan}, Ipv4{172, 16, 0, 4}, {192, 168, 5, 199}},
        {{lo, down, wlan}, std::nullopt, {10, 1, 2, 199}},
        {{lo, down}, Ipv4{172, 16, 0, 4}, {172, 16, 0, 199}},
        {{lo}, Ipv4{127, 0, 1, 1}, {192, 168, 0, 199}},  // the usual Linux host-name answer
        {{}, std::nullopt, {192, 168, 0, 199}},
    };
    for (const Case& c : cases) EXPECT_EQ(PickWifiStartAddress(c.interfaces, c.lookup), c.expected);
    EXPECT_EQ(WifiStartAddress()[3], 199);
}

}  // namespace
}  // namespace netcfg
