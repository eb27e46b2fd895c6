// The WiFi dialog's and Brindel's address dialog's logic on a window without a toolkit: starting
// values, captions in both languages, the frames each button hands over, the address-set packet
// on a real loopback socket, and the messages.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "link/command_buffer.h"
#include "netcfg/address_dialog.h"
#include "netcfg/address_set.h"
#include "netcfg/wifi_dialog.h"
#include "tests/fakes/fake_dialog_host.h"
#include "tests/fakes/submitted.h"
#include "tests/fakes/udp_peer.h"
#include "tests/fakes/wait.h"

namespace netcfg {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using fakes::FakeDialogHost;
using fakes::TakeSubmitted;

// A frame of `length` bytes that starts with `head`.
Bytes Padded(const std::string& head, std::size_t length) {
    Bytes bytes(head.begin(), head.end());
    bytes.resize(length, 0x00);
    return bytes;
}

struct Wifi : ::testing::TestWithParam<int> {
    Wifi() { host.Attach(dialog); }
    bool English() const { return GetParam() != 0; }

    printerlink::CommandBuffer buffer;
    FakeDialogHost host{WifiDialog::Layout()};
    WifiDialog dialog{buffer, host.MessageLog(), GetParam(), Ipv4{10, 1, 2, 199}};
};

INSTANTIATE_TEST_SUITE_P(Languages, Wifi, ::testing::Values(0, 1),
                         [](const auto& info) { return info.param ? "English" : "Chinese"; });

TEST_P(Wifi, SendsItsThreeFramesAndStaysOpenUntilQuit) {
    EXPECT_STREQ(host.Layout().title, "Dialog");
    for (const auto& entry : WifiDialogCaptions())
        EXPECT_EQ(host.Text(entry.id), English() ? entry.english : entry.chinese) << entry.id;
    EXPECT_EQ(host.Text(2), English() ? "Quit" : "退出");
    EXPECT_EQ(host.Text(1), "OK");
    EXPECT_EQ(host.Text(1009), "10.1.2.199");
    EXPECT_EQ(host.Text(1010), "255.255.255.0");
    EXPECT_EQ(host.Text(1011), "192.168.0.1");

    ASSERT_TRUE(host.Type(1007, " abcd"));
    ASSERT_TRUE(host.Type(1030, "pass1234"));
    host.Click(1);  // trimmed SSID, 00, password
    EXPECT_EQ(TakeSubmitted(buffer), Padded(std::string("\x1F\x1B\x68"
                                                        "abcd") +
                                                '\0' + "pass1234",
                                            128));
    host.Click(1);  // again: sent again, the dialog stays open
    EXPECT_EQ(TakeSubmitted(buffer).value_or(Bytes{}).size(), 128u);
    host.Click(1004);  // as typed, no separator
    EXPECT_EQ(TakeSubmitted(buffer), Padded("\x1F\x1B\x6F\x12 abcdpass1234", 128));
    EXPECT_TRUE(host.MessageLog().Messages().empty());

    host.SetOctets(1009, {10, 1, 2, 200});
    host.Click(1003);
    const auto address = TakeSubmitted(buffer);
    ASSERT_TRUE(address.has_value());
    EXPECT_EQ(*address, StaticAddressFrame({10, 1, 2, 200}, {255, 255, 255, 0}, {192, 168, 0, 1}));
    EXPECT_EQ(host.MessageLog().Messages(), std::vector<std::string>{"set ok"});

    ASSERT_TRUE(host.Type(1007, std::string(64, 's')));
    host.Click(1);
    EXPECT_EQ(TakeSubmitted(buffer), std::nullopt);
    EXPECT_EQ(host.MessageLog().Messages().back(),
              WifiTooLongMessage(WifiTooLong::Ssid, GetParam()));
    EXPECT_FALSE(host.Ended());
    host.Click(2);
    EXPECT_TRUE(host.Ended());
    EXPECT_EQ(host.Result(), platform::kDialogCancel);
    EXPECT_TRUE(host.UnknownIds().empty());
}

// The device Brindel listed: MAC 00 11 22 33 44 55, identity 01 02, at 127.0.0.1.
DeviceEntry Listed() {
    DeviceEntry entry;
    const uint8_t reply[] = {0x01, 0x02, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x01, 0x02,
                             0x00, 0x00, 0x00, 0x00, 127,  0,    0,    1,    0xFF, 0xFF};
    std::copy(std::begin(reply), std::end(reply), entry.bytes.begin());
    return entry;
}

TEST(AddressDialog, ShowsThePickedDeviceAndBroadcastsThePacketOnOk) {
    namespace aid = addressid;
    fakes::UdpPeer segment;
    FakeDialogHost host(AddressDialog::Layout());
    AddressDialog dialog(Listed(), {0x7F000001, segment.port()}, host.MessageLog());
    host.Attach(dialog);
    EXPECT_STREQ(host.Layout().title, "对话");
    std::vector<std::string> shown;
    for (int box : aid::kMacBoxes) shown.push_back(host.Text(box));
    for (int field : {aid::kAddress, aid::kMask, aid::kGateway}) shown.push_back(host.Text(field));
    EXPECT_EQ(shown, (std::vector<std::string>{"0", "11", "22", "33", "44", "55", "127.0.0.1",
                                               "255.255.255.0", "192.168.0.1"}));
    EXPECT_FALSE(host.Checked(aid::kDhcp));

    // A box without a byte: the message names it, the dialog stays open.
    ASSERT_TRUE(host.Type(aid::kMacBoxes[5], "zz"));
    host.Click(aid::kOk);
    EXPECT_EQ(host.MessageLog().Messages(), std::vector<std::string>{MacBoxErrorText(6, 0)});
    EXPECT_FALSE(host.Ended());

    ASSERT_TRUE(host.Type(aid::kMacBoxes[5], "56"));
    ASSERT_TRUE(host.Click(aid::kDhcp));
    host.SetOctets(aid::kAddress, {192, 168, 1, 50});
    host.Click(aid::kOk);
    EXPECT_TRUE(host.Ended());
    EXPECT_EQ(host.Result(), platform::kDialogOk);
    ASSERT_TRUE(fakes::WaitUntil([&] { return !segment.Datagrams().empty(); }, 5s));
    const Bytes expected{0x5A, 192,  168,  1,    50,   255,  255,  255,  0,    0x00, 0x11,
                         0x22, 0x33, 0x44, 0x56, 192,  168,  0,    1,    0x00, 0x11, 0x22,
                         0x33, 0x44, 0x55, 0x01, 0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
    EXPECT_EQ(segment.Datagrams().front().bytes, expected);
    EXPECT_EQ(host.MessageLog().Messages().size(), 1u);
}

TEST(AddressDialog, ARefusedSendKeepsTheDialogOpen) {
    FakeDialogHost host(AddressDialog::Layout());
    AddressDialog dialog(Listed(), {0x7F000001, 0}, host.MessageLog());  // port 0: refused
    host.Attach(dialog);
    host.Click(addressid::kOk);
    EXPECT_EQ(host.MessageLog().Messages(), std::vector<std::string>{"Error 1"});
    EXPECT_FALSE(host.Ended());
}

}  // namespace
}  // namespace netcfg
