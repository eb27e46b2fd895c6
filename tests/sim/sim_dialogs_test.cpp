// Tessary's window logic (on the fake host) against the virtual printers over loopback: one-click
// commands and the test page over TCP and over the pseudo-terminal, the device list filled from
// the simulator's answers, and the address-set packet changing what the printer answers next.
#include <gtest/gtest.h>

#include <algorithm>

#include "netcfg/device_list_dialog.h"
#include "netcfg/udp_socket.h"
#include "setuptool/main_window_layout.h"
#include "sim/sim_server.h"
#include "tests/setuptool/window_rig.h"
#include "tests/sim/sim_rig.h"

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
    o.serial = true;
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
    rig.host.Click(1103);  // self-test page
    ASSERT_TRUE(Printed(rig, sim, "printer 1 tcp#3 setting print self-test page"));

    // The same window on the simulator's serial port, typed into the COM name box.
    ASSERT_TRUE(rig.host.Type(setuptool::id::kSerialPort, sim.server().SerialPath()));
    ASSERT_TRUE(rig.host.Click(setuptool::id::kCom));
    rig.host.Click(1005);  // cash drawer
    ASSERT_TRUE(Printed(rig, sim,
                        "printer 1 serial esc/pos drawer kick: pin 5, on 2 ms, off 0 ms + pad 00"));
    rig.host.Click(1081);  // light on: a second open and close of the port
    ASSERT_TRUE(Printed(rig, sim, "printer 1 serial setting light: 00 (on)"));
    EXPECT_EQ(rig.exitStatus.load(), -1);
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

}  // namespace
}  // namespace simtest
