// The main window's network buttons end to end: address, DHCP and MAC frames through the sender
// to a printer on loopback TCP, the connect test, and "Scan Printer" opening the device list on
// the window's own sockets.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include "netcfg/address_set.h"
#include "netcfg/device_list_dialog.h"
#include "platform/qt/ipv4_edit.h"
#include "platform/qt/qt_dialog_host.h"
#include "setuptool/random_mac.h"
#include "tests/fakes/tcp_peer.h"
#include "tests/fakes/udp_peer.h"
#include "tests/platform/qt_wait.h"
#include "tests/setuptool/window_harness.h"

namespace {

using namespace std::chrono_literals;
using testsupport::PumpUntil;
using testsupport::WindowHarness;
using Bytes = std::vector<uint8_t>;

struct NetworkButtons : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(printer.ok());
        ASSERT_TRUE(h.Start());
        h.UseNet();
    }
    void Click(int id) { h.Get<QPushButton>(id)->click(); }
    Bytes Delivery(std::size_t count) {
        EXPECT_TRUE(PumpUntil(
            [&] {
                std::size_t closed = 0;
                for (const auto& c : printer.Connections()) closed += c.closed;
                return closed >= count;
            },
            10s))
            << "delivery " << count;
        const auto connections = printer.Connections();
        return connections.size() >= count ? connections[count - 1].bytes : Bytes{};
    }
    QString MacBox(std::size_t i) { return h.Get<QLineEdit>(setuptool::kMacBoxIds[i])->text(); }

    fakes::TcpPrinterPeer printer;
    WindowHarness h{printer.port()};
};

TEST_F(NetworkButtons, AddressDhcpAndMacFramesReachThePrinter) {
    Click(1012);  // Set IP from New IP, mask and gateway; field 1009 is only where TCP goes
    EXPECT_EQ(Delivery(1),
              netcfg::IpSettingFrame({192, 168, 1, 199}, {255, 255, 255, 0}, {192, 168, 0, 1}));
    EXPECT_EQ(Delivery(1).size(), 26u);
    Click(1015);
    EXPECT_EQ(Delivery(2), (Bytes{0x1F, 0x1B, 0x65, 0x01}));
    Click(1016);
    EXPECT_EQ(Delivery(3), (Bytes{0x1F, 0x1B, 0x65, 0x00}));

    const char* boxes[] = {"2", "A5", "0a5", "c", "d4", "F"};
    for (std::size_t i = 0; i < 6; ++i)
        h.Get<QLineEdit>(setuptool::kMacBoxIds[i])->setText(QString::fromUtf8(boxes[i]));
    h.clock.Set(h.clock.SecondsSinceEpoch() + 1);
    Click(1043);
    EXPECT_EQ(Delivery(4), (Bytes{0x1F, 0x1B, 0x67, 0x02, 0xA5, 0x0A, 0x0C, 0xD4, 0x0F, 0x00}));
    // The next proposal, for the clock's second, is in the boxes.
    const auto next = setuptool::RandomMac(h.clock.SecondsSinceEpoch());
    EXPECT_EQ(h.window->MacProposal(), next);
    for (std::size_t i = 0; i < 6; ++i)
        EXPECT_EQ(MacBox(i).toStdString(), netcfg::FormatMacByte(next[i]));

    // A bad box sends nothing, says which box, and keeps the proposal.
    h.Get<QLineEdit>(setuptool::kMacBoxIds[4])->clear();
    Click(1043);
    EXPECT_EQ(h.messages.Messages(), (std::vector<std::string>{netcfg::MacBoxErrorText(5, 0)}));
    EXPECT_EQ(h.window->MacProposal(), next);
    Click(1015);  // the next delivery is this one, not a MAC frame
    EXPECT_EQ(Delivery(5), (Bytes{0x1F, 0x1B, 0x65, 0x01}));
}

TEST_F(NetworkButtons, ConnectTestReportsOkAndFailureWithoutBlockingTheWindow) {
    auto* button = h.Get<QPushButton>(1018);
    button->click();
    ASSERT_TRUE(PumpUntil([&] { return h.messages.Messages().size() == 1; }));
    EXPECT_EQ(h.messages.Messages()[0], netcfg::kConnectOk);
    ASSERT_TRUE(PumpUntil([&] { return button->isEnabled(); }));
    EXPECT_TRUE(printer.WaitForClosed(1, 5s));
    EXPECT_TRUE(printer.Connections()[0].bytes.empty());

    h.Get<platform::Ipv4Edit>(1009)->SetText(QStringLiteral("127.0.0.2"));  // nothing listens
    button->click();
    EXPECT_FALSE(button->isEnabled());  // one attempt at a time
    ASSERT_TRUE(PumpUntil([&] { return h.messages.Messages().size() == 2; }));
    EXPECT_EQ(h.messages.Messages()[1], netcfg::kConnectFail);
    EXPECT_TRUE(PumpUntil([&] { return button->isEnabled(); }));
}

TEST(ScanPrinter, OpensTheDeviceListOnTheWindowsSockets) {
    fakes::UdpPeer segment;
    WindowHarness h;
    auto config = h.Config();
    config.broadcastAddress = "127.0.0.1";
    config.discoveryPort = segment.port();
    ASSERT_TRUE(h.Start(config));

    // The dialog runs modally inside the click: a poll answers the first request and closes it
    // once the answer is listed (or after 8 s).
    QString line;
    QElapsedTimer clock;
    clock.start();
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<platform::QtDialogHost*>(QApplication::activeModalWidget());
        if (dialog == nullptr) return;
        auto* list = qobject_cast<QListWidget*>(dialog->Control(netcfg::listid::kList));
        if (segment.Datagrams().size() == 1 && segment.Datagrams()[0].bytes.size() == 30)
            segment.SendTo(h.window->ReplyPort(),
                           Bytes{1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 10, 0, 0, 9});
        if (list->count() > 0) line = list->item(0)->text();
        if (list->count() > 0 || clock.elapsed() > 8000) dialog->close();
    });
    driver.start(20);
    h.Get<QPushButton>(1014)->click();
    EXPECT_EQ(line, QStringLiteral("(1.0)10.0.0.9."));
    h.window->reject();  // the listener lets go of the reply socket: no hang
    EXPECT_LT(h.window->ReplySocket(), 0);
}

}  // namespace
