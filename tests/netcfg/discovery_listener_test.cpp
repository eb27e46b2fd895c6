// The discovery listener on a real loopback socket: it ends at once when stopped while waiting,
// and the table holds while cleared and read during a flood (what it stores is checked through
// the device list).

#include "netcfg/discovery_listener.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/fakes/udp_peer.h"

namespace netcfg {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

Bytes Reply(uint8_t b0, uint8_t tag, std::size_t length = 30) {
    Bytes r(40, 0);
    r[0] = b0;
    r[17] = tag;
    r.resize(length);
    return r;
}

struct ListenerRig {
    explicit ListenerRig(const DiscoveryPolicy& policy = TessaryPolicy())
        : table(policy), listener(socket, table, [this] { reports.fetch_add(1); }) {}

    void Send(const Bytes& bytes) { ASSERT_TRUE(peer.SendTo(socket.LocalPort(), bytes)); }

    UdpSocket socket = UdpSocket::BindAny(0);
    DeviceTable table;
    std::atomic<int> reports{0};
    DiscoveryListener listener;
    fakes::UdpPeer peer;
};

TEST(Listener, EndsAtOnceWhenStoppedWhileWaiting) {
    for (int round = 0; round < 20; ++round) {
        ListenerRig rig(round % 2 ? BrindelPolicy() : TessaryPolicy());
        ASSERT_TRUE(rig.listener.Start());
        if (round % 3 == 0) std::this_thread::sleep_for(2ms);  // let it reach the receive
        rig.listener.Stop();
        rig.listener.Stop();
        EXPECT_FALSE(rig.listener.Running());
        EXPECT_TRUE(rig.socket.IsValid());  // the owner closes it
    }
    UdpSocket invalid;
    DeviceTable table(TessaryPolicy());
    EXPECT_FALSE(DiscoveryListener(invalid, table, nullptr).Start());
}

TEST(Listener, TableHoldsWhileClearedAndReadDuringAFlood) {
    ListenerRig rig;
    ASSERT_TRUE(rig.listener.Start());
    std::atomic<bool> done{false};
    std::thread flood([&] {
        for (int i = 0; i < 3000; ++i) rig.peer.SendTo(rig.socket.LocalPort(), Reply(1, i % 40));
        done.store(true);
    });
    for (int round = 0; !done.load() && round < 100000; ++round) {
        if (round % 50 == 0) rig.table.Clear();
        const auto devices = rig.table.Devices();
        ASSERT_LE(devices.size(), kDeviceSlots);
        for (const DeviceEntry& entry : devices) ASSERT_EQ(entry.Byte(0), 1);
    }
    flood.join();
    rig.listener.Stop();
    EXPECT_GT(rig.listener.Received(), 0u);
    EXPECT_EQ(static_cast<uint64_t>(rig.reports.load()), rig.listener.Stored());  // one per store
}

}  // namespace
}  // namespace netcfg
