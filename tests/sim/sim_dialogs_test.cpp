// Both programs' window logic (on the fake host) against the virtual printers over loopback:
// Tessary's one-click commands and test page over TCP and over the pseudo-terminal, its device
// list filled from the simulator's answers and the address-set packet changing what the printer
// answers next; Brindel's discovery list and network firmware download.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>

#include "netcfg/device_list_dialog.h"
#include "netcfg/udp_socket.h"
#include "setuptool/main_window_layout.h"
#include "sim/pseudo_terminal.h"
#include "sim/sim_server.h"
#include "tests/fakes/fake_dialog_host.h"
#include "tests/fakes/fake_usb.h"
#include "tests/setuptool/window_rig.h"
#include "tests/sim/sim_rig.h"
#include "updater/updater_window.h"
#include "updater/window_layout.h"

namespace simtest {
namespace {

using namespace std::chrono_literals;
using testsupport::WindowRig;

// Runs the window's thread until `sim` printed a line equal to `line` (10 s at most).
bool Printed(WindowRig& rig, const SimRig& sim, const std::string& line) {
    return rig.Pump([&] {
        const auto lines = sim.Lines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    });
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
    o.serial = sim::PseudoTerminalsAvailable();
    o.slowBytesPerSecond = 4000;  // read in small pieces: the commands still arrive whole
    return o;
}

TEST(SimWithTessary, CommandsOverTcpAndSerialReadAsTheirNames) {
    SimRig sim(TwoPrinters(FreeUdpPort()));
    WindowRig rig(sim.server().TcpPort(1));
    ASSERT_TRUE(rig.Start());
    rig.UseNet();
    rig.host.Click(1004);  // cut
    ASSERT_TRUE(Printed(rig, sim, "printer 1 tcp#1 esc/pos cut: partial + pad 01"));
    rig.host.Click(setuptool::id::kPrintTest);
    ASSERT_TRUE(Printed(
        rig, sim,
        "printer 1 tcp#2 text: Welcome to use the needle printing and thermal series printers "
        "produced "));
    ASSERT_TRUE(
        Printed(rig, sim, "printer 1 tcp#2 text: by professional POS invoice printing companies!"));
    // After the test page the printer is asked its status; it is ready, so the status line
    // stays.
    ASSERT_TRUE(Printed(rig, sim, "printer 1 tcp#3 status answer: 12"));
    rig.host.Click(1103);  // self-test page
    ASSERT_TRUE(Printed(rig, sim, "printer 1 tcp#4 setting print self-test page"));
    EXPECT_EQ(rig.host.Text(setuptool::id::kStatus), "send finish count 1 ");

    // The same window on the simulator's serial port, typed into the COM name box.
    if (!sim::PseudoTerminalsAvailable()) return;  // no serial side without pseudo-terminals
    ASSERT_TRUE(rig.host.Type(setuptool::id::kSerialPort, sim.server().SerialPath()));
    ASSERT_TRUE(rig.host.Click(setuptool::id::kCom));
    rig.host.Click(1005);  // cash drawer
    ASSERT_TRUE(Printed(rig, sim,
                        "printer 1 serial esc/pos drawer kick: pin 5, on 2 ms, off 0 ms + pad 00"));
    rig.host.Click(1081);  // light on: a second open and close of the port
    ASSERT_TRUE(Printed(rig, sim, "printer 1 serial setting light: 00 (on)"));
    EXPECT_EQ(rig.exitStatus.load(), -1);
}

// A test page to a printer stalled without paper: the command is dropped and the status line
// says so and what the printer reports, in the window's language; a printer without real-time
// status leaves only the failure.
TEST(SimWithTessary, StatusLineNamesWhatAStalledPrinterReports) {
    const std::string stalledChinese = "网络打印机停止接收数据(离线或缺纸?),数据已放弃";
    const std::string stalledEnglish =
        "Network printer stopped taking data (offline or out of paper?), dropped";
    const struct {
        const char* name;
        bool english;
        bool noStatus;
        std::string line;
    } cases[] = {
        {"Chinese", false, false, stalledChinese + ";打印机报告:缺纸"},
        {"English", true, false, stalledEnglish + "; printer reports: paper out"},
        {"no status", false, true, stalledChinese},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim::SimOptions options;
        options.udpPort = std::nullopt;
        options.status.paper = commands::PaperLevel::Out;
        // The status questions (12 bytes) are read on a connection of their own; the page's
        // 2047 bytes fill what the smallest receive buffer takes.
        options.stallAfter = 100;
        options.receiveBuffer = 1;
        options.noStatus = c.noStatus;
        SimRig sim(options);
        WindowRig rig(sim.server().TcpPort(1));
        auto config = rig.Config();
        config.endpoints.tcpStall = 500ms;
        ASSERT_TRUE(rig.Start(config));
        rig.UseNet();
        if (c.english) rig.host.Click(setuptool::id::kLanguage);
        ASSERT_TRUE(rig.host.Type(setuptool::id::kPrintInfo, std::string(3000, 'x')));
        rig.host.Click(setuptool::id::kPrintTest);
        ASSERT_TRUE(rig.Pump([&] { return rig.host.Text(setuptool::id::kStatus) == c.line; }))
            << rig.host.Text(setuptool::id::kStatus);
        if (c.noStatus) {
            // The asking has ended unanswered and left the line as it was.
            ASSERT_TRUE(
                Printed(rig, sim, "printer 1 tcp#2 status request not answered (--no-status)"));
            rig.host.Thread().PumpFor(1200ms);
            EXPECT_EQ(rig.host.Text(setuptool::id::kStatus), c.line);
        }
        EXPECT_TRUE(rig.messages.Messages().empty());
        EXPECT_EQ(rig.exitStatus.load(), -1);
    }
}

// After a test page, over TCP and over the serial side, the status line adds what the printer
// reports.
TEST(SimWithTessary, TestPageShowsWhatThePrinterReports) {
    sim::SimOptions options;
    options.udpPort = std::nullopt;
    options.serial = sim::PseudoTerminalsAvailable();
    options.status.paper = commands::PaperLevel::NearEnd;
    SimRig sim(options);
    WindowRig rig(sim.server().TcpPort(1));
    ASSERT_TRUE(rig.Start());
    rig.UseNet();
    rig.host.Click(setuptool::id::kPrintTest);
    ASSERT_TRUE(rig.Pump([&] {
        return rig.host.Text(setuptool::id::kStatus) == "send finish count 1;打印机报告:纸将尽";
    })) << rig.host.Text(setuptool::id::kStatus);
    EXPECT_EQ(rig.window->StatusText(), "send finish count 1 \r\n");

    if (!sim::PseudoTerminalsAvailable()) return;  // no serial side without pseudo-terminals
    ASSERT_TRUE(rig.host.Type(setuptool::id::kSerialPort, sim.server().SerialPath()));
    ASSERT_TRUE(rig.host.Click(setuptool::id::kCom));
    rig.host.Click(setuptool::id::kLanguage);
    rig.host.Click(setuptool::id::kPrintTest);
    ASSERT_TRUE(rig.Pump([&] {
        return rig.host.Text(setuptool::id::kStatus) ==
               "send finish count 2; printer reports: paper near its end";
    })) << rig.host.Text(setuptool::id::kStatus);
    EXPECT_TRUE(Printed(rig, sim, "printer 1 serial status answer: 1E"));
}

TEST(SimWithTessary, DeviceListShowsThePrintersAndTheirNewAddress) {
    const uint16_t replyPort = FreeUdpPort();
    SimRig sim(TwoPrinters(replyPort));
    WindowRig rig(sim.server().TcpPort(1));
    auto config = rig.Config();
    config.replyPort = replyPort;
    config.broadcastAddress = "127.0.0.1";
    config.discoveryPort = sim.server().UdpPort();
    ASSERT_TRUE(rig.Start(config));

    // Once both printers are listed, printer 2 gets 127.0.0.9; the list then shows the new
    // address from the printer's next answer.
    namespace listid = netcfg::listid;
    std::vector<std::string> firstLines;
    bool changed = false;
    rig.host.OnModal([&](fakes::FakeDialogHost& list) {
        const auto lines = [&] { return list.Items(listid::kList); };
        list.Tick(listid::kScanTimer);
        ASSERT_TRUE(rig.Pump([&] { return lines().size() == 2; }));
        firstLines = lines();
        ASSERT_TRUE(list.Choose(listid::kList, 1));
        list.SetOctets(listid::kAddress, {127, 0, 0, 9});
        list.Click(listid::kSetting);
        changed = rig.Pump([&] {
            list.Tick(listid::kScanTimer);  // scans go on once a second
            const auto now = lines();
            return std::find(now.begin(), now.end(), "(1.0)127.0.0.9.") != now.end();
        });
    });
    rig.host.Click(1014);  // Scan Printer
    EXPECT_EQ(firstLines, (std::vector<std::string>{"(1.0)127.0.0.1.", "(1.0)127.0.0.2."}));
    EXPECT_EQ(rig.messages.Messages(), std::vector<std::string>{"FINISH"});
    EXPECT_TRUE(changed);
    EXPECT_EQ(sim.server().Printer(2).address, (netcfg::Ipv4Octets{127, 0, 0, 9}));
    EXPECT_EQ(sim.server().Printer(1).address, (netcfg::Ipv4Octets{127, 0, 0, 1}));
    EXPECT_TRUE(sim.HasLineWith(", applied to printer 2"));
}

// Brindel's window on the fake host with the image FWIMAGE_80.bin (1500 bytes) in its folder,
// its list filled from the simulator's answers, no USB printer.
struct BrindelRig {
    explicit BrindelRig(sim::SimOptions options)
        : replyPort(FreeUdpPort()), sim(WithReplyPort(std::move(options), replyPort)) {
        std::ofstream image(dir.Path() / "FWIMAGE_80.bin", std::ios::binary);
        const std::string data(1500, '\x21');
        image.write(data.data(), static_cast<std::streamsize>(data.size()));
    }
    static sim::SimOptions WithReplyPort(sim::SimOptions o, uint16_t port) {
        o.replyPort = port;
        return o;
    }
    updater::UpdaterWindowConfig Config() {
        updater::UpdaterWindowConfig config;
        config.replyPort = replyPort;
        config.usb = std::make_shared<fakes::FakeUsbBackend>();  // no USB printer
        config.watchUsb = std::make_shared<fakes::FakeUsbBackend>();
        config.startWatch = true;
        config.workDir = dir.Path();
        config.messages = &messages;
        config.exitProgram = [this](int status) { exitStatus = status; };
        config.broadcastTo = netcfg::Ipv4Endpoint{0x7f000001u, sim.server().UdpPort()};
        config.printerPort = sim.server().TcpPort(1);
        config.netPacing.before = config.netPacing.settle = 0ms;
        config.netPacing.afterSend = 0ms;
        return config;
    }
    // Starts the window and presses "网络升级" once the printer is listed.
    void StartDownload(updater::UpdaterWindowConfig config) {
        namespace id = updater::id;
        window = std::make_unique<updater::UpdaterWindow>(std::move(config));
        host.Attach(*window);
        ASSERT_EQ(window->Initialise(), updater::StartResult::Ready);
        ASSERT_TRUE(host.Thread().PumpUntil(
            [&] { return host.Text(id::kStatus) == "USB not Connect"; }, 10s));
        host.Tick(updater::UpdaterWindow::kScanTimer);
        ASSERT_TRUE(
            host.Thread().PumpUntil([&] { return host.Items(id::kDeviceList).size() == 1; }, 10s));
        EXPECT_EQ(host.Items(id::kDeviceList)[0], "(1.0)127.0.0.1.");
        ASSERT_TRUE(host.Choose(id::kDeviceList, 0));
        ASSERT_TRUE(host.Click(id::kNetUpdata));
    }

    uint16_t replyPort;
    SimRig sim;
    testsupport::TempDir dir;
    fakes::RecordingMessageSink messages;
    std::atomic<int> exitStatus{-1};
    fakes::FakeDialogHost host{updater::UpdaterWindow::Layout()};
    std::unique_ptr<updater::UpdaterWindow> window;  // goes before its window
};

TEST(SimWithBrindel, ListsThePrinterAndDownloadsFirmwareWithAMatchingChecksum) {
    BrindelRig rig({});
    ASSERT_NO_FATAL_FAILURE(rig.StartDownload(rig.Config()));
    ASSERT_TRUE(rig.host.Thread().PumpUntil([&] { return !rig.messages.Messages().empty(); }, 20s));
    EXPECT_EQ(rig.messages.Messages(), std::vector<std::string>{"网络下载数据完成"});
    EXPECT_EQ(rig.exitStatus.load(), -1);
    EXPECT_TRUE(rig.sim.HasLineWith("3 blocks (1536 bytes), checksum ok")) << [&] {
        std::string all;
        for (const auto& line : rig.sim.Lines()) all += line + "\n";
        return all;
    }();
}

// A network download that the printer cuts off, without paper: "Print error" and the end of the
// program as ever, and the status label says what the printer reports; one without real-time
// status leaves the label as it was.
TEST(SimWithBrindel, FailedDownloadShowsWhatThePrinterReports) {
    const struct {
        const char* name;
        bool noStatus;
        const char* label;
    } cases[] = {
        {"paper out", false, "打印机报告:缺纸"},
        {"no status", true, "USB not Connect"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim::SimOptions options;
        options.status.paper = commands::PaperLevel::Out;
        options.resetAfter = 100;  // the status questions (12 bytes) are read whole
        options.noStatus = c.noStatus;
        BrindelRig rig(options);
        auto config = rig.Config();
        config.netPacing.afterChecksum = 0ms;
        config.netPacing.stall = 1000ms;
        ASSERT_NO_FATAL_FAILURE(rig.StartDownload(std::move(config)));
        ASSERT_TRUE(rig.host.Thread().PumpUntil([&] { return rig.exitStatus.load() != -1; }, 20s));
        EXPECT_EQ(rig.exitStatus.load(), 1);
        EXPECT_EQ(rig.messages.Messages(), std::vector<std::string>{"Print error"});
        EXPECT_EQ(rig.host.Text(updater::id::kStatus), c.label);
    }
}

}  // namespace
}  // namespace simtest
