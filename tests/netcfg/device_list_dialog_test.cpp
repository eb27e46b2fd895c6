// The device-list dialog against real loopback sockets: a scripted segment of printers receives
// the scan requests and answers on the reply port; the list, the fields, the address-set packet
// and the messages are checked offscreen. Set TESSARY_SHOT_DIR to save screenshots.

#include "netcfg/device_list_dialog.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <atomic>
#include <set>
#include <thread>

#include "netcfg/address_set.h"
#include "netcfg/discovery_feed.h"
#include "platform/message_sink.h"
#include "platform/qt/ipv4_edit.h"
#include "platform/qt/qt_ui_thread.h"
#include "setuptool/captions.h"
#include "tests/fakes/recording_message_sink.h"
#include "tests/fakes/udp_peer.h"
#include "tests/platform/qt_wait.h"

namespace netcfg {
namespace {

using namespace std::chrono_literals;
using testsupport::PumpFor;
using testsupport::PumpUntil;
using Bytes = std::vector<uint8_t>;

// A reply: byte 0 `b0`, MAC 00 1A 2B 0C D4 `tag`, identity 01..06, 10.0.0.`tag`, mask
// 255.255.255.0, gateway 10.0.0.1, then filler up to `length`.
Bytes Reply(uint8_t b0, uint8_t tag, std::size_t length = 30) {
    Bytes r{b0, 0,  0x00, 0x1A, 0x2B, 0x0C, 0xD4, tag, 1, 2,  3, 4, 5,
            6,  10, 0,    0,    tag,  255,  255,  255, 0, 10, 0, 0, 1};
    r.resize(std::max<std::size_t>(length, r.size()), 0xEE);
    r.resize(length);
    return r;
}

struct DialogRig {
    DialogRig() { env.broadcastTo = {0x7F000001, segment.port()}; }

    void Open() {
        dialog = std::make_unique<DeviceListDialog>(env);
        dialog->show();
    }
    void Answer(const Bytes& bytes) { ASSERT_TRUE(segment.SendTo(reply.LocalPort(), bytes)); }
    // Datagrams the segment received that start with `first`.
    std::vector<Bytes> Received(uint8_t first) const {
        std::vector<Bytes> out;
        for (const auto& d : segment.Datagrams())
            if (!d.bytes.empty() && d.bytes[0] == first) out.push_back(d.bytes);
        return out;
    }
    QListWidget* List() const { return Get<QListWidget>(listid::kList); }
    QStringList Lines() const {
        QStringList lines;
        for (int i = 0; i < List()->count(); ++i) lines << List()->item(i)->text();
        return lines;
    }
    bool WaitLines(int count) {
        return PumpUntil([&] { return List()->count() == count; }, 5s);
    }
    QLineEdit* Mac(std::size_t i) const { return Get<QLineEdit>(listid::kMacBoxes[i]); }
    platform::Ipv4Edit* Ip(int id) const { return Get<platform::Ipv4Edit>(id); }
    void ClickSetting() { Get<QPushButton>(listid::kSetting)->click(); }
    template <class T>
    T* Get(int id) const {
        return qobject_cast<T*>(dialog->Control(id));
    }

    UdpSocket reply = UdpSocket::BindAny(0);
    UdpSocket broadcast = UdpSocket::Broadcast();
    fakes::UdpPeer segment;  // where the requests and the address-set packets go
    QObject context;
    platform::QtUiThread thread{&context};
    DiscoveryFeed feed{thread, reply, TessaryPolicy()};
    fakes::RecordingMessageSink messages;
    DeviceListEnv env{&feed, &broadcast, {}, &messages, 0, 40ms};
    std::unique_ptr<DeviceListDialog> dialog;
};

TEST(DeviceList, ScriptedPrintersAreListedInOrderOnce) {
    DialogRig rig;
    rig.Open();
    ASSERT_TRUE(PumpUntil([&] { return !rig.Received(0x58).empty(); }));
    EXPECT_EQ(rig.Received(0x58).front().size(), 30u);

    rig.Answer(Reply(1, 0xB));
    rig.Answer(Reply(1, 0x05));
    ASSERT_TRUE(rig.WaitLines(2));
    EXPECT_EQ(rig.Lines(), (QStringList{"(1.0)10.0.0.11.", "(1.0)10.0.0.5."}));
    rig.List()->item(1)->setSelected(true);
    EXPECT_EQ(rig.Ip(listid::kAddress)->Text(), QStringLiteral("10.0.0.5"));
    EXPECT_EQ(rig.Ip(listid::kMask)->Text(), QStringLiteral("255.255.255.0"));
    EXPECT_EQ(rig.Ip(listid::kGateway)->Text(), QStringLiteral("10.0.0.1"));
    const char* mac[] = {"0", "1a", "2b", "c", "d4", "5"};
    for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(rig.Mac(i)->text(), QString::fromUtf8(mac[i]));

    // Repeats, a bad byte 0 and an empty datagram rebuild nothing: the selection stays.
    const uint64_t before = rig.feed.Listener().Received();
    for (const Bytes& again : {Reply(1, 0xB), Reply(1, 0x05), Reply(0x80, 0x33), Bytes{}})
        rig.Answer(again);
    ASSERT_TRUE(PumpUntil([&] { return rig.feed.Listener().Received() >= before + 3; }));
    PumpFor(50ms);
    EXPECT_EQ(rig.dialog->SelectedLine(), 1);

    // A new device (40 bytes, read as 30) rebuilds the list and drops the selection; the fields
    // keep their values. A 10-byte reply lacks the address bytes.
    rig.Answer(Reply(2, 0x21, 40));
    ASSERT_TRUE(rig.WaitLines(3));
    EXPECT_EQ(rig.dialog->SelectedLine(), -1);
    EXPECT_EQ(rig.Ip(listid::kAddress)->Text(), QStringLiteral("10.0.0.5"));
    EXPECT_EQ(rig.Mac(1)->text(), QStringLiteral("1a"));
    rig.Answer(Reply(3, 0x22, 10));
    ASSERT_TRUE(rig.WaitLines(4));
    EXPECT_EQ(rig.Lines().mid(2), (QStringList{"(2.0)10.0.0.33.", "(3.0)0.0.0.0."}));
}

TEST(DeviceList, SettingChecksThenBroadcastsTheExactPacket) {
    DialogRig rig;
    rig.Open();
    rig.ClickSetting();
    EXPECT_EQ(rig.messages.Messages(), (std::vector<std::string>{"No Select print"}));

    rig.Answer(Reply(1, 0x55));
    ASSERT_TRUE(rig.WaitLines(1));
    rig.List()->item(0)->setSelected(true);
    rig.Ip(listid::kAddress)->SetText(QStringLiteral("192.168.1.50"));
    rig.Ip(listid::kGateway)->SetText(QStringLiteral("192.168.1.1"));
    const char* boxes[] = {"0", "11", "22", "g3", "44", "56"};
    for (std::size_t i = 0; i < 6; ++i) rig.Mac(i)->setText(QString::fromUtf8(boxes[i]));
    rig.ClickSetting();  // box 4 holds no byte: nothing is sent
    EXPECT_EQ(rig.messages.Messages().back(), MacBoxErrorText(4, 0));
    rig.Mac(3)->setText(QStringLiteral("33"));

    rig.ClickSetting();
    EXPECT_EQ(rig.messages.Messages().back(), "FINISH");
    ASSERT_TRUE(PumpUntil([&] { return !rig.Received(0x5A).empty(); }));
    // Typed address, the device's mask, typed MAC and gateway, the device's MAC and identity.
    const Bytes expected{0x5A, 0xC0, 0xA8, 0x01, 0x32, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x11,
                         0x22, 0x33, 0x44, 0x56, 0xC0, 0xA8, 0x01, 0x01, 0x00, 0x1A, 0x2B,
                         0x0C, 0xD4, 0x55, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x00};
    EXPECT_EQ(rig.Received(0x5A), (std::vector<Bytes>{expected}));
    EXPECT_EQ(rig.List()->count(), 0);
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
        rig.dialog.reset();
        rig.Open();
        rig.Answer(Reply(1, 0x56));
        ASSERT_TRUE(rig.WaitLines(1));
        rig.List()->item(0)->setSelected(true);
        for (std::size_t i = 0; i < 6; ++i) rig.Mac(i)->setText(QStringLiteral("1"));
        rig.ClickSetting();
        EXPECT_EQ(rig.messages.Messages().back(), failure.message);
        EXPECT_EQ(rig.List()->count(), 1);
    }
}

TEST(DeviceList, ReopeningStartsEmptyAndReconnectsTheOneListener) {
    DialogRig rig;
    rig.Open();
    rig.Answer(Reply(1, 7));
    ASSERT_TRUE(rig.WaitLines(1));
    rig.dialog->close();
    EXPECT_FALSE(rig.dialog->ScanTimer().isActive());
    rig.Answer(Reply(1, 8));  // stored while closed; the next opening empties the table
    ASSERT_TRUE(PumpUntil([&] { return rig.feed.Table().Count() == 2; }));
    rig.dialog.reset();

    rig.Open();
    EXPECT_EQ(rig.List()->count(), 0);
    EXPECT_EQ(rig.feed.Table().Count(), 0u);
    rig.Answer(Reply(1, 8));
    ASSERT_TRUE(rig.WaitLines(1));
    EXPECT_EQ(rig.Lines(), QStringList{"(1.0)10.0.0.8."});
}

TEST(DeviceList, FloodLeavesTheDistinctDevicesAndAServingUiThread) {
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
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(5);
    const bool finished = PumpUntil([&] { return done.load(); }, 60s);
    flood.join();
    ASSERT_TRUE(finished);
    EXPECT_GT(ticks, 0);  // timers kept firing during the flood
    // A full receive buffer drops datagrams: every device answers once more.
    for (int tag = 0; tag < kDistinct; ++tag) rig.Answer(Reply(1, static_cast<uint8_t>(tag)));
    ASSERT_TRUE(rig.WaitLines(kDistinct));
    PumpFor(50ms);
    const QStringList lines = rig.Lines();
    EXPECT_EQ(std::set<QString>(lines.begin(), lines.end()).size(), std::size_t{kDistinct});
}

TEST(DeviceList, CaptionsIdsAndNamesInBothLanguages) {
    for (int language : {0, 1}) {
        DialogRig rig;
        rig.env.languageFlag = language;
        rig.Open();
        EXPECT_EQ(rig.dialog->windowTitle(), QStringLiteral("Dialog"));
        EXPECT_TRUE(rig.dialog->isModal());
        for (const auto& entry : setuptool::CaptionTable(setuptool::kDeviceListDialog)) {
            EXPECT_EQ(platform::ControlText(rig.dialog->Control(entry.id)).toStdString(),
                      language ? entry.english : entry.chinese);
        }
        for (const platform::ControlDef& def : DeviceListControls()) {
            if (def.id == platform::kNoId) continue;
            QWidget* control = rig.dialog->Control(def.id);
            ASSERT_NE(control, nullptr) << def.id;
            EXPECT_EQ(control->accessibleDescription(), QString::number(def.id));
            EXPECT_FALSE(
                QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name).isEmpty())
                << def.id;
            if (auto* edit = qobject_cast<QLineEdit*>(control)) {
                EXPECT_TRUE(edit->text().isEmpty()) << def.id;
            }
        }
        EXPECT_TRUE(rig.Ip(listid::kAddress)->IsBlank());
        rig.Answer(Reply(1, 0xC7));
        rig.Answer(Reply(1, 0x05));
        ASSERT_TRUE(rig.WaitLines(2));
        rig.List()->item(0)->setSelected(true);
        const QByteArray dir = qgetenv("TESSARY_SHOT_DIR");
        if (!dir.isEmpty() && QDir().mkpath(QString::fromLocal8Bit(dir))) {
            rig.dialog->grab().save(
                QString::fromLocal8Bit(dir) +
                (language ? "/device-list-english.png" : "/device-list-chinese.png"));
        }
    }
}

}  // namespace
}  // namespace netcfg
