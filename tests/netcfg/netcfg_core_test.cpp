// The network configuration core: discovery request, acceptance and dedupe of both programs,
// list lines, address-set packet, address frames, MAC box reading.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "netcfg/address_set.h"
#include "netcfg/device_table.h"

namespace netcfg {
namespace {

using Bytes = std::vector<uint8_t>;

// A reply of `length` bytes: byte 0, byte 1, MAC 00 11 22 33 44 `tag`, identity, 10.0.0.`tag`,
// mask 255.255.255.0, gateway 10.0.0.1, then 26..39 counting up.
Bytes Reply(uint8_t b0, uint8_t b1, uint8_t tag, std::size_t length = 30) {
    Bytes r{b0, b1, 0x00, 0x11, 0x22, 0x33, 0x44, tag, 1, 2,  3, 4, 5,
            6,  10, 0,    0,    tag,  255,  255,  255, 0, 10, 0, 0, 1};
    for (uint8_t extra = 26; r.size() < 40; ++extra) r.push_back(extra);
    r.resize(length);
    return r;
}

TEST(DiscoveryRequest, LetterXThenZerosAtEachProgramsLength) {
    Bytes tessary(30, 0), brindel(24, 0);
    tessary[0] = brindel[0] = 0x58;
    EXPECT_EQ(DiscoveryRequest(TessaryPolicy()), tessary);
    EXPECT_EQ(DiscoveryRequest(BrindelPolicy()), brindel);
}

struct AcceptCase {
    const char* name;
    Bytes reply;
    bool tessary;
    bool brindel;
};

TEST(DeviceTable, AcceptanceTestOfEachProgram) {
    Bytes badMask = Reply(1, 0, 1);
    badMask[19] = 0xFE;
    const AcceptCase cases[] = {
        {"byte0 01", Reply(0x01, 0, 1), true, true},
        {"byte0 00", Reply(0x00, 0, 1), false, true},
        {"byte0 0A", Reply(0x0A, 0, 1), true, true},
        {"byte0 0B", Reply(0x0B, 0, 1), true, false},
        {"byte0 7F", Reply(0x7F, 0, 1), true, false},
        {"byte0 80", Reply(0x80, 0, 1), false, false},
        {"byte0 FF", Reply(0xFF, 0, 1), false, false},
        {"byte1 0B", Reply(0x01, 0x0B, 1), true, false},
        {"byte1 85", Reply(0x01, 0x85, 1), true, false},
        {"mask byte 19 FE", badMask, true, false},
        {"one byte 01", Bytes{0x01}, true, false},  // missing bytes 00: no FF mask
    };
    for (const AcceptCase& c : cases) {
        DeviceTable tessary(TessaryPolicy()), brindel(BrindelPolicy());
        EXPECT_EQ(tessary.OfferReply(c.reply) == DeviceTable::Offer::Stored, c.tessary) << c.name;
        EXPECT_EQ(brindel.OfferReply(c.reply) == DeviceTable::Offer::Stored, c.brindel) << c.name;
        EXPECT_EQ(tessary.OfferReply({}), DeviceTable::Offer::Rejected) << c.name;
    }
}

TEST(DeviceTable, KeepsFirstBytesOfEachReplyZeroFilled) {
    struct Case {
        const DiscoveryPolicy& policy;
        std::size_t length;
        std::size_t kept;
    };
    const Case cases[] = {{TessaryPolicy(), 40, 26}, {TessaryPolicy(), 30, 26},
                          {TessaryPolicy(), 10, 10}, {BrindelPolicy(), 40, 24},
                          {BrindelPolicy(), 24, 24}, {BrindelPolicy(), 22, 22}};
    for (const Case& c : cases) {
        DeviceTable table(c.policy);
        ASSERT_EQ(table.OfferReply(Reply(1, 0, 7, c.length)), DeviceTable::Offer::Stored)
            << c.length;
        const Bytes full = Reply(1, 0, 7, 40);
        const DeviceEntry entry = *table.Slot(0);
        for (std::size_t i = 0; i < kEntrySize; ++i)
            EXPECT_EQ(entry.Byte(i), i < c.kept ? full[i] : 0) << c.length << " byte " << i;
    }
}

TEST(DeviceTable, OrderDedupeSeventeenthAndClear) {
    DeviceTable table(TessaryPolicy());
    using O = DeviceTable::Offer;
    EXPECT_EQ(table.OfferReply(Reply(1, 0, 0xB)), O::Stored);
    EXPECT_EQ(table.OfferReply(Reply(1, 0, 0xA)), O::Stored);
    EXPECT_EQ(table.OfferReply(Reply(1, 0, 0xB)), O::Duplicate);
    // Bytes past the kept 26 do not make a device new.
    EXPECT_EQ(table.OfferReply(Reply(1, 0, 0xA, 28)), O::Duplicate);
    EXPECT_EQ(table.OfferReply(Reply(1, 0, 0xA, 40)), O::Duplicate);
    ASSERT_EQ(table.Count(), 2u);
    EXPECT_EQ(table.Slot(0)->Address(), (Ipv4Octets{10, 0, 0, 0xB}));
    EXPECT_EQ(table.Slot(1)->Address(), (Ipv4Octets{10, 0, 0, 0xA}));
    EXPECT_FALSE(table.Slot(2));
    EXPECT_FALSE(table.Slot(-1));

    for (uint8_t tag = 0x10; table.Count() < kDeviceSlots; ++tag)
        ASSERT_EQ(table.OfferReply(Reply(1, 0, tag)), O::Stored);
    EXPECT_EQ(table.OfferReply(Reply(1, 0, 0x60)), O::Full);
    EXPECT_EQ(table.OfferReply(Reply(1, 0, 0xA)), O::Duplicate);
    EXPECT_EQ(table.Devices().size(), kDeviceSlots);
    EXPECT_EQ(table.Devices()[0], *table.Slot(0));

    table.Clear();
    EXPECT_EQ(table.Count(), 0u);
    EXPECT_TRUE(table.Devices().empty());
    EXPECT_EQ(table.OfferReply(Reply(1, 0, 0x60)), O::Stored);
}

TEST(ListLine, FormatsBytesSignedAndAddressWithLastFullStop) {
    struct Case {
        uint8_t b0, b1;
        Ipv4Octets address;
        const char* line;
    };
    const Case cases[] = {
        {0x01, 0x00, {192, 168, 0, 199}, "(1.0)192.168.0.199."},
        {0x01, 0x85, {10, 0, 0, 5}, "(1.ffffff85)10.0.0.5."},
        {0x80, 0x7F, {255, 255, 255, 255}, "(ffffff80.7f)255.255.255.255."},
        {0x0A, 0xFF, {0, 0, 0, 0}, "(a.ffffffff)0.0.0.0."},
    };
    for (const Case& c : cases) {
        DeviceEntry entry;
        entry.bytes[0] = c.b0;
        entry.bytes[1] = c.b1;
        std::copy(c.address.begin(), c.address.end(), entry.bytes.begin() + 14);
        EXPECT_EQ(ListLine(entry), c.line);
    }
}

TEST(AddressSetPacket, NamesTheSelectedDeviceByItsReply) {
    DeviceEntry selected;
    const Bytes reply{1, 0, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 1, 2, 3, 4, 5, 6};
    std::copy(reply.begin(), reply.end(), selected.bytes.begin());
    const Bytes expected{0x5A, 0xC0, 0xA8, 0x01, 0x32, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x11,
                         0x22, 0x33, 0x44, 0x56, 0xC0, 0xA8, 0x01, 0x01, 0x00, 0x11, 0x22,
                         0x33, 0x44, 0x55, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x00};
    for (bool dhcp : {false, true}) {
        const auto packet = AddressSetPacket({192, 168, 1, 50}, {255, 255, 255, 0},
                                             {0x00, 0x11, 0x22, 0x33, 0x44, 0x56}, {192, 168, 1, 1},
                                             selected, dhcp);
        Bytes want = expected;
        want[31] = dhcp ? 0x01 : 0x00;
        EXPECT_EQ(Bytes(packet.begin(), packet.end()), want) << dhcp;
    }
}

TEST(AddressFrames, SetIpDhcpAndMacBytes) {
    const Bytes setIp{0x1F, 0x1B, 0x64, 0x00, 0xC0, 0xA8, 0x01, 0xC7, 0xFF, 0xFF, 0xFF, 0x00, 0x00,
                      0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0xA8, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(IpSettingFrame({192, 168, 1, 199}, {255, 255, 255, 0}, {192, 168, 0, 1}), setIp);
    EXPECT_EQ(DhcpFrame(true), (Bytes{0x1F, 0x1B, 0x65, 0x01}));
    EXPECT_EQ(DhcpFrame(false), (Bytes{0x1F, 0x1B, 0x65, 0x00}));
    EXPECT_EQ(MacSettingFrame({0x02, 0xAB, 0x00, 0x7F, 0xFF, 0x01}),
              (Bytes{0x1F, 0x1B, 0x67, 0x02, 0xAB, 0x00, 0x7F, 0xFF, 0x01, 0x00}));
}

TEST(MacBox, ReadsFirstTwoHexDigitsOrTheOnlyOne) {
    struct Case {
        const char* text;
        int byte;  // -1: no byte
    };
    const Case cases[] = {
        {"a", 0x0A}, {"A5", 0xA5},         {"0a5", 0x0A},  {"ff", 0xFF},
        {"0", 0x00}, {"7", 0x07},          {"Fe9z", 0xFE}, {"", -1},
        {"g", -1},   {"5z", -1},           {"z5", -1},     {" 5", -1},
        {"-1", -1},  {"\xE4\xB8\xAD", -1},
    };
    for (const Case& c : cases) {
        const auto byte = ReadMacBox(c.text);
        EXPECT_EQ(byte ? int{*byte} : -1, c.byte) << '"' << c.text << '"';
    }
}

TEST(MacBox, SixBoxesNameTheFirstBadOne) {
    std::array<std::string, 6> boxes{"2", "1a", "2B", "c", "d4", "5"};
    const MacBoxesRead good = ReadMacBoxes(boxes);
    ASSERT_TRUE(good.mac);
    EXPECT_EQ(*good.mac, (MacBytes{0x02, 0x1A, 0x2B, 0x0C, 0xD4, 0x05}));
    EXPECT_EQ(good.badBox, 0);
    for (std::size_t bad = 0; bad < boxes.size(); ++bad) {
        auto copy = boxes;
        copy[bad] = bad % 2 ? "" : "x";
        const MacBoxesRead read = ReadMacBoxes(copy);
        EXPECT_FALSE(read.mac);
        EXPECT_EQ(read.badBox, static_cast<int>(bad) + 1);
    }
    EXPECT_EQ(MacBoxErrorText(3, 1), "MAC box 3: enter one or two hexadecimal digits (0-9, a-f).");
    EXPECT_EQ(MacBoxErrorText(6, 0), "MAC 第6格：请输入一位或两位十六进制数字(0-9, a-f)。");
}

}  // namespace
}  // namespace netcfg
