// Tessary's and Brindel's windows against the virtual printers over loopback: one-click commands
// and the test page over TCP and over the pseudo-terminal, the device lists filled from the
// simulator's answers, the address-set packet changing what the printer answers next, and
// Brindel's network firmware download.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "netcfg/device_list_dialog.h"
#include "netcfg/udp_socket.h"
#include "platform/qt/ipv4_edit.h"
#include "platform/qt/qt_dialog_host.h"
#include "setuptool/main_window_layout.h"
#include "sim/sim_server.h"
#include "tests/fakes/fake_usb.h"
#include "tests/fakes/recording_message_sink.h"
#include "tests/platform/qt_wait.h"
#include "tests/setuptool/window_harness.h"
#include "tests/sim/sim_rig.h"
#include "updater/updater_window.h"
#include "updater/window_layout.h"

namespace simtest {
namespace {

using namespace std::chrono_literals;
using testsupport::PumpUntil;

// Runs the window's events until `rig` printed a line equal to `line` (10 s at most).
bool Printed(const SimRig& rig, const std::string& line) {
    return PumpUntil(
        [&] {
            const auto lines = rig.Lines();
            return std::find(lines.begin(), lines.end(), line) != lines.end();
        },
        10s);
}

// A UDP port free a moment ago, for the window's reply socket (the simulator answers to it).
uint16_t FreeUdpPort() {
    netcfg::UdpSocket probe = netcfg::UdpSocket::BindAny(0);
    return probe.LocalPort();
}

sim::SimOptions TwoPrinters(uint16_t replyPort) {
    sim::SimOptions o;
    o.printers = 2;
    o.replyPort = replyPort;
    o.serial = true;
    o.slowBytesPerSecond = 4000;  // read in small pieces: the commands still arrive whole
    return o;
}

void Click(testsupport::WindowHarness& h, int id) {
    h.Get<QPushButton>(id)->click();
}

TEST(SimWithTessary, CommandsOverTcpAndSerialReadAsTheirNames) {
    SimRig sim(TwoPrinters(FreeUdpPort()));
    testsupport::WindowHarness h(sim.server().TcpPort(1));
    ASSERT_TRUE(h.Start());
    h.UseNet();
    Click(h, 1004);  // cut
    ASSERT_TRUE(Printed(sim, "printer 1 tcp#1 esc/pos cut: partial + pad 01"));
    Click(h, setuptool::id::kPrintTest);
    ASSERT_TRUE(Printed(
        sim,
        "printer 1 tcp#2 text: Welcome to use the needle printing and thermal series printers "
        "produced "));
    ASSERT_TRUE(
        Printed(sim, "printer 1 tcp#2 text: by professional POS invoice printing companies!"));
    Click(h, 1103);  // self-test page
    ASSERT_TRUE(Printed(sim, "printer 1 tcp#3 setting print self-test page"));

    // The same window on the simulator's serial port, typed into the COM name box.
    h.Get<QComboBox>(setuptool::id::kSerialPort)
        ->setEditText(QString::fromStdString(sim.server().SerialPath()));
    h.Get<QRadioButton>(setuptool::id::kCom)->setChecked(true);
    Click(h, 1005);  // cash drawer
    ASSERT_TRUE(
        Printed(sim, "printer 1 serial esc/pos drawer kick: pin 5, on 2 ms, off 0 ms + pad 00"));
    Click(h, 1081);  // light on: a second open and close of the port
    ASSERT_TRUE(Printed(sim, "printer 1 serial setting light: 00 (on)"));
    EXPECT_EQ(h.exitStatus.load(), -1);
}

TEST(SimWithTessary, DeviceListShowsThePrintersAndTheirNewAddress) {
    const uint16_t replyPort = FreeUdpPort();
    SimRig sim(TwoPrinters(replyPort));
    testsupport::WindowHarness h(sim.server().TcpPort(1));
    auto config = h.Config();
    config.replyPort = replyPort;
    config.broadcastAddress = "127.0.0.1";
    config.discoveryPort = sim.server().UdpPort();
    ASSERT_TRUE(h.Start(config));

    // The list runs modally inside the click. A poll picks printer 2 once both are listed,
    // gives it 127.0.0.9 and sends; then waits until the list shows the new address.
    std::vector<QString> firstLines;
    bool sent = false;
    QString changed;
    QElapsedTimer clock;
    clock.start();
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<platform::QtDialogHost*>(QApplication::activeModalWidget());
        if (dialog == nullptr) return;
        auto* list = qobject_cast<QListWidget*>(dialog->Control(netcfg::listid::kList));
        if (!sent && list->count() == 2) {
            for (int i = 0; i < 2; ++i) firstLines.push_back(list->item(i)->text());
            list->setCurrentRow(1);
            qobject_cast<platform::Ipv4Edit*>(dialog->Control(netcfg::listid::kAddress))
                ->SetText(QStringLiteral("127.0.0.9"));
            qobject_cast<QPushButton*>(dialog->Control(netcfg::listid::kSetting))->click();
            sent = true;
        }
        for (int i = 0; sent && i < list->count(); ++i) {
            if (list->item(i)->text() == QStringLiteral("(1.0)127.0.0.9."))
                changed = list->item(i)->text();
        }
        if (!changed.isEmpty() || clock.elapsed() > 10000) dialog->close();
    });
    driver.start(20);
    Click(h, 1014);  // Scan Printer
    EXPECT_EQ(firstLines, (std::vector<QString>{QStringLiteral("(1.0)127.0.0.1."),
                                                QStringLiteral("(1.0)127.0.0.2.")}));
    EXPECT_EQ(h.messages.Messages(), std::vector<std::string>{"FINISH"});
    EXPECT_EQ(changed, QStringLiteral("(1.0)127.0.0.9."));
    EXPECT_EQ(sim.server().Printer(2).address, (netcfg::Ipv4Octets{127, 0, 0, 9}));
    EXPECT_EQ(sim.server().Printer(1).address, (netcfg::Ipv4Octets{127, 0, 0, 1}));
    EXPECT_TRUE(sim.HasLineWith(", applied to printer 2"));
    h.window->reject();
}

TEST(SimWithBrindel, ListsThePrinterAndDownloadsFirmwareWithAMatchingChecksum) {
    const uint16_t replyPort = FreeUdpPort();
    sim::SimOptions options;
    options.replyPort = replyPort;
    SimRig sim(options);
    const auto dir = std::filesystem::temp_directory_path() / "sim_brindel_test";
    std::filesystem::create_directories(dir);
    {
        std::ofstream image(dir / "FWIMAGE_80.bin", std::ios::binary);
        const std::string data(1500, '\x21');
        image.write(data.data(), static_cast<std::streamsize>(data.size()));
    }
    fakes::RecordingMessageSink messages;
    updater::UpdaterWindowConfig config;
    config.replyPort = replyPort;
    config.usb = std::make_shared<fakes::FakeUsbBackend>();  // no USB printer
    config.watchUsb = std::make_shared<fakes::FakeUsbBackend>();
    config.startWatch = true;
    config.workDir = dir;
    config.messages = &messages;
    config.exitProgram = [](int) { ADD_FAILURE() << "program ended"; };
    config.broadcastTo = netcfg::Ipv4Endpoint{0x7f000001u, sim.server().UdpPort()};
    config.scanInterval = 50ms;
    config.printerPort = sim.server().TcpPort(1);
    config.netPacing.before = config.netPacing.settle = 0ms;
    config.netPacing.afterSend = 0ms;
    updater::UpdaterWindow window(std::move(config));
    ASSERT_EQ(window.Initialise(), updater::StartResult::Ready);
    window.show();
    auto* list = qobject_cast<QListWidget*>(window.Control(updater::id::kDeviceList));
    ASSERT_TRUE(PumpUntil([&] { return list->count() == 1; }, 10s));
    EXPECT_EQ(list->item(0)->text(), QStringLiteral("(1.0)127.0.0.1."));
    list->setCurrentRow(0);
    qobject_cast<QPushButton*>(window.Control(updater::id::kNetUpdata))->click();
    ASSERT_TRUE(PumpUntil([&] { return !messages.Messages().empty(); }, 20s));
    EXPECT_EQ(messages.Messages(), std::vector<std::string>{"网络下载数据完成"});
    EXPECT_TRUE(sim.HasLineWith("3 blocks (1536 bytes), checksum ok")) << [&] {
        std::string all;
        for (const auto& line : sim.Lines()) all += line + "\n";
        return all;
    }();
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace simtest
