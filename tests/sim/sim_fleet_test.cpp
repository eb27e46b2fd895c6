// tessary-cli fleet against a fleet of virtual printers on loopback: a plan moves twenty printers
// and gives each two settings, which arrive at their new addresses; the same plan again changes
// nothing; two printers trade addresses; a deaf printer fails while the others are done; a
// printer that is not there is missing; a bad plan sends nothing at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "cli/send_names.h"
#include "netcfg/udp_socket.h"
#include "tests/cli/cli_rig.h"
#include "tests/fakes/wait.h"
#include "tests/sim/sim_rig.h"

namespace simtest {
namespace {

using namespace std::chrono_literals;

constexpr const char* kHeader = "mac,ip,mask,gateway,cutter,sound\n";

// Printer i's plan row: from 127.0.0.i to 127.0.1.<to>, with cutter on and sound off.
std::string PlanRow(int i, int to, const char* cutter = "on", const char* sound = "off") {
    char row[128];
    std::snprintf(row, sizeof row,
                  "02:00:00:00:00:%02X,127.0.1.%d,255.255.255.0,127.0.1.254,%s,%s\n", i, to, cutter,
                  sound);
    return row;
}

// Virtual printers 1..count at 127.0.0.i and tessary-cli pointed at them.
class Fleet {
  public:
    explicit Fleet(int count, std::vector<netcfg::MacBytes> deaf = {})
        : replyPort_(netcfg::UdpSocket::BindAny(0).LocalPort()), sim_(Options(count, deaf)) {}

    clitest::Outcome Run(const std::string& plan, std::vector<std::string> extra = {}) {
        std::istringstream in(plan);
        cli_.env.in = &in;
        std::vector<std::string> args{"fleet",
                                      "-",
                                      "--broadcast",
                                      "127.0.0.1:" + std::to_string(sim_.server().UdpPort()),
                                      "--reply-port",
                                      std::to_string(replyPort_),
                                      "--port",
                                      std::to_string(sim_.server().TcpPort(1)),
                                      "--seconds",
                                      "0.3",
                                      "--restart-timeout",
                                      "2"};
        args.insert(args.end(), extra.begin(), extra.end());
        return cli_.Run(args);
    }

    SimRig& sim() { return sim_; }
    std::size_t Count(const std::string& part) const {
        const auto lines = sim_.Lines();
        return static_cast<std::size_t>(
            std::count_if(lines.begin(), lines.end(),
                          [&](const auto& l) { return l.find(part) != std::string::npos; }));
    }
    // The lines of printer i's TCP connections that came to `address`.
    std::vector<std::string> ReceivedAt(int i, const std::string& address) const {
        const std::string source = "printer " + std::to_string(i) + " tcp#";
        std::vector<std::string> connections, out;
        for (const std::string& l : sim_.Lines()) {
            if (l.rfind(source, 0) != 0) continue;
            const std::string id = l.substr(0, l.find(' ', source.size()));
            if (l.find(" to " + address + ":") != std::string::npos) connections.push_back(id);
            if (std::find(connections.begin(), connections.end(), id) != connections.end() &&
                l.find(" setting ") != std::string::npos)
                out.push_back(l.substr(l.find(" setting ") + 1));
        }
        return out;
    }

  private:
    sim::SimOptions Options(int count, std::vector<netcfg::MacBytes> deaf) const {
        sim::SimOptions o;
        o.printers = count;
        o.replyPort = replyPort_;
        o.restart = 100ms;
        o.first.gateway = {127, 0, 0, 254};
        o.deaf = std::move(deaf);
        return o;
    }

    uint16_t replyPort_;
    SimRig sim_;
    clitest::Rig cli_;
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

TEST(SimFleet, TwentyPrintersMovedVerifiedAndSetUpThenTheSamePlanChangesNothing) {
    Fleet fleet(20);
    std::string plan = kHeader;
    for (int i = 1; i <= 20; ++i) plan += PlanRow(i, i);
    const clitest::Outcome first = fleet.Run(plan);
    ASSERT_EQ(first.status, 0) << first.out << first.err;
    const auto lines = Lines(first.out);
    ASSERT_EQ(lines.size(), 21u) << first.out;
    for (int i = 1; i <= 20; ++i) {
        char line[128];
        std::snprintf(line, sizeof line,
                      "02:00:00:00:00:%02X 127.0.0.%d 127.0.1.%d moved (sent cutter on, sound off)",
                      i, i, i);
        EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line;
        // The frames reached the printer at its new address (it logs them on its own thread).
        const std::vector<std::string> frames{"setting cutter: 00 (On)", "setting sound: 01 (off)"};
        EXPECT_TRUE(fakes::WaitUntil(
            [&] { return fleet.ReceivedAt(i, "127.0.1." + std::to_string(i)) == frames; }, 5s))
            << i;
    }
    EXPECT_EQ(lines.back(), "20 printers: 20 moved, 0 unchanged, 0 missing, 0 refused, 0 failed");
    EXPECT_EQ(fleet.Count("address set for MAC"), 20u);
    EXPECT_EQ(fleet.Count(" sim back at 127.0.1."), 20u);

    const clitest::Outcome again = fleet.Run(plan, {"--json"});
    ASSERT_EQ(again.status, 0) << again.out << again.err;
    EXPECT_EQ(fleet.Count("address set for MAC"), 20u);  // no packet this time
    EXPECT_EQ(again.out.find("\"result\":\"moved\""), std::string::npos) << again.out;
    std::size_t unchanged = 0;
    for (std::size_t at = 0;
         (at = again.out.find("\"result\":\"unchanged\"", at)) != std::string::npos; ++at)
        ++unchanged;
    EXPECT_EQ(unchanged, 20u);
    EXPECT_NE(again.out.find("{\"line\":2,\"mac\":\"02:00:00:00:00:01\",\"from\":\"127.0.1.1\","
                             "\"to\":\"127.0.1.1\",\"result\":\"unchanged\",\"detail\":\"\","
                             "\"settings\":[{\"name\":\"cutter\",\"value\":\"on\"},{\"name\":"
                             "\"sound\",\"value\":\"off\"}],\"testPage\":false}"),
              std::string::npos)
        << again.out;
}

// Two printers trade addresses: one is parked on a spare address first, so no two ever answer
// at one address.
TEST(SimFleet, TwoPrintersTradeAddresses) {
    Fleet fleet(3);
    const std::string plan = std::string(kHeader) +
                             "02:00:00:00:00:01,127.0.0.2,255.255.255.0,127.0.0.254,,\n"
                             "02:00:00:00:00:02,127.0.0.1,255.255.255.0,127.0.0.254,off,\n";
    const clitest::Outcome o = fleet.Run(plan);
    ASSERT_EQ(o.status, 0) << o.out << o.err;
    auto lines = Lines(o.out);
    ASSERT_EQ(lines.size(), 3u) << o.out;
    EXPECT_EQ(lines[2], "2 printers: 2 moved, 0 unchanged, 0 missing, 0 refused, 0 failed");
    lines.pop_back();
    std::sort(lines.begin(), lines.end());  // their connections run side by side
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "02:00:00:00:00:01 127.0.0.1 127.0.0.2 moved",
                         "02:00:00:00:00:02 127.0.0.2 127.0.0.1 moved (sent cutter off)"}));
    // Parked at the subnet's highest free address (254 is the gateway), then moved on.
    const std::vector<std::string> moves{
        "printer 1 sim restarting for 100 ms: address 127.0.0.1 -> 127.0.0.253",
        "printer 2 sim restarting for 100 ms: address 127.0.0.2 -> 127.0.0.1",
        "printer 1 sim restarting for 100 ms: address 127.0.0.253 -> 127.0.0.2"};
    std::vector<std::string> seen;
    for (const std::string& l : fleet.sim().Lines())
        if (l.find(" restarting for ") != std::string::npos) seen.push_back(l);
    EXPECT_EQ(seen, moves);
    EXPECT_EQ(fleet.Count("took address"), 0u);
    EXPECT_TRUE(fakes::WaitUntil(
        [&] {
            return fleet.ReceivedAt(2, "127.0.0.1") ==
                   std::vector<std::string>{"setting cutter: 01 (Off)"};
        },
        5s));
}

TEST(SimFleet, DeafPrinterFailsWhileTheOthersAreDone) {
    Fleet fleet(14, {{0x02, 0, 0, 0, 0, 0x0E}});
    std::string plan = kHeader;
    for (int i = 1; i <= 14; ++i) plan += PlanRow(i, i);
    const clitest::Outcome o = fleet.Run(plan);
    EXPECT_EQ(o.status, 1);
    const auto lines = Lines(o.out);
    ASSERT_FALSE(lines.empty());
    // The deaf printer's line comes first: the others are done after the wait.
    EXPECT_EQ(lines.front(),
              "02:00:00:00:00:0E 127.0.0.14 127.0.1.14 failed: did not answer at 127.0.1.14 "
              "within 2 s");
    EXPECT_EQ(lines.back(), "14 printers: 13 moved, 0 unchanged, 0 missing, 0 refused, 1 failed");
    EXPECT_EQ(fleet.Count(", ignored by printer 14 (--deaf)"), 1u);
    EXPECT_TRUE(fleet.ReceivedAt(14, "127.0.0.14").empty());  // nothing went to it
}

TEST(SimFleet, AbsentPrinterIsMissingAndHeldAddressRefused) {
    Fleet fleet(3);
    // Printer 3 is where the plan wants it already; printer 1, not in the plan, stays put.
    const std::string plan = std::string(kHeader) +
                             "02:00:00:00:00:03,127.0.0.3,255.255.255.0,127.0.0.254,,\n"
                             "02:00:00:00:00:09,127.0.1.9,255.255.255.0,127.0.1.254,on,\n"
                             "02:00:00:00:00:02,127.0.0.1,255.255.255.0,127.0.0.254,,\n";
    const clitest::Outcome o = fleet.Run(plan);
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(Lines(o.out),
              (std::vector<std::string>{
                  "02:00:00:00:00:03 127.0.0.3 127.0.0.3 unchanged",
                  "02:00:00:00:00:09 - 127.0.1.9 missing: did not answer discovery within 0.3 s",
                  "02:00:00:00:00:02 127.0.0.2 127.0.0.1 refused: address 127.0.0.1 is held by "
                  "02:00:00:00:00:01",
                  "3 printers: 0 moved, 1 unchanged, 1 missing, 1 refused, 0 failed"}));
    EXPECT_EQ(fleet.Count("address set for MAC"), 0u);
}

// Every error of a bad plan is listed with its line and nothing goes out, not even discovery.
TEST(SimFleet, BadPlanSendsNothing) {
    Fleet fleet(1);
    const std::string plan = std::string(kHeader) +
                             "02:00:00:00:00:01,127.0.1.1,255.255.255.0,127.0.2.1,on,\n"
                             "# fine\n"
                             "02:00:00:00:00:01,127.0.1.2,255.255.255.0,127.0.1.254,sideways,\n";
    const clitest::Outcome o = fleet.Run(plan);
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err,
              "line 2: gateway 127.0.2.1 is outside 127.0.1.0/24\n"
              "line 4: bad value 'sideways' for cutter: use a position 0..1 or an item's text "
              "(send --list shows them)\n"
              "line 4: MAC 02:00:00:00:00:01 is also on line 2\n"
              "tessary-cli: 3 errors in the plan: nothing was sent\n");
    EXPECT_EQ(fleet.Count("udp from"), 0u);
}

// A dry run discovers, then prints the packets and frames it would send: no packet goes out.
TEST(SimFleet, DryRunPrintsThePacketsAndFramesOnly) {
    Fleet fleet(1);
    const clitest::Outcome o = fleet.Run(std::string(kHeader) + PlanRow(1, 5), {"--dry-run"});
    ASSERT_EQ(o.status, 0) << o.err;
    const std::string on[] = {"on"}, off[] = {"off"};
    const std::string to =
        "02:00:00:00:00:01 net:127.0.1.5:" + std::to_string(fleet.sim().server().TcpPort(1));
    EXPECT_EQ(o.out.substr(0, o.out.find('\n')),
              "step 1: address-set packets to 127.0.0.1:" +
                  std::to_string(fleet.sim().server().UdpPort()) +
                  ", then the printers answer there");
    EXPECT_EQ(o.out.substr(o.out.find('\n') + 1),
              "02:00:00:00:00:01 127.0.0.1 -> 127.0.1.5\n"
              "5A 7F 00 01 05 FF FF FF 00 02 00 00 00 00 01 7F 00 01 FE 02 00 00 00 00 01 01 02 03 "
              "04 05 06 00\n"
              "then over TCP port " +
                  std::to_string(fleet.sim().server().TcpPort(1)) + ":\n" + to + " cutter on\n" +
                  cli::HexBytes(cli::BuildSendCommand("cutter", on, {}).bytes) + "\n" + to +
                  " sound off\n" + cli::HexBytes(cli::BuildSendCommand("sound", off, {}).bytes) +
                  "\ndry run: nothing was sent\n");
    EXPECT_EQ(fleet.Count("address set for MAC"), 0u);
    EXPECT_GT(fleet.Count("discovery request"), 0u);
}

}  // namespace
}  // namespace simtest
