// The virtual printers on real loopback sockets: discovery answers both programs accept, the
// address-set packet changing the reply, TCP streams decoded in order, and the faults on request.
#include "sim/sim_server.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "commands/one_click.h"
#include "link/socket_io.h"
#include "link/tcp_link.h"
#include "netcfg/address_set.h"
#include "netcfg/device_table.h"
#include "platform/text_codec.h"
#include "tests/fakes/udp_peer.h"
#include "tests/fakes/wait.h"
#include "tests/sim/sim_rig.h"

namespace simtest {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

// Waits (5 s at most) for a line holding `part`.
bool WaitForLine(const SimRig& rig, const std::string& part) {
    return fakes::WaitUntil([&] { return rig.HasLineWith(part); }, 5000ms);
}

// The lines of TCP connection `n` that came from the decoder (not the connection notices).
std::vector<std::string> Decoded(const SimRig& rig, int printer, int n) {
    const std::string source =
        "printer " + std::to_string(printer) + " tcp#" + std::to_string(n) + " ";
    std::vector<std::string> out;
    for (const std::string& l : rig.Lines()) {
        if (l.rfind(source, 0) != 0 || l.find(" connection ") != std::string::npos) continue;
        out.push_back(l.substr(source.size()));
    }
    return out;
}

using printerlink::SocketHandle;

netcfg::DeviceEntry Entry(const Bytes& reply) {
    netcfg::DeviceEntry e;
    std::copy_n(reply.begin(), netcfg::kEntrySize, e.bytes.begin());
    return e;
}

sim::SimOptions TwoPrinters(uint16_t replyPort) {
    sim::SimOptions o;
    o.printers = 2;
    o.replyPort = replyPort;
    return o;
}

TEST(SimServer, DiscoveryRepliesAreListedByBothPrograms) {
    fakes::UdpPeer asker;
    SimRig rig(TwoPrinters(asker.port()));
    for (const netcfg::DiscoveryPolicy* policy :
         {&netcfg::TessaryPolicy(), &netcfg::BrindelPolicy()}) {
        ASSERT_TRUE(asker.SendTo(rig.server().UdpPort(), netcfg::DiscoveryRequest(*policy)));
    }
    ASSERT_TRUE(asker.WaitForDatagrams(4, 5000ms));
    for (const netcfg::DiscoveryPolicy* policy :
         {&netcfg::TessaryPolicy(), &netcfg::BrindelPolicy()}) {
        netcfg::DeviceTable table(*policy);
        for (const auto& d : asker.Datagrams()) table.OfferReply(d.bytes);
        ASSERT_EQ(table.Count(), 2u);
        EXPECT_EQ(netcfg::ListLine(*table.Slot(0)), "(1.0)127.0.0.1.");
        EXPECT_EQ(netcfg::ListLine(*table.Slot(1)), "(1.0)127.0.0.2.");
        EXPECT_NE(table.Slot(1)->Identity()[0], 0);  // Brindel downloads to it
    }
    EXPECT_TRUE(WaitForLine(rig, "discovery request (24 bytes)"));
    EXPECT_TRUE(
        WaitForLine(rig, "answered by 2 printers to 127.0.0.1:" + std::to_string(asker.port())));
}

TEST(SimServer, AddressSetPacketChangesTheNamedPrinterOnly) {
    fakes::UdpPeer asker;
    sim::SimOptions options = TwoPrinters(asker.port());
    options.restart = 50ms;
    SimRig rig(options);
    const uint16_t udp = rig.server().UdpPort();
    ASSERT_TRUE(asker.SendTo(udp, netcfg::DiscoveryRequest(netcfg::TessaryPolicy())));
    ASSERT_TRUE(asker.WaitForDatagrams(2, 5000ms));
    const netcfg::DeviceEntry second = Entry(asker.Datagrams()[1].bytes);
    const netcfg::MacBytes newMac{0x02, 0, 0, 0, 0, 0x42};
    const auto packet = netcfg::AddressSetPacket({127, 0, 0, 9}, {255, 255, 0, 0}, newMac,
                                                 {127, 0, 0, 254}, second, true);
    ASSERT_TRUE(asker.SendTo(udp, Bytes(packet.begin(), packet.end())));
    // The same packet again names a MAC no printer has any more.
    ASSERT_TRUE(asker.SendTo(udp, Bytes(packet.begin(), packet.end())));
    ASSERT_TRUE(WaitForLine(rig, "applied to printer 2"));
    ASSERT_TRUE(WaitForLine(rig, "no printer has that MAC and identity"));
    ASSERT_TRUE(WaitForLine(rig, "printer 2 sim back at 127.0.0.9"));
    ASSERT_TRUE(asker.SendTo(udp, netcfg::DiscoveryRequest(netcfg::TessaryPolicy())));
    ASSERT_TRUE(asker.WaitForDatagrams(4, 5000ms));
    const auto now = Entry(asker.Datagrams()[3].bytes);
    EXPECT_EQ(now.Address(), (netcfg::Ipv4Octets{127, 0, 0, 9}));
    EXPECT_EQ(now.Mask(), (netcfg::Ipv4Octets{255, 255, 0, 0}));
    EXPECT_EQ(now.Gateway(), (netcfg::Ipv4Octets{127, 0, 0, 254}));
    EXPECT_EQ(now.Mac(), newMac);
    EXPECT_TRUE(rig.server().Printer(2).dhcp);
    EXPECT_EQ(Entry(asker.Datagrams()[2].bytes), Entry(asker.Datagrams()[0].bytes));
}

TEST(SimServer, NoReplyStaysSilent) {
    fakes::UdpPeer asker;
    sim::SimOptions o = TwoPrinters(asker.port());
    o.noReply = true;
    SimRig rig(o);
    ASSERT_TRUE(
        asker.SendTo(rig.server().UdpPort(), netcfg::DiscoveryRequest(netcfg::TessaryPolicy())));
    ASSERT_TRUE(WaitForLine(rig, "not answered (--no-reply)"));
    EXPECT_TRUE(asker.Datagrams().empty());
}

TEST(SimServer, TcpStreamsAreDecodedPerPrinterAndAddressFramesApplied) {
    SimRig rig(TwoPrinters(8999));
    const SocketHandle fd = Connect(rig.server().TcpPort(2), {127, 0, 0, 2});  // printer 2
    ASSERT_NE(fd, printerlink::kNoSocket);
    Bytes stream = commands::FindOneClick(1004)->Build();
    const Bytes ip =
        netcfg::IpSettingFrame({192, 168, 1, 199}, {255, 255, 255, 0}, {192, 168, 0, 1});
    stream.insert(stream.end(), ip.begin(), ip.end());
    stream.insert(stream.end(), {'o', 'k', 0x07});
    // In pieces that cut through the commands.
    for (std::size_t at = 0; at < stream.size(); at += 5) {
        ASSERT_TRUE(SendAll(
            fd, Bytes(stream.begin() + at, stream.begin() + std::min(at + 5, stream.size()))));
    }
    printerlink::CloseSocket(fd, false);
    ASSERT_TRUE(WaitForLine(rig, "printer 2 tcp#1 connection closed, " +
                                     std::to_string(stream.size()) + " bytes in all"));
    EXPECT_EQ(Decoded(rig, 2, 1),
              (std::vector<std::string>{
                  "feed: 2 lines", "esc/pos cut: partial + pad 01",
                  "setting IP address setting: address 192.168.1.199, mask 255.255.255.0, gateway "
                  "192.168.0.1",
                  "printer now: MAC 02:00:00:00:00:02, address 192.168.1.199, mask 255.255.255.0, "
                  "gateway 192.168.0.1, DHCP off",
                  "text: ok", "hex: 07"}));
    EXPECT_EQ(rig.server().Printer(1).address, (netcfg::Ipv4Octets{127, 0, 0, 1}));
}

TEST(SimServer, ResetAfterAndStallAfterAsAskedFor) {
    {
        sim::SimOptions o;
        o.udpPort.reset();
        o.resetAfter = 100;
        SimRig rig(o);
        const SocketHandle fd = Connect(rig.server().TcpPort(1));
        ASSERT_NE(fd, printerlink::kNoSocket);
        ASSERT_TRUE(SendAll(fd, Bytes(100, 'a')));
        ASSERT_TRUE(WaitForLine(rig, "connection reset (--reset-after), 100 bytes in all"));
        printerlink::SocketReadable readable[1] = {{fd}};
        EXPECT_EQ(printerlink::WaitReadable(readable, 5s), 1);
        uint8_t byte = 0;
        const printerlink::ReceiveStep step = printerlink::ReceiveOnSocket(fd, &byte, 1);
        EXPECT_EQ(step.what, printerlink::Received::Failed);
        EXPECT_EQ(printerlink::ClassifySocketError(step.error), printerlink::TcpFault::Reset);
        printerlink::CloseSocket(fd, false);
    }
    {
        sim::SimOptions o;
        o.udpPort.reset();
        o.stallAfter = 10;
        SimRig rig(o);
        const SocketHandle fd = Connect(rig.server().TcpPort(1));
        ASSERT_NE(fd, printerlink::kNoSocket);
        ASSERT_TRUE(SendAll(fd, Bytes(10, 'b')));
        ASSERT_TRUE(WaitForLine(rig, "stalled after 10 bytes: no longer reading"));
        EXPECT_TRUE(WaitForLine(rig, "text: bbbbbbbbbb"));
        // Nothing more is read: the buffers fill and a non-blocking send runs dry (bounded).
        const Bytes chunk(65536, 'c');
        bool blocked = false;
        for (int i = 0; i < 1024 && !blocked; ++i) {
            blocked = printerlink::SendOnSocket(fd, chunk.data(), chunk.size()).wouldBlock;
        }
        EXPECT_TRUE(blocked);
        printerlink::CloseSocket(fd, false);
    }
}

// A shop's receipt as a general-purpose ESC/POS library sends it, over a real TCP connection: every
// command named with its values, no parameter shown as text.
TEST(SimServer, ReceiptFromPointOfSaleSoftwareReadCommandByCommand) {
    sim::SimOptions o;
    o.udpPort.reset();
    SimRig rig(o);
    const std::string title = platform::Utf8ToGbk("欢迎光临\n");
    const std::string price = "Coffee      12.00\n";
    Bytes receipt{0x1B, '@', 0x1B, 'M', 0, 0x1B, 'a', 1, 0x1B, 'E', 1};
    receipt.insert(receipt.end(), title.begin(), title.end());
    receipt.insert(receipt.end(), price.begin(), price.end());
    receipt.insert(receipt.end(),
                   {0x1B, 'd',  3,    0x1D, 'h', 64, 0x1D, 'k',  3,   '1', '2', '3',  '4', '5', '6',
                    '7',  0x00, 0x1B, 'p',  0,   25, 250,  0x1B, 'B', 2,   1,   0x1D, 'V', 66,  0});
    const SocketHandle fd = Connect(rig.server().TcpPort(1));
    ASSERT_NE(fd, printerlink::kNoSocket);
    ASSERT_TRUE(SendAll(fd, receipt));
    printerlink::CloseSocket(fd, false);
    ASSERT_TRUE(WaitForLine(rig, "printer 1 tcp#1 connection closed, " +
                                     std::to_string(receipt.size()) + " bytes in all"));
    EXPECT_EQ(
        Decoded(rig, 1, 1),
        (std::vector<std::string>{
            "esc/pos initialise", "esc/pos font: A", "esc/pos align: centre", "esc/pos bold: on",
            "text: 欢迎光临", "text: Coffee      12.00", "esc/pos feed: 3 lines",
            "esc/pos barcode height: 64 dots", "esc/pos barcode EAN-8: 1234567",
            "esc/pos drawer kick: pin 2, on 50 ms, off 500 ms", "esc/pos beep: 2 times, 50 ms",
            "esc/pos cut: feed 0 dots, partial"}));
}

}  // namespace
}  // namespace simtest
