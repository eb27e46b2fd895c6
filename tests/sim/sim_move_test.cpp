// The virtual printers as a fleet on loopback: an address-set packet really moves its printer
// (silent for the restart pause, then answering and listening at its new address, its settings
// and connection count kept), a printer told another's address takes its connections and gives
// them back when it leaves, and a deaf printer ignores the packet.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "link/socket_io.h"
#include "netcfg/address_set.h"
#include "netcfg/device_table.h"
#include "tests/fakes/udp_peer.h"
#include "tests/fakes/wait.h"
#include "tests/sim/sim_rig.h"

namespace simtest {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using Address = netcfg::Ipv4Octets;

std::optional<netcfg::DeviceEntry> EntryOf(const Bytes& reply) {
    netcfg::DeviceTable table(netcfg::TessaryPolicy());
    table.OfferReply(reply);
    return table.Slot(0);
}

// The discovery side of a PC: asks the printers and sends address-set packets for them. The
// printers answer to its port.
class Asker {
  public:
    uint16_t port() const { return peer_.port(); }

    // One request; what comes back within `wait`: last MAC byte -> address.
    std::multimap<uint8_t, Address> Answers(uint16_t udp, std::chrono::milliseconds wait) {
        const std::size_t before = peer_.Datagrams().size();
        EXPECT_TRUE(peer_.SendTo(udp, netcfg::DiscoveryRequest(netcfg::TessaryPolicy())));
        // A silent printer sends nothing: take what came within the time.
        (void)peer_.WaitForDatagrams(before + 1000, wait);
        std::multimap<uint8_t, Address> out;
        const auto all = peer_.Datagrams();
        for (std::size_t i = before; i < all.size(); ++i) {
            if (const auto entry = EntryOf(all[i].bytes))
                out.emplace(entry->Mac()[5], entry->Address());
        }
        return out;
    }

    // The address-set packet for the printer whose last answer came with MAC byte 5 `lastMac`.
    bool Move(uint16_t udp, uint8_t lastMac, const Address& to) {
        const auto all = peer_.Datagrams();
        for (auto it = all.rbegin(); it != all.rend(); ++it) {
            const auto entry = EntryOf(it->bytes);
            if (!entry || entry->Mac()[5] != lastMac) continue;
            const auto packet = netcfg::AddressSetPacket(to, entry->Mask(), entry->Mac(),
                                                         entry->Gateway(), *entry, false);
            return peer_.SendTo(udp, Bytes(packet.begin(), packet.end()));
        }
        return false;
    }

  private:
    fakes::UdpPeer peer_;
};

bool WaitForLine(const SimRig& rig, const std::string& part) {
    return fakes::WaitUntil([&] { return rig.HasLineWith(part); }, 5000ms);
}

// One connection to address:port carrying `bytes`, closed again; false when none was accepted.
bool Deliver(const Address& address, uint16_t port, const Bytes& bytes) {
    int error = 0;
    const printerlink::SocketHandle fd = printerlink::ConnectTcpSocket(address, port, 2s, error);
    if (fd == printerlink::kNoSocket) return false;
    const bool sent =
        printerlink::SendOnSocket(fd, bytes.data(), bytes.size()).taken == bytes.size();
    printerlink::CloseSocket(fd, false);
    return sent;
}

sim::SimOptions Printers(int count, uint16_t replyPort) {
    sim::SimOptions o;
    o.printers = count;
    o.replyPort = replyPort;
    o.restart = 300ms;
    return o;
}

const Bytes kCutterOn{0x1F, 0x1B, 0x75, 0x9A, 0x00, 0x00};
constexpr Address kFirst{127, 0, 0, 1}, kSecond{127, 0, 0, 2}, kMoved{127, 0, 1, 2};

TEST(SimMove, SilentForItsRestartThenAnsweringAndListeningAtTheNewAddress) {
    Asker asker;
    sim::SimOptions options = Printers(2, asker.port());
    options.restart = 800ms;  // long enough to look at the printers meanwhile
    options.lpdPort = 0;      // its LPD port moves with it
    SimRig rig(options);
    const uint16_t udp = rig.server().UdpPort(), tcp = rig.server().TcpPort(2);
    const uint16_t lpd = rig.server().LpdPort(2);
    const Bytes printWaiting{0x01, 'q', '\n'};
    EXPECT_EQ(rig.server().TcpPort(1), tcp);  // one port for all, as real printers have
    ASSERT_EQ(asker.Answers(udp, 200ms).size(), 2u);
    // A connection open at the move is reset, as by a printer that restarts.
    int error = 0;
    const printerlink::SocketHandle open = printerlink::ConnectTcpSocket(kSecond, tcp, 2s, error);
    ASSERT_NE(open, printerlink::kNoSocket);
    ASSERT_TRUE(WaitForLine(rig, "printer 2 tcp#1 connection from"));

    ASSERT_TRUE(asker.Move(udp, 0x02, kMoved));
    ASSERT_TRUE(WaitForLine(rig,
                            "printer 2 sim restarting for 800 ms: address 127.0.0.2 -> "
                            "127.0.1.2"));
    EXPECT_TRUE(WaitForLine(rig, "printer 2 tcp#1 connection reset: printer restarting"));
    // During the pause only the other printer answers, and nothing listens at either address.
    EXPECT_EQ(asker.Answers(udp, 100ms), (std::multimap<uint8_t, Address>{{0x01, kFirst}}));
    EXPECT_FALSE(Deliver(kMoved, tcp, kCutterOn));
    EXPECT_FALSE(Deliver(kMoved, lpd, printWaiting));
    ASSERT_TRUE(WaitForLine(rig,
                            "printer 2 sim back at 127.0.1.2, mask 255.255.255.0, gateway "
                            "127.0.0.1, listening on TCP port " +
                                std::to_string(tcp) + " and LPD port " + std::to_string(lpd)));
    EXPECT_EQ(asker.Answers(udp, 200ms),
              (std::multimap<uint8_t, Address>{{0x01, kFirst}, {0x02, kMoved}}));
    EXPECT_FALSE(Deliver(kSecond, tcp, kCutterOn));
    ASSERT_TRUE(Deliver(kMoved, tcp, kCutterOn));
    // Its connections go on counting; the frame is logged as arriving at the new address.
    EXPECT_TRUE(WaitForLine(rig, "printer 2 tcp#2 connection from 127.0.0.1:"));
    EXPECT_TRUE(WaitForLine(rig, " to 127.0.1.2:" + std::to_string(tcp)));
    EXPECT_TRUE(WaitForLine(rig, "printer 2 tcp#2 setting cutter: 00 (On)"));
    EXPECT_FALSE(Deliver(kSecond, lpd, printWaiting));
    ASSERT_TRUE(Deliver(kMoved, lpd, printWaiting));
    EXPECT_TRUE(WaitForLine(rig, "printer 2 lpd#3 print waiting jobs in queue 'q'"));
    EXPECT_EQ(rig.server().Printer(2).identity, rig.server().Printer(1).identity);
    printerlink::CloseSocket(open, false);
}

// Two sockets cannot listen on one address and port: the printer that takes an address another
// holds takes its connections; both answer discovery there until it leaves again, and then the
// first printer listens there once more.
TEST(SimMove, PrinterToldAnothersAddressTakesItsConnectionsUntilItLeaves) {
    Asker asker;
    SimRig rig(Printers(2, asker.port()));
    const uint16_t udp = rig.server().UdpPort(), tcp = rig.server().TcpPort(1);
    ASSERT_EQ(asker.Answers(udp, 200ms).size(), 2u);
    ASSERT_TRUE(asker.Move(udp, 0x01, kSecond));
    ASSERT_TRUE(WaitForLine(rig,
                            "printer 2 sim printer 1 took address 127.0.0.2 too: no longer "
                            "listening on TCP, both answer discovery there"));
    EXPECT_EQ(asker.Answers(udp, 200ms),
              (std::multimap<uint8_t, Address>{{0x01, kSecond}, {0x02, kSecond}}));
    ASSERT_TRUE(Deliver(kSecond, tcp, kCutterOn));
    EXPECT_TRUE(WaitForLine(rig, "printer 1 tcp#1 setting cutter"));

    ASSERT_TRUE(asker.Move(udp, 0x01, kMoved));
    ASSERT_TRUE(WaitForLine(rig,
                            "printer 2 sim address 127.0.0.2 is its own again, listening on "
                            "TCP port"));
    ASSERT_TRUE(WaitForLine(rig, "printer 1 sim back at 127.0.1.2"));
    ASSERT_TRUE(Deliver(kSecond, tcp, kCutterOn));
    EXPECT_TRUE(WaitForLine(rig, "printer 2 tcp#2 setting cutter"));
}

TEST(SimMove, DeafPrinterIgnoresAddressSetPackets) {
    Asker asker;
    sim::SimOptions options = Printers(2, asker.port());
    options.deaf.push_back(sim::PrinterAt(options, 1).mac);
    SimRig rig(options);
    const uint16_t udp = rig.server().UdpPort();
    ASSERT_EQ(asker.Answers(udp, 200ms).size(), 2u);
    ASSERT_TRUE(asker.Move(udp, 0x02, kMoved));
    ASSERT_TRUE(
        WaitForLine(rig, "02:00:00:00:00:02 identity 01 02 03 04 05 06: address 127.0.1.2"));
    EXPECT_TRUE(WaitForLine(rig, ", ignored by printer 2 (--deaf)"));
    EXPECT_EQ(asker.Answers(udp, 200ms),
              (std::multimap<uint8_t, Address>{{0x01, kFirst}, {0x02, kSecond}}));
    EXPECT_EQ(rig.server().Printer(2).address, kSecond);
}

}  // namespace
}  // namespace simtest
