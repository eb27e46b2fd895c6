// tessary-cli end to end against the virtual printer on loopback: discovery, a one-click command,
// the address-set packet changing what the printer answers next, and a network firmware download
// the printer verifies.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "netcfg/udp_socket.h"
#include "tests/cli/cli_rig.h"
#include "tests/fakes/wait.h"
#include "tests/sim/sim_rig.h"

namespace simtest {
namespace {

using namespace std::chrono_literals;

TEST(SimWithCli, DiscoverSendSetAddressAndFirmware) {
    const uint16_t replyPort = netcfg::UdpSocket::BindAny(0).LocalPort();
    sim::SimOptions options;
    options.replyPort = replyPort;
    options.restart = 50ms;  // the address-set packet's restart, short
    SimRig sim(options);
    clitest::Rig cli;
    // The printer decodes what arrives on its own thread: wait (bounded) for its line.
    const auto printed = [&sim](const char* part) {
        return fakes::WaitUntil([&] { return sim.HasLineWith(part); }, 5s);
    };
    const std::vector<std::string> segment{"--broadcast",
                                           "127.0.0.1:" + std::to_string(sim.server().UdpPort()),
                                           "--reply-port", std::to_string(replyPort)};
    const auto run = [&](std::vector<std::string> arguments, bool withSegment = false) {
        if (withSegment) arguments.insert(arguments.end(), segment.begin(), segment.end());
        return cli.Run(arguments);
    };
    const std::string tcp = "net:127.0.0.1:" + std::to_string(sim.server().TcpPort(1));

    const clitest::Outcome found = run({"discover", "--seconds", "0.5"}, true);
    ASSERT_EQ(found.status, 0) << found.err;
    EXPECT_NE(found.out.find("127.0.0.1"), std::string::npos) << found.out;
    EXPECT_NE(found.out.find("02:00:00:00:00:01"), std::string::npos) << found.out;

    const clitest::Outcome cut = run({"send", "--to", tcp, "cut"});
    ASSERT_EQ(cut.status, 0) << cut.err;
    EXPECT_TRUE(printed("esc/pos cut"));

    const clitest::Outcome set =
        run({"set-address", "--mac", "02:00:00:00:00:01", "--ip", "127.0.0.9"}, true);
    ASSERT_EQ(set.status, 0) << set.err;
    EXPECT_TRUE(printed(", applied to printer 1"));
    EXPECT_EQ(sim.server().Printer(1).address, (netcfg::Ipv4Octets{127, 0, 0, 9}));
    const clitest::Outcome again = run({"discover", "--seconds", "0.5"}, true);
    EXPECT_EQ(again.out, "127.0.0.9 255.255.255.0 127.0.0.1 02:00:00:00:00:01 01 00\n");

    const auto image = std::filesystem::temp_directory_path() / "sim_cli_test.bin";
    {
        std::ofstream file(image, std::ios::binary);
        const std::string data(2000, '\x42');
        file.write(data.data(), static_cast<std::streamsize>(data.size()));
    }
    // The printer moved: it listens at its new address only.
    const clitest::Outcome firmware =
        run({"firmware", "--to", "net:127.0.0.9:" + std::to_string(sim.server().TcpPort(1)),
             image.string()});
    std::filesystem::remove(image);
    ASSERT_EQ(firmware.status, 0) << firmware.err;
    EXPECT_TRUE(printed("4 blocks (2048 bytes), checksum ok"));
}

// The virtual printer's small receive buffer makes its stall visible as a real printer's is: a
// 160 KiB image to a printer that stops reading after 1000 bytes is a failure, never "done"; one
// that reads slowly gets the whole image.
TEST(SimWithCli, FirmwareToAStalledOrSlowPrinter) {
    const auto image = std::filesystem::temp_directory_path() / "sim_cli_stall.bin";
    {
        std::ofstream file(image, std::ios::binary);
        const std::string data(160 * 1024, '\x42');
        file.write(data.data(), static_cast<std::streamsize>(data.size()));
    }
    struct Case {
        const char* name;
        std::optional<uint64_t> stallAfter;
        uint64_t slow;
        int status;
    };
    for (const Case& c : {Case{"stalled", 1000, 0, 1}, Case{"slow", std::nullopt, 400000, 0}}) {
        SCOPED_TRACE(c.name);
        sim::SimOptions options;
        options.udpPort = std::nullopt;
        options.stallAfter = c.stallAfter;
        options.slowBytesPerSecond = c.slow;
        SimRig sim(options);
        clitest::Rig cli;
        cli.env.netPacing.stall = 500ms;
        const clitest::Outcome o =
            cli.Run({"firmware", "--to", "net:127.0.0.1:" + std::to_string(sim.server().TcpPort(1)),
                     image.string()});
        EXPECT_EQ(o.status, c.status) << o.err;
        if (c.status == 0) {
            EXPECT_TRUE(fakes::WaitUntil([&] { return sim.HasLineWith("checksum ok"); }, 5s));
        } else {
            EXPECT_NE(o.err.find("stopped taking data after "), std::string::npos) << o.err;
            EXPECT_NE(o.err.find(" of 164358 bytes"), std::string::npos) << o.err;
        }
    }
    std::filesystem::remove(image);
}

// A printer that resets the connection after reading part of the job, whose stack acknowledged
// all of it first, is a failure with its count; one that reads everything and closes is done,
// also when it answers a status request in the job while the sender waits for its close.
TEST(SimWithCli, ResetAfterTheLastAcknowledgementIsAFailure) {
    clitest::Rig cli;
    const clitest::Outcome dry = cli.Run({"print", "--dry-run"});  // the test page
    ASSERT_EQ(dry.status, 0);
    const std::size_t length = (dry.out.size() + 1) / 3;  // "XX " per byte
    struct Case {
        const char* name;
        std::optional<uint64_t> resetAfter;
        std::vector<std::string> job;
        int status;
        const char* line;  // the simulator's
    };
    const Case cases[] = {
        {"reset after 1 byte", 1, {"print"}, 1, "connection reset (--reset-after), 1 bytes in all"},
        {"reset one byte short", length - 1, {"print"}, 1, "connection reset (--reset-after)"},
        {"reads it all and closes", std::nullopt, {"print"}, 0, "connection closed"},
        {"answers a status request",
         std::nullopt,
         {"print", "\x10\x04\x04"},
         0,
         "status answer: 12"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::SimOptions options;
        options.udpPort = std::nullopt;
        options.resetAfter = c.resetAfter;
        SimRig sim(options);
        const std::string to = "net:127.0.0.1:" + std::to_string(sim.server().TcpPort(1));
        std::vector<std::string> arguments = c.job;
        arguments.insert(arguments.begin() + 1, {"--to", to});
        const clitest::Outcome o = cli.Run(arguments);
        EXPECT_EQ(o.status, c.status) << o.err;
        EXPECT_TRUE(fakes::WaitUntil([&] { return sim.HasLineWith(c.line); }, 5s));
        if (c.status != 0) {
            EXPECT_NE(o.err.find(to + " reset the connection after taking "), std::string::npos)
                << o.err;
            EXPECT_NE(o.err.find(std::to_string(length) + " of " + std::to_string(length) +
                                 " bytes: it may not have printed them\n"),
                      std::string::npos)
                << o.err;
        }
    }
}

}  // namespace
}  // namespace simtest
