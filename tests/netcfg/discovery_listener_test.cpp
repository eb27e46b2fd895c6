// The discovery listener on a real loopback socket: what it stores, when it reports, that it ends
// at once when the socket is shut down, and that the table holds up while it is cleared and read
// from another thread. Also the connect test against a listening and a closed port.

#include "netcfg/discovery_listener.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "netcfg/address_set.h"
#include "tests/fakes/tcp_peer.h"
#include "tests/fakes/udp_peer.h"
#include "tests/fakes/wait.h"

namespace netcfg {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

Bytes Reply(uint8_t b0, uint8_t tag, std::size_t length = 30) {
    Bytes r(40, 0);
    r[0] = b0;
    r[7] = tag;
    r[14] = 10;
    r[17] = tag;
    r[18] = r[19] = 0xFF;
    r.resize(length);
    return r;
}

struct ListenerRig {
    explicit ListenerRig(const DiscoveryPolicy& policy = TessaryPolicy())
        : socket(UdpSocket::BindAny(0)),
          table(policy),
          listener(socket, table, [this] { reports.fetch_add(1); }) {}
    ~ListenerRig() { listener.Stop(); }

    void Send(const Bytes& bytes) { ASSERT_TRUE(peer.SendTo(socket.LocalPort(), bytes)); }
    // The listener has read `count` datagrams that carried bytes.
    bool WaitReceived(uint64_t count) {
        return fakes::WaitUntil([&] { return listener.Received() >= count; }, 5s);
    }

    UdpSocket socket;
    DeviceTable table;
    std::atomic<int> reports{0};
    DiscoveryListener listener;
    fakes::UdpPeer peer;
};

TEST(Listener, StoresEachNewDeviceOnceAndReportsIt) {
    ListenerRig rig;
    ASSERT_TRUE(rig.socket.IsValid());
    ASSERT_TRUE(rig.listener.Start());
    EXPECT_FALSE(rig.listener.Start());  // one thread per listener
    // B, A, repeats, a bad byte 0, an empty datagram, a 40-byte and a 10-byte reply.
    const Bytes script[] = {Reply(1, 0xB),     Reply(1, 0xA),     Reply(1, 0xB),
                            Reply(1, 0xA),     Reply(0x80, 0xC),  Bytes{},
                            Reply(2, 0xD, 40), Reply(3, 0xE, 10), Reply(2, 0xD, 26)};
    for (const Bytes& datagram : script) rig.Send(datagram);
    ASSERT_TRUE(rig.WaitReceived(8));  // every one but the empty datagram
    const auto devices = rig.table.Devices();
    ASSERT_EQ(devices.size(), 4u);
    EXPECT_EQ(devices[0].Address()[3], 0xB);
    EXPECT_EQ(devices[1].Address()[3], 0xA);
    EXPECT_EQ(devices[2].Address()[3], 0xD);
    EXPECT_EQ(devices[3].Byte(0), 3);
    EXPECT_EQ(devices[3].Address(), (Ipv4Octets{0, 0, 0, 0}));  // 10-byte reply: 00 beyond
    EXPECT_EQ(rig.reports.load(), 4);
    EXPECT_EQ(rig.listener.Stored(), 4u);
    EXPECT_TRUE(rig.listener.Running());  // the empty datagram did not end it
}

TEST(Listener, EndsAtOnceWhenStoppedWhileWaiting) {
    for (int round = 0; round < 20; ++round) {
        ListenerRig rig(round % 2 ? BrindelPolicy() : TessaryPolicy());
        ASSERT_TRUE(rig.listener.Start());
        if (round % 3 == 0) std::this_thread::sleep_for(2ms);  // let it reach the receive
        rig.listener.Stop();
        EXPECT_FALSE(rig.listener.Running());
        rig.listener.Stop();                // twice is harmless
        EXPECT_TRUE(rig.socket.IsValid());  // the owner closes it
    }
    UdpSocket invalid;
    DeviceTable table(TessaryPolicy());
    DiscoveryListener none(invalid, table, nullptr);
    EXPECT_FALSE(none.Start());
}

TEST(Listener, TableHoldsWhileClearedAndReadDuringAFlood) {
    ListenerRig rig;
    ASSERT_TRUE(rig.listener.Start());
    std::atomic<bool> done{false};
    std::thread flood([&] {
        for (int i = 0; i < 3000; ++i) rig.peer.SendTo(rig.socket.LocalPort(), Reply(1, i % 40));
        done.store(true);
    });
    int rounds = 0;
    while (!done.load() && rounds < 100000) {
        ++rounds;
        if (rounds % 50 == 0) rig.table.Clear();
        const auto devices = rig.table.Devices();
        ASSERT_LE(devices.size(), kDeviceSlots);
        for (const DeviceEntry& entry : devices) ASSERT_EQ(entry.Byte(0), 1);
        if (auto slot = rig.table.Slot(0)) {
            ASSERT_EQ(slot->Byte(0), 1);
        }
    }
    flood.join();
    rig.listener.Stop();
    EXPECT_LE(rig.table.Count(), kDeviceSlots);
    EXPECT_GT(rig.listener.Received(), 0u);
}

TEST(ConnectTest, AcceptedByAListenerRefusedByAClosedPort) {
    fakes::TcpPrinterPeer printer;
    ASSERT_TRUE(printer.ok());
    EXPECT_TRUE(ConnectTest({127, 0, 0, 1}, printer.port(), 2s));
    EXPECT_TRUE(printer.WaitForClosed(1, 5s));  // closed again, nothing sent
    EXPECT_TRUE(printer.Connections()[0].bytes.empty());
    EXPECT_FALSE(ConnectTest({127, 0, 0, 1}, fakes::UnusedLoopbackPort(), 2s));
    EXPECT_FALSE(ConnectTest({0, 0, 0, 0}, printer.port(), 2s));
}

}  // namespace
}  // namespace netcfg
