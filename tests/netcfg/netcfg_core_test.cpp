// The network configuration core: acceptance and dedupe of both programs, list lines,
// address-set packet, address frames, MAC box reading.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "netcfg/address_set.h"
#include "netcfg/device_table.h"

namespace netcfg {
namespace {

using Bytes = std::vector<uint8_t>;
using O = DeviceTable::Offer;

// A reply: bytes 0 and 1, MAC ending in `tag`, address 10.0.0.`tag`, mask FF FF FF 00, then
// filler, cut to `length`.
Bytes Reply(uint8_t b0, uint8_t b1, uint8_t tag, std::size_t length = 30) {
    Bytes r{b0, b1, 0, 0x11, 0x22, 0x33, 0x44, tag, 1, 2, 3, 4, 5, 6, 10, 0, 0, tag, 255, 255, 255};
    r.resize(40, 0xEE);
    r.resize(length);
    return r;
}

TEST(DeviceTable, AcceptanceTestOfEachProgram) {
    Bytes badMask = Reply(1, 0, 1);
    badMask[19] = 0xFE;
    const struct {
        Bytes reply;
        bool tessary, brindel;
    } cases[] = {
        {Reply(0x01, 0, 1), true, true},
        {Reply(0x00, 0, 1), false, true},
        {Reply(0x0A, 0x0A, 1), true, true},
        {Reply(0x0B, 0, 1), true, false},
        {Reply(0x80, 0, 1), false, false},
        {Reply(0x01, 0x85, 1), true, false},
        {badMask, true, false},
        {Bytes{0x01}, true, false},  // missing bytes 00
        {Bytes{}, false, false},
    };
    for (const auto& c : cases) {
        DeviceTable tessary(TessaryPolicy()), brindel(BrindelPolicy());
        EXPECT_EQ(tessary.OfferReply(c.reply) == O::Stored, c.tessary)
            << testing::PrintToString(c.reply);
        EXPECT_EQ(brindel.OfferReply(c.reply) == O::Stored, c.brindel)
            << testing::PrintToString(c.reply);
    }
    Bytes request(30, 0);
    request[0] = 0x58;
    EXPECT_EQ(DiscoveryRequest(TessaryPolicy()), request);
    request.resize(24);
    EXPECT_EQ(DiscoveryRequest(BrindelPolicy()), request);
}

TEST(DeviceTable, KeepsTheFirstBytesOfAReplyZeroFilled) {
    const struct {
        const DiscoveryPolicy& policy;
        std::size_t length, kept;
    } cases[] = {{TessaryPolicy(), 40, 26},
                 {TessaryPolicy(), 10, 10},
                 {BrindelPolicy(), 40, 24},
                 {BrindelPolicy(), 22, 22}};
    for (const auto& c : cases) {
        DeviceTable table(c.policy);
        ASSERT_EQ(table.OfferReply(Reply(1, 0, 7, c.length)), O::Stored) << c.length;
        const Bytes full = Reply(1, 0, 7, 40);
        for (std::size_t i = 0; i < kEntrySize; ++i)
            EXPECT_EQ(table.Slot(0)->Byte(i), i < c.kept ? full[i] : 0) << c.length << " " << i;
    }
}

TEST(DeviceTable, OrderDedupeSeventeenthAndClear) {
    DeviceTable table(TessaryPolicy());
    EXPECT_EQ(table.OfferReply(Reply(1, 0, 0xB)), O::Stored);
    EXPECT_EQ(table.OfferReply(Reply(1, 0, 0xA)), O::Stored);
    EXPECT_EQ(table.OfferReply(Reply(1, 0, 0xB)), O::Duplicate);
    EXPECT_EQ(table.OfferReply(Reply(1, 0, 0xA, 40)), O::Duplicate);  // bytes past 26 not kept
    EXPECT_EQ(table.Slot(0)->Address(), (Ipv4Octets{10, 0, 0, 0xB}));
    EXPECT_EQ(table.Slot(1)->Address(), (Ipv4Octets{10, 0, 0, 0xA}));
    EXPECT_FALSE(table.Slot(2) || table.Slot(-1));
    for (uint8_t tag = 0x10; table.Count() < kDeviceSlots; ++tag)
        ASSERT_EQ(table.OfferReply(Reply(1, 0, tag)), O::Stored);
    EXPECT_EQ(table.OfferReply(Reply(1, 0, 0x60)), O::Full);
    EXPECT_EQ(table.Devices().size(), kDeviceSlots);
    table.Clear();
    EXPECT_TRUE(table.Devices().empty());
    EXPECT_EQ(table.OfferReply(Reply(1, 0, 0x60)), O::Stored);
}

TEST(ListLine, BytesSignedAddressAndTheLastFullStop) {
    const struct {
        Bytes reply;
        const char* line;
    } cases[] = {{Reply(1, 0, 199), "(1.0)10.0.0.199."},
                 {Reply(1, 0x85, 5), "(1.ffffff85)10.0.0.5."},
                 {Reply(0x80, 0x7F, 255), "(ffffff80.7f)10.0.0.255."}};
    for (const auto& c : cases) {
        DeviceEntry entry;
        std::copy_n(c.reply.begin(), kEntrySize, entry.bytes.begin());
        EXPECT_EQ(ListLine(entry), c.line);
    }
}

TEST(AddressSetting, PacketAndFramesByteForByte) {
    DeviceEntry selected;
    const Bytes reply{1, 0, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 1, 2, 3, 4, 5, 6};
    std::copy(reply.begin(), reply.end(), selected.bytes.begin());
    Bytes packet{0x5A, 0xC0, 0xA8, 0x01, 0x32, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x11,
                 0x22, 0x33, 0x44, 0x56, 0xC0, 0xA8, 0x01, 0x01, 0x00, 0x11, 0x22,
                 0x33, 0x44, 0x55, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x00};
    for (bool dhcp : {false, true}) {
        packet[31] = dhcp;
        const auto built = AddressSetPacket({192, 168, 1, 50}, {255, 255, 255, 0},
                                            {0x00, 0x11, 0x22, 0x33, 0x44, 0x56}, {192, 168, 1, 1},
                                            selected, dhcp);
        EXPECT_EQ(Bytes(built.begin(), built.end()), packet) << dhcp;
    }
    const Bytes setIp{0x1F, 0x1B, 0x64, 0x00, 0xC0, 0xA8, 0x01, 0xC7, 0xFF, 0xFF, 0xFF, 0x00, 0x00,
                      0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0xA8, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(IpSettingFrame({192, 168, 1, 199}, {255, 255, 255, 0}, {192, 168, 0, 1}), setIp);
    EXPECT_EQ(DhcpFrame(true), (Bytes{0x1F, 0x1B, 0x65, 0x01}));
    EXPECT_EQ(DhcpFrame(false), (Bytes{0x1F, 0x1B, 0x65, 0x00}));
    EXPECT_EQ(MacSettingFrame({0x02, 0xAB, 0x00, 0x7F, 0xFF, 0x01}),
              (Bytes{0x1F, 0x1B, 0x67, 0x02, 0xAB, 0x00, 0x7F, 0xFF, 0x01, 0x00}));
}

TEST(MacBox, FirstTwoHexDigitsOrTheOnlyOneElseTheBoxIsNamed) {
    const struct {
        const char* text;
        int byte;  // -1: no byte
    } cases[] = {{"a", 0x0A}, {"A5", 0xA5}, {"0a5", 0x0A}, {"7", 0x07}, {"Fe9z", 0xFE},
                 {"", -1},    {"g", -1},    {"5z", -1},    {" 5", -1},  {"\xE4\xB8\xAD", -1}};
    for (const auto& c : cases) {
        const auto byte = ReadMacBox(c.text);
        EXPECT_EQ(byte ? int{*byte} : -1, c.byte) << '"' << c.text << '"';
    }
    std::array<std::string, 6> boxes{"2", "1a", "2B", "c", "d4", "5"};
    EXPECT_EQ(ReadMacBoxes(boxes).mac, (MacBytes{0x02, 0x1A, 0x2B, 0x0C, 0xD4, 0x05}));
    boxes[4] = "x";
    EXPECT_EQ(ReadMacBoxes(boxes).badBox, 5);
    EXPECT_FALSE(ReadMacBoxes(boxes).mac);
    EXPECT_EQ(MacBoxErrorText(3, 1), "MAC box 3: enter one or two hexadecimal digits (0-9, a-f).");
    EXPECT_EQ(MacBoxErrorText(6, 0), "MAC 第6格：请输入一位或两位十六进制数字(0-9, a-f)。");
}

TEST(MacBox, ShownAsLowerCaseHexWithoutLeadingZerosAndReadBack) {
    EXPECT_EQ(FormatMacByte(0x00), "0");
    EXPECT_EQ(FormatMacByte(0x0A), "a");
    EXPECT_EQ(FormatMacByte(0x10), "10");
    EXPECT_EQ(FormatMacByte(0x7F), "7f");
    EXPECT_EQ(FormatMacByte(0xFF), "ff");
    for (int byte = 0; byte < 256; ++byte)
        ASSERT_EQ(ReadMacBox(FormatMacByte(static_cast<uint8_t>(byte))), byte);
}

}  // namespace
}  // namespace netcfg
