// The device list's logic against real loopback sockets, on a window without a toolkit: a
// scripted segment of printers receives the scan requests and answers on the reply port; the
// listener's rebuilds reach the window's thread through the gate; the list, the fields, the
// address-set packet and the messages are checked.

#include "netcfg/device_list_dialog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <set>
#include <thread>

#include "netcfg/address_set.h"
#include "netcfg/discovery_feed.h"
#include "tests/fakes/fake_dialog_host.h"
#include "tests/fakes/udp_peer.h"

namespace netcfg {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

// A reply: byte 0 `b0`, MAC 00 1A 2B 0C D4 `tag`, identity 01..06, 10.0.0.`tag`, mask
// 255.255.255.0, gateway 10.0.0.1, then filler up to `length`.
Bytes Reply(uint8_t b0, uint8_t tag, std::size_t length = 30) {
    Bytes r{b0, 0,  0x00, 0x1A, 0x2B, 0x0C, 0xD4, tag, 1, 2,  3, 4, 5,
            6,  10, 0,    0,    tag,  255,  255,  255, 0, 10, 0, 0, 1};
    r.resize(std::max<std::size_t>(length, r.size()), 0xEE);
    r.resize(length);
    return r;
}

// The main window (its thread, sockets and feed) and a device list opened over it.
struct DialogRig {
    DialogRig() { env.broadcastTo = {0x7F000001, segment.port()}; }

    void Open() {
        dialog.reset();
        host.reset();
        host = std::make_unique<fakes::FakeDialogHost>(DeviceListDialog::Layout(), window);
        dialog = std::make_unique<DeviceListDialog>(env);
        host->Attach(*dialog);
    }
    void Answer(const Bytes& bytes) { ASSERT_TRUE(segment.SendTo(reply.LocalPort(), bytes)); }
    // Datagrams the segment received that start with `first`.
    std::vector<Bytes> Received(uint8_t first) const {
        std::vector<Bytes> out;
        for (const auto& d : segment.Datagrams())
            if (!d.bytes.empty() && d.bytes[0] == first) out.push_back(d.bytes);
        return out;
    }
    Lines Shown() const { return host->Items(listid::kList); }
    bool PumpUntil(const std::function<bool()>& done) {
        return window.Thread().PumpUntil(done, 5s);
    }
    bool WaitLines(std::size_t count) {
        return PumpUntil([&] { return Shown().size() == count; });
    }
    void TypeMac(const std::array<const char*, 6>& boxes) {
        for (std::size_t i = 0; i < 6; ++i) ASSERT_TRUE(host->Type(listid::kMacBoxes[i], boxes[i]));
    }
    std::vector<std::string> Messages() { return window.MessageLog().Messages(); }

    fakes::FakeDialogHost window{platform::DialogSpec{}};
    UdpSocket reply = UdpSocket::BindAny(0);
    UdpSocket broadcast = UdpSocket::Broadcast();
    fakes::UdpPeer segment;  // where the requests and the address-set packets go
    DiscoveryFeed feed{window.Thread(), reply, TessaryPolicy()};
    DeviceListEnv env{&feed, &broadcast, {}, &window.MessageLog(), 0, 40ms};
    std::unique_ptr<fakes::FakeDialogHost> host;
    std::unique_ptr<DeviceListDialog> dialog;
};

TEST(DeviceList, ScriptedPrintersAreListedInOrderOnce) {
    DialogRig rig;
    rig.Open();
    ASSERT_TRUE(rig.host->TimerRunning(listid::kScanTimer));
    EXPECT_EQ(rig.host->TimerPeriod(listid::kScanTimer), 40ms);
    rig.host->Tick(listid::kScanTimer);
    ASSERT_TRUE(rig.PumpUntil([&] { return !rig.Received(0x58).empty(); }));
    EXPECT_EQ(rig.Received(0x58).front(), DiscoveryRequest(TessaryPolicy()));
    EXPECT_EQ(rig.Received(0x58).front().size(), 30u);

    rig.Answer(Reply(1, 0xB));
    rig.Answer(Reply(1, 0x05));
    ASSERT_TRUE(rig.WaitLines(2));
    EXPECT_EQ(rig.Shown(), (Lines{"(1.0)10.0.0.11.", "(1.0)10.0.0.5."}));
    ASSERT_TRUE(rig.host->Choose(listid::kList, 1));
    EXPECT_EQ(rig.host->Text(listid::kAddress), "10.0.0.5");
    EXPECT_EQ(rig.host->Text(listid::kMask), "255.255.255.0");
    EXPECT_EQ(rig.host->Text(listid::kGateway), "10.0.0.1");
    const char* mac[] = {"0", "1a", "2b", "c", "d4", "5"};
    for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(rig.host->Text(listid::kMacBoxes[i]), mac[i]);

    // Repeats, a bad byte 0 and an empty datagram rebuild nothing: the selection stays.
    const uint64_t before = rig.feed.Listener().Received();
    for (const Bytes& again : {Reply(1, 0xB), Reply(1, 0x05), Reply(0x80, 0x33), Bytes{}})
        rig.Answer(again);
    ASSERT_TRUE(rig.PumpUntil([&] { return rig.feed.Listener().Received() >= before + 3; }));
    rig.window.Thread().PumpFor(50ms);
    EXPECT_EQ(rig.host->Position(listid::kList), 1);

    // A new device (40 bytes, read as 30) rebuilds the list and drops the selection; the fields
    // keep their values. A 10-byte reply lacks the address bytes.
    rig.Answer(Reply(2, 0x21, 40));
    ASSERT_TRUE(rig.WaitLines(3));
    EXPECT_EQ(rig.host->Position(listid::kList), -1);
    EXPECT_EQ(rig.host->Text(listid::kAddress), "10.0.0.5");
    EXPECT_EQ(rig.host->Text(listid::kMacBoxes[1]), "1a");
    rig.Answer(Reply(3, 0x22, 10));
    ASSERT_TRUE(rig.WaitLines(4));
    const Lines shown = rig.Shown();
    EXPECT_EQ(Lines(shown.begin() + 2, shown.end()), (Lines{"(2.0)10.0.0.33.", "(3.0)0.0.0.0."}));
    EXPECT_TRUE(rig.host->UnknownIds().empty());
}

TEST(DeviceList, SettingChecksThenBroadcastsTheExactPacket) {
    DialogRig rig;
    rig.Open();
    rig.host->Click(listid::kSetting);
    EXPECT_EQ(rig.Messages(), (std::vector<std::string>{"No Select print"}));

    rig.Answer(Reply(1, 0x55));
    ASSERT_TRUE(rig.WaitLines(1));
    ASSERT_TRUE(rig.host->Choose(listid::kList, 0));
    rig.host->SetOctets(listid::kAddress, {192, 168, 1, 50});
    rig.host->SetOctets(listid::kGateway, {192, 168, 1, 1});
    rig.TypeMac({"0", "11", "22", "g3", "44", "56"});
    rig.host->Click(listid::kSetting);  // box 4 holds no byte: nothing is sent
    EXPECT_EQ(rig.Messages().back(), MacBoxErrorText(4, 0));
    ASSERT_TRUE(rig.host->Type(listid::kMacBoxes[3], "33"));

    rig.host->Click(listid::kSetting);
    EXPECT_EQ(rig.Messages().back(), "FINISH");
    ASSERT_TRUE(rig.PumpUntil([&] { return !rig.Received(0x5A).empty(); }));
    // Typed address, the device's mask, typed MAC and gateway, the device's MAC and identity.
    const Bytes expected{0x5A, 0xC0, 0xA8, 0x01, 0x32, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x11,
                         0x22, 0x33, 0x44, 0x56, 0xC0, 0xA8, 0x01, 0x01, 0x00, 0x1A, 0x2B,
                         0x0C, 0xD4, 0x55, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x00};
    EXPECT_EQ(rig.Received(0x5A), (std::vector<Bytes>{expected}));
    EXPECT_TRUE(rig.Shown().empty());
    EXPECT_EQ(rig.feed.Table().Count(), 0u);
    rig.Answer(Reply(1, 0x55));  // back with its next answer
    EXPECT_TRUE(rig.WaitLines(1));

    // No send socket, then a send the system refuses (port 0): the device stays listed.
    UdpSocket none;
    const struct {
        const UdpSocket* socket;
        const char* message;
    } failures[] = {{&none, "Error 0"}, {&rig.broadcast, "Error 1"}};
    rig.env.broadcastTo.port = 0;
    for (const auto& failure : failures) {
        rig.env.broadcastSocket = failure.socket;
        rig.Open();
        rig.Answer(Reply(1, 0x56));
        ASSERT_TRUE(rig.WaitLines(1));
        ASSERT_TRUE(rig.host->Choose(listid::kList, 0));
        rig.TypeMac({"1", "1", "1", "1", "1", "1"});
        rig.host->Click(listid::kSetting);
        EXPECT_EQ(rig.Messages().back(), failure.message);
        EXPECT_EQ(rig.Shown().size(), 1u);
    }
}

TEST(DeviceList, ReopeningStartsEmptyAndReconnectsTheOneListener) {
    DialogRig rig;
    rig.Open();
    rig.Answer(Reply(1, 7));
    ASSERT_TRUE(rig.WaitLines(1));
    ASSERT_TRUE(rig.host->CloseBox());
    EXPECT_FALSE(rig.host->TimerRunning(listid::kScanTimer));
    rig.Answer(Reply(1, 8));  // stored while closed; the next opening empties the table
    ASSERT_TRUE(rig.PumpUntil([&] { return rig.feed.Table().Count() == 2; }));
    EXPECT_EQ(rig.Shown().size(), 1u);  // a closed list is not rebuilt

    rig.Open();
    EXPECT_TRUE(rig.Shown().empty());
    EXPECT_EQ(rig.feed.Table().Count(), 0u);
    rig.Answer(Reply(1, 8));
    ASSERT_TRUE(rig.WaitLines(1));
    EXPECT_EQ(rig.Shown(), Lines{"(1.0)10.0.0.8."});
}

// A flood of replies (mostly repeats and junk) from another thread: the window's thread keeps
// serving the listener's rebuilds, and every distinct device ends up listed once.
TEST(DeviceList, FloodLeavesTheDistinctDevicesListedOnce) {
    DialogRig rig;
    rig.Open();
    constexpr int kDistinct = 12;
    std::atomic<bool> done{false};
    const uint16_t port = rig.reply.LocalPort();
    std::thread flood([&] {
        // Per four: a device, a bad byte 0, junk of 0-63 zero bytes, an over-long repeat.
        for (int i = 0; i < 100000; ++i) {
            const auto tag = static_cast<uint8_t>(i / 4 % kDistinct);
            const Bytes kinds[] = {Reply(1, tag), Reply(0x90, tag), Bytes(i % 64, 0),
                                   Reply(1, tag, 40)};
            rig.segment.SendTo(port, kinds[i % 4]);
        }
        done.store(true);
    });
    const bool finished = rig.window.Thread().PumpUntil([&] { return done.load(); }, 60s);
    flood.join();
    ASSERT_TRUE(finished);
    // A full receive buffer drops datagrams: every device answers once more.
    for (int tag = 0; tag < kDistinct; ++tag) rig.Answer(Reply(1, static_cast<uint8_t>(tag)));
    ASSERT_TRUE(rig.WaitLines(kDistinct));
    rig.window.Thread().PumpFor(50ms);
    const Lines lines = rig.Shown();
    EXPECT_EQ(std::set<std::string>(lines.begin(), lines.end()).size(), std::size_t{kDistinct});
}

TEST(DeviceList, CaptionsAndEmptyFieldsInBothLanguages) {
    for (int language : {0, 1}) {
        DialogRig rig;
        rig.env.languageFlag = language;
        rig.Open();
        EXPECT_STREQ(rig.host->Layout().title, "Dialog");
        for (const auto& entry : DeviceListCaptions())
            EXPECT_EQ(rig.host->Text(entry.id), language ? entry.english : entry.chinese);
        for (int field : {listid::kAddress, listid::kMask, listid::kGateway})
            EXPECT_FALSE(rig.host->OctetsSet(field)) << field;
        for (int box : listid::kMacBoxes) EXPECT_EQ(rig.host->Text(box), "") << box;
        rig.host->Click(listid::kSetting);
        EXPECT_EQ(rig.Messages(), std::vector<std::string>{"No Select print"});
    }
}

}  // namespace
}  // namespace netcfg
