// Chaos: the plan's draws (the same for one seed on every system, every kind, the parameters in
// their ranges, the option's text), a stream's fault met at its point, and each kind of fault
// through the real server on loopback, logged and doing what it says (label "threaded" for the
// server's: also run under TSan).
#include <gtest/gtest.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <set>

#include "netcfg/device_table.h"
#include "sim/chaos/chaos_plan.h"
#include "sim/chaos/stream_fault.h"
#include "sim/pseudo_terminal.h"
#include "tests/fakes/udp_peer.h"
#include "tests/fakes/wait.h"
#include "tests/sim/sim_rig.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace simtest {
namespace {

using namespace std::chrono_literals;
using sim::chaos::ChaosPlan;
using sim::chaos::ChaosSetting;
using sim::chaos::Draw;
using sim::chaos::Fault;
using sim::chaos::Occasion;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t kAlways = 1000000;

// ---- The plan

TEST(ChaosPlan, OptionText) {
    struct Case {
        const char* text;
        bool ok;
        uint64_t seed;
        uint32_t rate;
    };
    const Case cases[] = {
        {"7", true, 7, 300000},
        {"7:0.3", true, 7, 300000},
        {"18446744073709551615:1", true, UINT64_MAX, 1000000},
        {"0:0", true, 0, 0},
        {"3:.25", true, 3, 250000},
        {"3:1.0", true, 3, 1000000},
        {"3:0.000001", true, 3, 1},
        {"3:0.0000001", false, 0, 0},  // finer than a millionth
        {"3:1.5", false, 0, 0},
        {"3:2", false, 0, 0},
        {"3:", false, 0, 0},
        {"3:.", false, 0, 0},
        {"3:0.", false, 0, 0},
        {"3:-0.1", false, 0, 0},
        {"3:0.3x", false, 0, 0},
        {"", false, 0, 0},
        {"x", false, 0, 0},
        {"-1", false, 0, 0},
        {"18446744073709551616", false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto setting = sim::chaos::ParseChaosSetting(c.text);
        ASSERT_EQ(setting.has_value(), c.ok);
        if (!c.ok) continue;
        EXPECT_EQ(setting->seed, c.seed);
        EXPECT_EQ(setting->rate, c.rate);
    }
    EXPECT_EQ(sim::chaos::ChaosSettingText({42, 300000}), "42:0.3");
    EXPECT_EQ(sim::chaos::ChaosSettingText({1, 1000000}), "1:1.0");
    EXPECT_EQ(sim::chaos::ChaosSettingText({1, 5}), "1:0.000005");
}

// The draws of one seed are fixed here, so the Windows build (under Wine) and any other standard
// library must give exactly these.
TEST(ChaosPlan, OneSeedGivesTheseDrawsEverywhere) {
    ChaosPlan plan({42, kAlways});
    const Occasion order[] = {Occasion::Connection, Occasion::Datagram, Occasion::SerialSession};
    const Draw expected[] = {
        {Fault::Reset, 14, 0ms, 0},        {Fault::Late, 0, 1367ms, 0},
        {Fault::StatusLate, 0, 1580ms, 0}, {Fault::StatusLate, 0, 2473ms, 0},
        {Fault::Dropped, 0, 0ms, 0},       {Fault::StatusLate, 0, 1443ms, 0},
        {Fault::StatusMissing, 0, 0ms, 0}, {Fault::Late, 0, 1137ms, 0},
        {Fault::Slow, 0, 0ms, 23089},
    };
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        const Draw d = plan.Next(order[i % 3]);
        EXPECT_EQ(d.fault, expected[i].fault);
        EXPECT_EQ(d.bytes, expected[i].bytes);
        EXPECT_EQ(d.pause, expected[i].pause);
        EXPECT_EQ(d.rate, expected[i].rate);
    }
    sim::chaos::Generator g(7);
    for (const uint64_t value : {15u, 250u, 878u, 46u, 421u}) EXPECT_EQ(g.Below(1000), value);
}

// Each occasion draws only its own kinds, every one of them, with the parameters in range; the
// rate is the share of occasions that draw a fault; two plans of one seed agree.
TEST(ChaosPlan, KindsRangesAndRate) {
    struct Case {
        Occasion occasion;
        std::set<Fault> kinds;
    };
    const Case cases[] = {
        {Occasion::Connection,
         {Fault::Reset, Fault::Stall, Fault::StallForGood, Fault::Slow, Fault::Close,
          Fault::Restart, Fault::StatusLate, Fault::StatusMissing}},
        {Occasion::SerialSession,
         {Fault::Stall, Fault::Slow, Fault::StatusLate, Fault::StatusMissing}},
        {Occasion::Datagram, {Fault::Dropped, Fault::Doubled, Fault::Late}},
    };
    for (const Case& c : cases) {
        ChaosPlan plan({9, kAlways});
        std::set<Fault> seen;
        for (int i = 0; i < 2000; ++i) {
            const Draw d = plan.Next(c.occasion);
            ASSERT_EQ(c.kinds.count(d.fault), 1u) << sim::chaos::FaultName(d.fault);
            seen.insert(d.fault);
            EXPECT_LT(d.bytes, uint64_t{1} << sim::chaos::kBytesBits);
            switch (d.fault) {
                case Fault::Stall:
                    EXPECT_GE(d.pause, sim::chaos::kStallMin);
                    EXPECT_LE(d.pause, sim::chaos::kStallMax);
                    break;
                case Fault::Restart:
                    EXPECT_GE(d.pause, sim::chaos::kRestartMin);
                    EXPECT_LE(d.pause, sim::chaos::kRestartMax);
                    break;
                case Fault::StatusLate:
                    EXPECT_GE(d.pause, sim::chaos::kStatusLateMin);
                    EXPECT_LE(d.pause, sim::chaos::kStatusLateMax);
                    break;
                case Fault::Late:
                    EXPECT_GE(d.pause, sim::chaos::kLateMin);
                    EXPECT_LE(d.pause, sim::chaos::kLateMax);
                    break;
                case Fault::Slow:
                    EXPECT_GE(d.rate, sim::chaos::kSlowMin);
                    EXPECT_LE(d.rate, sim::chaos::kSlowMax);
                    break;
                default:
                    EXPECT_EQ(d.pause, 0ms);
            }
        }
        EXPECT_EQ(seen, c.kinds);
    }
    for (const uint32_t rate : {0u, 300000u, 50000u}) {
        ChaosPlan a({77, rate}), b({77, rate});
        int faults = 0;
        for (int i = 0; i < 20000; ++i) {
            const Occasion o = static_cast<Occasion>(i % 3);
            const Draw x = a.Next(o), y = b.Next(o);
            ASSERT_EQ(x.fault, y.fault);
            ASSERT_EQ(x.bytes, y.bytes);
            ASSERT_EQ(x.pause, y.pause);
            ASSERT_EQ(x.rate, y.rate);
            faults += x.fault != Fault::None;
        }
        EXPECT_NEAR(faults / 20000.0, rate / 1e6, 0.015) << rate;
    }
}

// A fault at a point of the stream: nothing is read past it, it is met once; a restart not met
// before the end is met there; answers held back come out in order when due.
TEST(ChaosPlan, StreamFaultMetAtItsPoint) {
    using sim::chaos::StreamFault;
    struct Case {
        Fault fault;
        uint64_t at;
    };
    for (const Case c : {Case{Fault::Reset, 0}, Case{Fault::Stall, 10},
                         Case{Fault::StallForGood, 1}, Case{Fault::Restart, 4096}}) {
        SCOPED_TRACE(sim::chaos::FaultName(c.fault));
        StreamFault f({c.fault, c.at, 100ms, 0});
        uint64_t received = 0;
        std::vector<Fault> met;
        for (int turn = 0; turn < 20 && received < 10000; ++turn) {
            received += f.Room(received, 3000);
            ASSERT_LE(received, std::max<uint64_t>(c.at, received));
            if (const Fault m = f.Reached(received); m != Fault::None) {
                EXPECT_EQ(received, c.at);
                met.push_back(m);
            }
        }
        EXPECT_EQ(met, std::vector<Fault>{c.fault});
        EXPECT_EQ(f.Ended(), Fault::None);  // met already
    }
    StreamFault restart({Fault::Restart, 500, 300ms, 0});
    EXPECT_EQ(restart.Reached(100), Fault::None);
    EXPECT_EQ(restart.Ended(), Fault::Restart);
    EXPECT_EQ(restart.Reached(1000), Fault::None);
    EXPECT_EQ(StreamFault({Fault::Slow, 0, 0ms, 5000}).Rate(), 5000u);
    EXPECT_EQ(StreamFault({Fault::Slow, 0, 0ms, 5000}).Room(0, 3000), 3000u);

    StreamFault late({Fault::StatusLate, 0, 100ms, 0});
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(StreamFault({Fault::Reset, 5, 0ms, 0}).HoldAnswer({1}, t0));
    ASSERT_TRUE(late.HoldAnswer({1}, t0));
    ASSERT_TRUE(late.HoldAnswer({2, 3}, t0 + 10ms));
    EXPECT_EQ(late.NextDue(), t0 + 100ms);
    EXPECT_TRUE(late.DueAnswers(t0 + 99ms).empty());
    EXPECT_EQ(late.DueAnswers(t0 + 200ms), (std::vector<Bytes>{{1}, {2, 3}}));
    EXPECT_FALSE(late.NextDue().has_value());
}

// ---- Through the server

// The first seed whose first draw for `occasion` is `fault` with parameters small enough for a
// quick test.
uint64_t SeedFor(Occasion occasion, Fault fault) {
    for (uint64_t seed = 1; seed < 1000000; ++seed) {
        const Draw d = ChaosPlan({seed, kAlways}).Next(occasion);
        if (d.fault == fault && d.bytes <= 64 && d.pause <= 400ms) return seed;
    }
    ADD_FAILURE() << "no seed for " << sim::chaos::FaultName(fault);
    return 0;
}

sim::SimOptions Chaos(uint64_t seed) {
    sim::SimOptions o;
    o.udpPort.reset();
    o.chaos = ChaosSetting{seed, kAlways};
    return o;
}

bool WaitForLine(const SimRig& rig, const std::string& part) {
    return fakes::WaitUntil([&] { return rig.HasLineWith(part); }, 10000ms);
}

// The index of the first line holding `part`, or the count of lines.
std::size_t LineOf(const std::vector<std::string>& lines, const std::string& part) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].find(part) != std::string::npos) return i;
    }
    return lines.size();
}

// What a peer reads until the connection ends or 5 s pass.
struct PeerEnd {
    Bytes bytes;
    printerlink::Received end = printerlink::Received::WouldBlock;  // WouldBlock: still open
};
PeerEnd ReadToEnd(printerlink::SocketHandle fd, std::size_t enough = SIZE_MAX) {
    PeerEnd out;
    const auto until = std::chrono::steady_clock::now() + 5s;
    while (std::chrono::steady_clock::now() < until && out.bytes.size() < enough) {
        printerlink::SocketReadable readable{fd};
        if (printerlink::WaitReadable(std::span(&readable, 1), 100ms) <= 0) continue;
        uint8_t buffer[256];
        const auto step = printerlink::ReceiveOnSocket(fd, buffer, sizeof buffer);
        if (step.what == printerlink::Received::Data) {
            out.bytes.insert(out.bytes.end(), buffer, buffer + step.length);
        } else if (step.what != printerlink::Received::WouldBlock) {
            out.end = step.what;
            break;
        }
    }
    return out;
}

// Each fault a connection can draw, met through the real server: its line, and what it does to
// the connection and the printer.
TEST(SimChaos, EveryConnectionFault) {
    const Bytes job(3000, 'a');
    const Bytes ask{0x10, 0x04, 0x01};  // DLE EOT 1: the printer's status, 12 when all is well
    struct Case {
        Fault fault;
        Bytes send;
        std::function<void(SimRig&, printerlink::SocketHandle, const Draw&)> check;
    };
    const Case cases[] = {
        {Fault::Reset, job,
         [](SimRig& rig, printerlink::SocketHandle fd, const Draw& d) {
             ASSERT_TRUE(WaitForLine(
                 rig, "connection reset (chaos), " + std::to_string(d.bytes) + " bytes in all"));
             const PeerEnd end = ReadToEnd(fd);
             EXPECT_EQ(end.end, printerlink::Received::Failed);
         }},
        {Fault::Stall, job,
         [&job](SimRig& rig, printerlink::SocketHandle fd, const Draw& d) {
             printerlink::CloseSocket(fd, false);
             ASSERT_TRUE(WaitForLine(
                 rig, "connection closed, " + std::to_string(job.size()) + " bytes in all"));
             const auto lines = rig.Lines();
             const std::size_t at =
                 LineOf(lines, "stalling for " + std::to_string(d.pause.count()) + " ms after " +
                                   std::to_string(d.bytes) + " byte");
             EXPECT_LT(at, LineOf(lines, "connection closed"));
         }},
        {Fault::StallForGood, job,
         [&job](SimRig& rig, printerlink::SocketHandle, const Draw& d) {
             ASSERT_TRUE(WaitForLine(rig, "stalled after " + std::to_string(d.bytes)));
             // What it never read is counted when it ends, here when the simulator stops.
             rig.server().Stop();
             ASSERT_TRUE(WaitForLine(rig, "tcp ended: simulator stopped, " +
                                              std::to_string(d.bytes) + " bytes in all, " +
                                              std::to_string(job.size() - d.bytes) +
                                              " more unread"));
         }},
        {Fault::Slow, job,
         [&job](SimRig& rig, printerlink::SocketHandle fd, const Draw&) {
             printerlink::CloseSocket(fd, false);
             EXPECT_TRUE(WaitForLine(
                 rig, "connection closed, " + std::to_string(job.size()) + " bytes in all"));
         }},
        {Fault::Close,
         {},
         [](SimRig& rig, printerlink::SocketHandle fd, const Draw&) {
             ASSERT_TRUE(WaitForLine(rig, "connection closed at once (chaos), 0 bytes in all"));
             EXPECT_EQ(ReadToEnd(fd).end, printerlink::Received::Closed);
         }},
        {Fault::Restart, job,
         [](SimRig& rig, printerlink::SocketHandle fd, const Draw& d) {
             ASSERT_TRUE(WaitForLine(rig, "printer 1 sim restarting for " +
                                              std::to_string(d.pause.count()) +
                                              " ms: power cycle after " + std::to_string(d.bytes)));
             EXPECT_NE(ReadToEnd(fd).end, printerlink::Received::WouldBlock);
             ASSERT_TRUE(WaitForLine(rig, "printer 1 sim back at 127.0.0.1"));
             const printerlink::SocketHandle again = Connect(rig.server().TcpPort(1));
             EXPECT_NE(again, printerlink::kNoSocket);
             printerlink::CloseSocket(again, false);
         }},
        {Fault::StatusLate, ask,
         [](SimRig& rig, printerlink::SocketHandle fd, const Draw& d) {
             EXPECT_EQ(ReadToEnd(fd, 1).bytes, Bytes{0x12});
             ASSERT_TRUE(WaitForLine(rig, "chaos: late answer sent: 12"));
             const auto lines = rig.Lines();
             const std::size_t held =
                 LineOf(lines, "chaos: answer 12 held back " + std::to_string(d.pause.count()));
             EXPECT_LT(held, LineOf(lines, "chaos: late answer sent: 12"));
         }},
        {Fault::StatusMissing, ask,
         [](SimRig& rig, printerlink::SocketHandle fd, const Draw&) {
             ASSERT_TRUE(WaitForLine(rig, "request not answered (chaos)"));
             // An answer would have been sent before that line, and loopback delivers at once.
             uint8_t byte = 0;
             EXPECT_EQ(printerlink::ReceiveOnSocket(fd, &byte, 1).what,
                       printerlink::Received::WouldBlock);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(sim::chaos::FaultName(c.fault));
        const uint64_t seed = SeedFor(Occasion::Connection, c.fault);
        const Draw d = ChaosPlan({seed, kAlways}).Next(Occasion::Connection);
        SimRig rig(Chaos(seed));
        const printerlink::SocketHandle fd = Connect(rig.server().TcpPort(1));
        ASSERT_NE(fd, printerlink::kNoSocket);
        ASSERT_TRUE(WaitForLine(rig, "printer 1 tcp#1 chaos: " + sim::chaos::DrawText(d)));
        if (!c.send.empty()) {
            ASSERT_TRUE(SendAll(fd, c.send));
        }
        c.check(rig, fd, d);
        printerlink::CloseSocket(fd, false);
    }
}

// Datagrams on the discovery port: dropped (never answered), doubled (answered twice), late
// (answered after its line).
TEST(SimChaos, DiscoveryRequestsDroppedDoubledLate) {
    struct Case {
        Fault fault;
        std::size_t answers;  // by the two printers
    };
    for (const Case c : {Case{Fault::Dropped, 0}, Case{Fault::Doubled, 4}, Case{Fault::Late, 2}}) {
        SCOPED_TRACE(sim::chaos::FaultName(c.fault));
        fakes::UdpPeer asker;
        sim::SimOptions o;
        o.printers = 2;
        o.replyPort = asker.port();
        o.tcpPort.reset();
        const uint64_t seed = SeedFor(Occasion::Datagram, c.fault);
        o.chaos = ChaosSetting{seed, kAlways};
        const Draw d = ChaosPlan({seed, kAlways}).Next(Occasion::Datagram);
        std::vector<std::string> lines;
        {
            SimRig rig(o);
            ASSERT_TRUE(asker.SendTo(rig.server().UdpPort(),
                                     netcfg::DiscoveryRequest(netcfg::TessaryPolicy())));
            ASSERT_TRUE(WaitForLine(rig, "udp chaos: discovery request (30 bytes) from 127.0.0.1:" +
                                             std::to_string(asker.port()) + " " +
                                             sim::chaos::DrawText(d)));
            if (c.answers > 0) {
                ASSERT_TRUE(asker.WaitForDatagrams(c.answers, 5000ms));
            }
            rig.server().Stop();  // every datagram it handled is logged before its summary
            ASSERT_TRUE(WaitForLine(rig, "sim chaos: 1 fault in 1 draw"));
            lines = rig.Lines();
        }
        std::size_t answered = 0;
        for (const std::string& l : lines) answered += l.find("answered by 2 printers") != l.npos;
        EXPECT_EQ(answered, c.answers / 2);
        EXPECT_EQ(asker.Datagrams().size(), c.answers);
        if (c.fault == Fault::Late) {
            EXPECT_LT(LineOf(lines, "udp chaos:"), LineOf(lines, "answered by"));
        }
    }
}

// The JSON form: a fault's fields, a connection's end with what it read and left unread, and the
// summary by kind when the simulator stops.
TEST(SimChaos, JsonLinesAndSummary) {
    const uint64_t seed = SeedFor(Occasion::Connection, Fault::StallForGood);
    const Draw d = ChaosPlan({seed, kAlways}).Next(Occasion::Connection);
    std::vector<nlohmann::json> json;
    {
        sim::SimOptions o = Chaos(seed);
        o.tcpPort = 0;
        std::mutex mutex;
        sim::SimServer server(o, [&](const sim::SimLine& line) {
            std::lock_guard lock(mutex);
            json.push_back(nlohmann::json::parse(sim::FormatLine(line, true)));
        });
        ASSERT_TRUE(server.Start(nullptr));
        std::thread loop([&] { server.Run(); });
        const printerlink::SocketHandle fd = Connect(server.TcpPort(1));
        ASSERT_NE(fd, printerlink::kNoSocket);
        ASSERT_TRUE(SendAll(fd, Bytes(1000, 'x')));
        EXPECT_TRUE(fakes::WaitUntil(
            [&] {
                std::lock_guard lock(mutex);
                return std::any_of(json.begin(), json.end(), [](const nlohmann::json& j) {
                    return j["line"].get<std::string>().find("stalled after") != std::string::npos;
                });
            },
            5000ms));
        server.Stop();
        loop.join();
        printerlink::CloseSocket(fd, false);
    }
    const auto find = [&](const char* kind) {
        for (const auto& j : json) {
            if (j.value("kind", "") == kind) return j;
        }
        return nlohmann::json();
    };
    const nlohmann::json fault = find("chaos");
    EXPECT_EQ(fault["fault"], "stall-for-good");
    EXPECT_EQ(fault["bytes"], d.bytes);
    EXPECT_EQ(fault["connection"], 1);
    const nlohmann::json end = find("end");
    EXPECT_EQ(end["received"], d.bytes);
    EXPECT_EQ(end["unread"], 1000 - d.bytes);
    EXPECT_EQ(end["reset"], 0);
    const nlohmann::json summary = find("chaos-summary");
    EXPECT_EQ(summary["draws"], 1);
    EXPECT_EQ(summary["faults"], 1);
    EXPECT_EQ(summary["stall-for-good"], 1);
    EXPECT_EQ(summary["reset"], 0);
}

#ifndef _WIN32
// Each session on the serial side draws its own fault: here one whose status requests go
// unanswered, and the next, which draws again.
TEST(SimChaos, SerialSessionsDrawTheirOwn) {
    if (!sim::PseudoTerminalsAvailable()) GTEST_SKIP();
    const uint64_t seed = SeedFor(Occasion::SerialSession, Fault::StatusMissing);
    sim::SimOptions o = Chaos(seed);
    o.tcpPort.reset();
    o.serial = true;
    SimRig rig(o);
    for (int session = 1; session <= 2; ++session) {
        const int port = ::open(rig.server().SerialPath().c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(port, 0);
        const uint8_t ask[] = {0x10, 0x04, 0x01};
        ASSERT_EQ(::write(port, ask, sizeof ask), 3);
        if (session == 1) {
            ASSERT_TRUE(WaitForLine(rig, "request not answered (chaos)"));
        }
        ::close(port);
        // The session ends once the tool closed the port and everything was read.
        ASSERT_TRUE(fakes::WaitUntil(
            [&] {
                const auto lines = rig.Lines();
                return std::count_if(lines.begin(), lines.end(), [](const std::string& l) {
                           return l.find("serial session ended") != std::string::npos;
                       }) >= session;
            },
            5000ms));
    }
    rig.server().Stop();
    EXPECT_TRUE(WaitForLine(rig, "in 2 draws"));
}
#endif

}  // namespace
}  // namespace simtest
