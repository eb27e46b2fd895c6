// tessary-cli status against the virtual printer, over TCP and over its serial side, and over
// the fake USB backend: one table of printer states, the answers they give, what the command
// line makes of them and its exit status.
#include <gtest/gtest.h>

#include <functional>
#include <nlohmann/json.hpp>

#include "sim/pseudo_terminal.h"
#include "tests/cli/cli_rig.h"
#include "tests/fakes/wait.h"
#include "tests/sim/sim_rig.h"

namespace simtest {
namespace {

using namespace std::chrono_literals;

struct StateCase {
    const char* name;
    std::function<void(sim::SimOptions&)> state;
    const char* answers;  // DLE EOT 1..4 as the JSON shows them
    const char* fact;     // one line the text output must hold
    int status;
};

const StateCase kStates[] = {
    {"ready", [](sim::SimOptions&) {}, "12 12 12 12", "paper present", 0},
    {"paper near its end",
     [](sim::SimOptions& o) { o.status.paper = commands::PaperLevel::NearEnd; }, "12 12 12 1E",
     "paper near its end", 0},
    {"paper out", [](sim::SimOptions& o) { o.status.paper = commands::PaperLevel::Out; },
     "1A 32 12 7E", "paper out", 3},
    {"cover open", [](sim::SimOptions& o) { o.status.coverOpen = true; }, "1A 16 12 12",
     "cover open", 3},
    {"cutter error", [](sim::SimOptions& o) { o.status.cutterError = true; }, "1A 52 1A 12",
     "cutter error", 3},
    {"offline", [](sim::SimOptions& o) { o.status.offline = true; }, "1A 12 12 12", "offline", 3},
};

std::string Answers(const nlohmann::json& json) {
    std::string text;
    for (const char* key : {"printer", "offlineCause", "errorCause", "paperSensor"})
        text += (text.empty() ? "" : " ") + json["answers"][key].get<std::string>();
    return text;
}

TEST(SimStatus, EveryStateOverTcpAndSerial) {
    for (const bool serial : {false, true}) {
        if (serial && !sim::PseudoTerminalsAvailable()) continue;  // Linux only
        for (const StateCase& c : kStates) {
            SCOPED_TRACE(std::string(serial ? "serial, " : "tcp, ") + c.name);
            sim::SimOptions options;
            options.udpPort = std::nullopt;
            options.serial = serial;
            c.state(options);
            SimRig sim(options);
            clitest::Rig cli;
            const std::string to = serial
                                       ? "serial:" + sim.server().SerialPath() + "@19200"
                                       : "net:127.0.0.1:" + std::to_string(sim.server().TcpPort(1));
            const clitest::Outcome text = cli.Run({"status", "--to", to});
            EXPECT_EQ(text.status, c.status) << text.err;
            EXPECT_NE(("\n" + text.out).find(std::string("\n") + c.fact + "\n"), std::string::npos)
                << text.out;
            const clitest::Outcome json = cli.Run({"status", "--json", "--to", to});
            EXPECT_EQ(json.status, c.status) << json.err;
            const auto parsed = nlohmann::json::parse(json.out, nullptr, false);
            ASSERT_FALSE(parsed.is_discarded()) << json.out;
            EXPECT_EQ(Answers(parsed), c.answers);
            EXPECT_EQ(parsed["ready"].get<bool>(), c.status == 0);
            // Its log line follows the answer: wait for it (bounded).
            const std::string logged = "status answer: " + std::string(c.answers).substr(0, 2);
            EXPECT_TRUE(fakes::WaitUntil([&] { return sim.HasLineWith(logged); }, 5s));
        }
    }
}

TEST(SimStatus, APrinterThatDoesNotAnswer) {
    sim::SimOptions options;
    options.udpPort = std::nullopt;
    options.noStatus = true;
    SimRig sim(options);
    clitest::Rig cli;
    cli.env.statusTimeout = 300ms;
    const clitest::Outcome o =
        cli.Run({"status", "--to", "net:127.0.0.1:" + std::to_string(sim.server().TcpPort(1))});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err,
              "tessary-cli: no status answer within 300 ms (this printer may not support "
              "real-time status)\n");
    EXPECT_TRUE(o.out.empty());
}

// The USB path reads the printer interface's answers; a byte whose fixed bits are wrong is never
// decoded, and a printer that stops answering part-way is not asked the rest.
TEST(CliStatus, UsbAnswersWrongFixedBitsAndSilence) {
    struct Case {
        const char* name;
        std::deque<std::vector<uint8_t>> answers;
        int status;
        const char* err;
    };
    const Case cases[] = {
        {"ready", {{0x12}, {0x12}, {0x12}, {0x12}}, 0, ""},
        {"not a status answer",
         {{0xFF}, {0x12}, {0x12}, {0x12}},
         3,
         "tessary-cli: the answer to DLE EOT 1 (printer), FF, is not a status answer\n"},
        {"silent part-way",
         {{0x12}},
         3,
         "tessary-cli: no answer to DLE EOT 2 (offline cause) within 300 ms\n"
         "tessary-cli: no answer to DLE EOT 3 (error cause) within 300 ms\n"
         "tessary-cli: no answer to DLE EOT 4 (paper sensor) within 300 ms\n"},
        {"silent",
         {},
         1,
         "tessary-cli: no status answer within 300 ms (this printer may not support real-time "
         "status)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        clitest::Rig cli;
        cli.env.statusTimeout = 300ms;
        cli.usb->SetDevices({{fakes::UsbDevice(0x1FC9, 0x2016, "1-2")}});
        cli.usb->QueueAnswers(c.answers);
        const clitest::Outcome o = cli.Run({"status"});
        EXPECT_EQ(o.status, c.status) << o.err;
        EXPECT_EQ(o.err, c.err);
        // The requests went out in order, each before its answer was read.
        const std::size_t asked =
            c.answers.empty() ? 1 : std::min<std::size_t>(4, c.answers.size() + 1);
        std::vector<uint8_t> expected;
        for (std::size_t n = 1; n <= asked; ++n)
            expected.insert(expected.end(), {0x10, 0x04, static_cast<uint8_t>(n)});
        EXPECT_EQ(cli.usb->BytesOut(), expected);
    }
    clitest::Rig cli;
    const clitest::Outcome lpt = cli.Run({"status", "--to", "lpt"});
    EXPECT_EQ(lpt.status, 2);
    EXPECT_NE(lpt.err.find("not offered over the parallel port"), std::string::npos);
    EXPECT_EQ(cli.Run({"status", "--dry-run"}).out, "10 04 01\n10 04 02\n10 04 03\n10 04 04\n");
}

}  // namespace
}  // namespace simtest
