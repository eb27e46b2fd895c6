// pos-printer-sim's command line, and the line formats (text and JSON).
#include "sim/sim_options.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "sim/paper/drawing.h"
#include "sim/pseudo_terminal.h"
#include "sim/sim_server.h"

namespace simtest {
namespace {

sim::ParsedOptions Parse(std::vector<std::string> args) {
    return sim::ParseSimOptions(args);
}

TEST(SimOptions, DefaultsAndEveryOption) {
    const sim::SimOptions d = Parse({}).options;
    EXPECT_EQ(d.tcpPort, 9100);
    EXPECT_EQ(d.udpPort, 9000);
    EXPECT_EQ(d.replyPort, 8999);
    EXPECT_EQ(d.printers, 1);
    EXPECT_EQ(d.listen, (netcfg::Ipv4Octets{127, 0, 0, 1}));
    EXPECT_EQ(d.restart, std::chrono::milliseconds(1000));
    EXPECT_TRUE(d.deaf.empty());
    EXPECT_EQ(d.lpdPort, std::nullopt);  // no LPR jobs unless asked
    EXPECT_EQ(Parse({"--lpd-port", "0"}).options.lpdPort, 0);
    EXPECT_EQ(Parse({"--lpd-port=515"}).options.lpdPort, 515);
    EXPECT_NE(Parse({"--lpd-port", "65536"}).error, "");

    const sim::ParsedOptions p =
        Parse({"--tcp-port",  "0",         "--udp-port=0",  "--reply-port", "18999",
               "--printers",  "3",         "--address",     "127.0.1.10",   "--mask",
               "255.255.0.0", "--gateway", "127.0.1.1",     "--mac",        "0A:1b:2c:3d:4e:5f",
               "--listen",    "0.0.0.0",   "--reset-after", "64",           "--stall-after=128",
               "--no-reply",  "--slow",    "300",           "--json",       "--recv-buffer",
               "65536"});
    ASSERT_EQ(p.error, "");
    const sim::SimOptions& o = p.options;
    EXPECT_EQ(o.tcpPort, 0);             // any free port
    EXPECT_EQ(o.udpPort, std::nullopt);  // no discovery answers
    EXPECT_EQ(o.replyPort, 18999);
    EXPECT_EQ(o.printers, 3);
    EXPECT_EQ(o.listen, (netcfg::Ipv4Octets{0, 0, 0, 0}));
    EXPECT_TRUE(o.noReply && o.json);
    EXPECT_EQ(o.resetAfter, 64u);
    EXPECT_EQ(o.stallAfter, 128u);
    EXPECT_EQ(o.slowBytesPerSecond, 300u);
    EXPECT_EQ(o.receiveBuffer, 65536);
    EXPECT_EQ(Parse({}).options.receiveBuffer, 4096);
    const sim::PrinterSettings third = sim::PrinterAt(o, 2);
    EXPECT_EQ(third.address, (netcfg::Ipv4Octets{127, 0, 1, 12}));
    EXPECT_EQ(third.mask, (netcfg::Ipv4Octets{255, 255, 0, 0}));
    EXPECT_EQ(third.mac, (netcfg::MacBytes{0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x61}));
    EXPECT_TRUE(Parse({"-h"}).help);

    // A fleet: up to 250 printers, restarts, deaf ones.
    const sim::ParsedOptions fleet = Parse({"--printers", "250", "--restart-ms", "0", "--deaf",
                                            "02:00:00:00:00:05", "--deaf=02:00:00:00:00:0e"});
    ASSERT_EQ(fleet.error, "");
    EXPECT_EQ(fleet.options.printers, 250);
    EXPECT_EQ(fleet.options.restart, std::chrono::milliseconds(0));
    EXPECT_EQ(fleet.options.deaf,
              (std::vector<netcfg::MacBytes>{{2, 0, 0, 0, 0, 5}, {2, 0, 0, 0, 0, 0x0E}}));
    EXPECT_EQ(sim::PrinterAt(fleet.options, 249).address, (netcfg::Ipv4Octets{127, 0, 0, 250}));
}

// The status at start and what GS I answers: the texts printable and short, each printer's serial
// number its own.
TEST(SimOptions, StatusAndIdentity) {
    const sim::ParsedOptions p =
        Parse({"--paper", "near-end", "--cover-open", "--offline", "--cutter-error",
               "--drawer-open", "--model", "Bench 80", "--firmware=2.5.1", "--maker", "Bench Works",
               "--serial-number", "ABC123", "--printers", "2"});
    ASSERT_EQ(p.error, "");
    EXPECT_EQ(sim::StatusText(p.options.status),
              "paper near its end, cover open, offline, cutter error, drawer open");
    const commands::PrinterIdentity second = sim::IdentityOf(p.options, 1);
    EXPECT_EQ(second.model, "Bench 80");
    EXPECT_EQ(second.firmware, "2.5.1");
    EXPECT_EQ(second.maker, "Bench Works");
    EXPECT_EQ(sim::IdentityOf(p.options, 0).serialNumber, "ABC123");
    EXPECT_EQ(second.serialNumber, "ABC123-2");

    const sim::SimOptions d = Parse({"--printers", "2"}).options;
    EXPECT_EQ(d.status, sim::PrinterStatus{});
    EXPECT_EQ(sim::IdentityOf(d, 0).serialNumber, "SIM020000000001");
    EXPECT_EQ(sim::IdentityOf(d, 1).serialNumber, "SIM020000000002");
    EXPECT_EQ(sim::IdentityOf(d, 0).model, "pos-printer-sim");
    for (const char* bad :
         {"", "tab\there", "\xC3\xA9t\xC3\xA9", "a text of forty-one characters, too long!"}) {
        EXPECT_EQ(Parse({"--model", bad}).error, std::string("bad value for --model: ") + bad);
    }
}

// --serial reads a pseudo-terminal: on a system without them it is refused, and the usage says
// so.
TEST(SimOptions, SerialOnlyWherePseudoTerminalsAre) {
    const sim::ParsedOptions p = Parse({"--tcp-port", "0", "--serial"});
    if (sim::PseudoTerminalsAvailable()) {
        EXPECT_EQ(p.error, "");
        EXPECT_TRUE(p.options.serial);
        EXPECT_NE(sim::SimUsage().find("--serial            also read a pseudo-terminal"),
                  std::string::npos);
    } else {
        EXPECT_EQ(p.error, "--serial is Linux only: this system has no pseudo-terminals");
        EXPECT_NE(sim::SimUsage().find("--serial            Linux only"), std::string::npos);
    }
}

// The paper: the folder, the paper's width and a folder of font files.
TEST(SimOptions, ReceiptsWhereThePaperIsBuilt) {
    EXPECT_EQ(Parse({}).options.receipts, "");
    EXPECT_EQ(Parse({}).options.paperWidth, 576);
    EXPECT_EQ(Parse({"--paper-width", "58"}).options.paperWidth, 384);
    EXPECT_EQ(Parse({"--paper-width=80"}).options.paperWidth, 576);
    EXPECT_NE(Parse({"--paper-width", "76"}).error, "");
    const sim::ParsedOptions p = Parse({"--receipts", "out dir"});
    EXPECT_EQ(p.error, "");
    EXPECT_EQ(p.options.receipts, "out dir");
    EXPECT_EQ(Parse({"--fonts", "C:\\fonts"}).options.fonts, "C:\\fonts");
    EXPECT_NE(Parse({"--fonts="}).error, "");
}

// The console: a port, or an IPv4 address (or localhost) and a port; loopback when none is given.
TEST(SimOptions, ConsoleAddress) {
    EXPECT_FALSE(Parse({}).options.http.has_value());
    struct Case {
        const char* value;
        bool good;
        netcfg::Ipv4Octets address;
        uint16_t port;
    };
    const Case cases[] = {
        {"8080", true, {127, 0, 0, 1}, 8080},
        {"0", true, {127, 0, 0, 1}, 0},
        {"0.0.0.0:8080", true, {0, 0, 0, 0}, 8080},
        {"192.168.1.20:80", true, {192, 168, 1, 20}, 80},
        {"localhost:9000", true, {127, 0, 0, 1}, 9000},
        {"8080x", false, {}, 0},
        {"65536", false, {}, 0},
        {":8080", false, {}, 0},
        {"1.2.3:8080", false, {}, 0},
        {"shop-pc:8080", false, {}, 0},
        {"127.0.0.1:", false, {}, 0},
        {"", false, {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        const sim::ParsedOptions p = Parse({"--http", c.value});
        if (!c.good) {
            EXPECT_EQ(p.error, std::string("bad value for --http: ") + c.value);
            continue;
        }
        EXPECT_EQ(p.error, "");
        ASSERT_TRUE(p.options.http.has_value());
        EXPECT_EQ(p.options.http->address, c.address);
        EXPECT_EQ(p.options.http->port, c.port);
    }
}

// Render mode: its own few options and the files.
TEST(SimOptions, RenderMode) {
    const sim::ParsedOptions plain = Parse({"render", "job.bin"});
    EXPECT_TRUE(plain.render);
    EXPECT_NE(sim::SimUsage().find("pos-printer-sim render [--paper-width 80|58]"),
              std::string::npos);
    EXPECT_EQ(plain.error, "");
    EXPECT_EQ(plain.files, std::vector<std::string>{"job.bin"});
    EXPECT_EQ(plain.options.receipts, ".");
    EXPECT_EQ(plain.options.paperWidth, 576);
    EXPECT_FALSE(plain.options.json);
    const sim::ParsedOptions all =
        Parse({"render", "--paper-width", "58", "a.bin", "--receipts=out", "--json", "-", "--",
               "--b.bin", "--json"});
    EXPECT_EQ(all.error, "");
    EXPECT_EQ(all.files, (std::vector<std::string>{"a.bin", "-", "--b.bin", "--json"}));
    EXPECT_EQ(all.options.receipts, "out");
    EXPECT_EQ(all.options.paperWidth, 384);
    EXPECT_TRUE(all.options.json);
    EXPECT_TRUE(Parse({"render", "--help"}).help);
    const struct {
        std::vector<std::string> args;
        std::string error;
    } bad[] = {
        {{"render"}, "render: no file to render"},
        {{"render", "--tcp-port", "0", "a.bin"}, "unknown option for render: --tcp-port"},
        {{"render", "--paper-width", "76", "a.bin"}, "bad value for --paper-width: 76"},
        {{"render", "a.bin", "--receipts"}, "--receipts needs a value"},
        {{"render", "--receipts=", "a.bin"}, "bad value for --receipts: "},
        {{"render", "--json=1", "a.bin"}, "unknown option for render: --json=1"},
    };
    for (const auto& c : bad) {
        SCOPED_TRACE(c.args.back());
        EXPECT_EQ(Parse(c.args).error, c.error);
    }
}

TEST(SimOptions, UsageErrors) {
    const std::vector<std::vector<std::string>> bad{
        {"--bogus"},
        {"--tcp-port"},
        {"--tcp-port", "65536"},
        {"--printers", "0"},
        {"--printers", "251"},
        {"--address", "1.2.3"},
        {"--mac", "0a:1b"},
        {"--slow", "0"},
        {"--recv-buffer", "0"},
        {"--reply-port", "0"},
        {"--serial=1"},
        {"--address", "127.0.0.250", "--printers", "7"},
        {"--udp-port", "-1"},
        {"--restart-ms", "600001"},
        {"--restart-ms", "-5"},
        {"--deaf", "02:00:00:00:00"},
        {"--deaf"},
    };
    for (const auto& args : bad) {
        SCOPED_TRACE(args[0]);
        EXPECT_NE(Parse(args).error, "");
    }
    for (const char* name : {"--tcp-port", "--udp-port", "--reply-port", "--printers", "--serial",
                             "--reset-after", "--stall-after", "--no-reply", "--slow", "--json",
                             "--recv-buffer", "--restart-ms", "--deaf"}) {
        EXPECT_NE(sim::SimUsage().find(name), std::string::npos) << name;
    }
}

TEST(SimLines, TextAndJson) {
    sim::Event e;
    e.kind = sim::EventKind::Setting;
    e.title = "cutter";
    e.detail = "00 (On)";
    e.length = 6;
    e.frame = {0x1F, 0x1B, 0x75, 0x9A, 0x00, 0x00};
    const sim::SimLine line{1, "tcp", 2, sim::Describe(e), e, std::nullopt, std::nullopt};
    EXPECT_EQ(sim::FormatLine(line, false), "printer 1 tcp#2 setting cutter: 00 (On)");
    EXPECT_EQ(sim::FormatLine(line, true),
              "{\"printer\":1,\"link\":\"tcp\",\"connection\":2,\"kind\":\"setting\",\"title\":"
              "\"cutter\",\"detail\":\"00 (On)\",\"offset\":0,\"length\":6,\"bytes\":\"1F 1B 75 9A "
              "00 00\",\"line\":\"setting cutter: 00 (On)\"}");
    const sim::SimLine quoted{
        0, "udp", 0, "text: \"a\\b\"\x01", std::nullopt, std::nullopt, std::nullopt};
    EXPECT_EQ(sim::FormatLine(quoted, true),
              "{\"printer\":0,\"link\":\"udp\",\"connection\":0,\"line\":\"text: "
              "\\\"a\\\\b\\\"\\u0001\"}");
    const sim::paper::SavedReceipt saved{7, "receipt-0007.png", "receipt-0007.json", 576, 1184, "",
                                         ""};
    const sim::SimLine paper{
        1, "tcp", 3, "paper: " + sim::paper::Describe(saved), std::nullopt, saved, std::nullopt};
    EXPECT_EQ(sim::FormatLine(paper, false),
              "printer 1 tcp#3 paper: receipt-0007.png, 576 × 1184 dots (14.8 cm)");
    EXPECT_EQ(sim::FormatLine(paper, true),
              "{\"printer\":1,\"link\":\"tcp\",\"connection\":3,\"kind\":\"paper\",\"file\":"
              "\"receipt-0007.png\",\"width\":576,\"height\":1184,\"data\":\"receipt-0007.json\","
              "\"line\":\"paper: "
              "receipt-0007.png, 576 × 1184 dots (14.8 cm)\"}");
}

// Printer text may hold any bytes: every line stays one valid JSON object, UTF-8 text as it is,
// bytes that are no UTF-8 as U+FFFD, control characters escaped.
TEST(SimLines, JsonOfAnyText) {
    const struct {
        std::string text;
        std::string shown;  // the "line" value as it appears in the output
    } cases[] = {
        {"text: \xE6\xAC\xA2\xE8\xBF\x8E", "text: \xE6\xAC\xA2\xE8\xBF\x8E"},
        {"text: \xFF\xFEok", "text: \xEF\xBF\xBD\xEF\xBF\xBDok"},
        {"text: \xE6\xAC", "text: \xEF\xBF\xBD"},                // cut in the middle of a character
        {"text: \xC0\xAF/", "text: \xEF\xBF\xBD\xEF\xBF\xBD/"},  // over-long form of '/'
        {std::string("a\r\nb\t\0c", 7), "a\\r\\nb\\t\\u0000c"},
    };
    for (const auto& c : cases) {
        const sim::SimLine line{1, "tcp", 1, c.text, std::nullopt, std::nullopt, std::nullopt};
        std::string json;
        ASSERT_NO_THROW(json = sim::FormatLine(line, true)) << c.shown;
        EXPECT_EQ(json,
                  "{\"printer\":1,\"link\":\"tcp\",\"connection\":1,\"line\":\"" + c.shown + "\"}");
        const auto parsed = nlohmann::json::parse(json, nullptr, false);
        ASSERT_FALSE(parsed.is_discarded()) << json;
        EXPECT_EQ(parsed.size(), 4u);
    }
}

}  // namespace
}  // namespace simtest
