// The fleet plan's core: reading and checking the CSV (every error with its line, nothing run),
// and the order of the moves against what discovery found (missing, unchanged, refused, chains
// one step after another, printers that trade addresses parked on a spare first).
#include "cli/fleet_plan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/send_names.h"
#include "tests/cli/cli_rig.h"

namespace clitest {
namespace {

using cli::Fate;
using cli::Ipv4;

cli::Plan Read(const std::string& text) {
    return cli::ReadPlan(text, cli::BuildContext{});
}

std::vector<std::string> Errors(const std::string& text) {
    std::vector<std::string> out;
    for (const cli::PlanError& e : Read(text).errors) out.push_back(cli::PlanErrorLine(e));
    return out;
}

const std::string kHeader = "mac,ip,mask,gateway\n";

TEST(FleetPlan, ReadsRowsWithTheirSettingsAndTestPage) {
    const cli::Plan plan = Read(
        "\xEF\xBB\xBF# the shop's printers\r\n"
        " MAC , ip,Mask,gateway,cutter,code-page,test\r\n"
        "\r\n"
        "00:11:22:33:44:01,192.168.1.51,255.255.255.0,192.168.1.1,on,25,yes\r\n"
        "  # kitchen\n"
        "0:11:22:33:44:2,\"192.168.1.52\",255.255.255.0,192.168.1.1,,,\n");
    ASSERT_TRUE(plan.errors.empty()) << cli::PlanErrorLine(plan.errors[0]);
    ASSERT_EQ(plan.rows.size(), 2u);
    const cli::PlanRow& first = plan.rows[0];
    EXPECT_EQ(first.line, 4);
    EXPECT_EQ(first.mac, (cli::Mac{0x00, 0x11, 0x22, 0x33, 0x44, 0x01}));
    EXPECT_EQ(first.ip, (Ipv4{192, 168, 1, 51}));
    EXPECT_EQ(first.mask, (Ipv4{255, 255, 255, 0}));
    EXPECT_EQ(first.gateway, (Ipv4{192, 168, 1, 1}));
    EXPECT_TRUE(first.testPage);
    ASSERT_EQ(first.settings.size(), 2u);
    // The frames are the ones `send` builds for the same name and value.
    const std::string on[] = {"on"}, page[] = {"25"};
    EXPECT_EQ(first.settings[0].name, "cutter");
    EXPECT_EQ(first.settings[0].frame, cli::BuildSendCommand("cutter", on, {}).bytes);
    EXPECT_EQ(first.settings[1].frame, cli::BuildSendCommand("code-page", page, {}).bytes);
    EXPECT_EQ(plan.rows[1].line, 6);
    EXPECT_EQ(plan.rows[1].mac, (cli::Mac{0x00, 0x11, 0x22, 0x33, 0x44, 0x02}));
    EXPECT_TRUE(plan.rows[1].settings.empty());
    EXPECT_FALSE(plan.rows[1].testPage);
}

// Each bad plan gives exactly these errors, each with its line, and no rows to run.
TEST(FleetPlan, EveryErrorWithItsLine) {
    const std::string row2 = "00:11:22:33:44:02,192.168.1.52,255.255.255.0,192.168.1.1\n";
    const struct {
        const char* name;
        std::string text;
        std::vector<std::string> errors;
    } cases[] = {
        {"empty",
         "# nothing\n\n",
         {"plan: the plan is empty: it needs a header row naming mac, ip, mask and gateway"}},
        {"header only",
         kHeader,
         {"line 1: the plan names no printer: one row per printer follows the header"}},
        {"bad MAC and address",
         kHeader + "00:11:22:33:44,192.168.1.300,255.255.255.0,192.168.1.1\n",
         {"line 2: bad MAC '00:11:22:33:44': write it as XX:XX:XX:XX:XX:XX",
          "line 2: bad address '192.168.1.300': write it as 192.168.1.50"}},
        {"bad mask",
         kHeader + "00:11:22:33:44:01,192.168.1.51,255.0.255.0,192.168.1.1\n",
         {"line 2: mask 255.0.255.0 is no subnet mask: write it as 255.255.255.0"}},
        {"network and broadcast address",
         kHeader + "00:11:22:33:44:01,192.168.1.0,255.255.255.0,192.168.1.1\n" +
             "00:11:22:33:44:02,10.0.255.255,255.255.0.0,10.0.0.1\n",
         {"line 2: address 192.168.1.0 is the network address of 192.168.1.0/24",
          "line 3: address 10.0.255.255 is the broadcast address of 10.0.0.0/16"}},
        {"gateways",
         kHeader + "00:11:22:33:44:01,192.168.1.51,255.255.255.0,192.168.2.1\n" +
             "00:11:22:33:44:02,192.168.1.52,255.255.255.0,192.168.1.52\n" +
             "00:11:22:33:44:03,192.168.1.53,255.255.255.128,192.168.1.127\n",
         {"line 2: gateway 192.168.2.1 is outside 192.168.1.0/24",
          "line 3: gateway 192.168.1.52 is the printer's own address",
          "line 4: gateway 192.168.1.127 is the broadcast address of 192.168.1.0/25"}},
        {"twice",
         kHeader + row2 + row2 + "00:11:22:33:44:09,192.168.1.1,255.255.255.0,192.168.1.2\n",
         {"line 3: MAC 00:11:22:33:44:02 is also on line 2",
          "line 3: address 192.168.1.52 is also on line 2",
          "line 4: address 192.168.1.1 is the gateway on line 2"}},
        {"columns",
         "mac,ip,mask,gateway,cutter,Cutter,colour,set-ip,dhcp,volume,cut\n",
         {"line 1: column 'cutter' appears twice",
          "line 1: unknown column 'colour': the columns are mac, ip, mask, gateway, test and the "
          "send NAMEs that take one value (send --list shows them)",
          "line 1: column 'set-ip' cannot be in a plan: set-ip takes 3 values (NEW MASK "
          "GATEWAY), a cell holds one",
          "line 1: column 'dhcp' cannot be in a plan: it would change the address: the mac, ip, "
          "mask and gateway columns set that",
          "line 1: column 'volume' cannot be in a plan: it is a step, not a setting: every run "
          "would change the volume again",
          "line 1: column 'cut' cannot be in a plan: cut takes no value",
          "line 1: the plan names no printer: one row per printer follows the header"}},
        {"missing column",
         "mac,ip,gateway\n00:11:22:33:44:01,192.168.1.51,192.168.1.1\n",
         {"line 1: no column 'mask': mac, ip, mask and gateway are needed"}},
        {"values",
         "mac,ip,mask,gateway,cutter,test\n" +
             std::string("00:11:22:33:44:01,192.168.1.51,255.255.255.0,192.168.1.1,") +
             "maybe,perhaps\n",
         {"line 2: bad value 'maybe' for cutter: use a position 0..1 or an item's text (send "
          "--list shows them)",
          "line 2: bad test 'perhaps': write yes, no or leave it empty"}},
        {"fields",
         kHeader + "00:11:22:33:44:01,192.168.1.51,255.255.255.0\n" +
             "00:11:22:33:44:02,\"192.168.1.52,255.255.255.0,192.168.1.1\n" +
             "00:11:22:33:44:03,\"192.168.1.53\"x,255.255.255.0,192.168.1.1\n",
         {"line 2: 3 fields where the header has 4",
          "line 3: a quoted field is not closed (a field cannot span lines)",
          "line 4: text after the closing quote of a field"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Errors(c.text), c.errors);
        EXPECT_TRUE(Read(c.text).rows.empty());
    }
}

// ---- Ordering

Ipv4 Ip(uint8_t last) {
    return {192, 168, 1, last};
}

// A printer as discovery found it: MAC ending in `id`, at 192.168.1.`at`/24, gateway .1.
netcfg::DeviceEntry Found(uint8_t id, uint8_t at) {
    netcfg::DeviceEntry e;
    const uint8_t bytes[] = {0x01, 0x00, 0x00, 0x11, 0x22, 0x33, 0x44, id,  1, 2,   3,   4, 5,
                             6,    192,  168,  1,    at,   255,  255,  255, 0, 192, 168, 1, 1};
    std::copy(std::begin(bytes), std::end(bytes), e.bytes.begin());
    return e;
}

// The plan row for the printer ending in `id`: to 192.168.1.`to`/24, gateway .1.
cli::PlanRow Row(uint8_t id, uint8_t to) {
    cli::PlanRow row;
    row.line = id + 1;
    row.mac = {0x00, 0x11, 0x22, 0x33, 0x44, id};
    row.ip = Ip(to);
    row.mask = {255, 255, 255, 0};
    row.gateway = Ip(1);
    return row;
}

// A step as "row>address" texts, parked ones marked with "p".
std::vector<std::vector<std::string>> Steps(const cli::MoveOrder& order) {
    std::vector<std::vector<std::string>> out;
    for (const auto& step : order.steps) {
        out.emplace_back();
        for (const cli::PlannedMove& m : step)
            out.back().push_back(std::to_string(m.row) + (m.parking ? ">p" : ">") +
                                 std::to_string(m.to[3]));
    }
    return out;
}

TEST(FleetOrder, FatesAndStepsAgainstWhatAnswered) {
    using Rows = std::vector<cli::PlanRow>;
    using Answered = std::vector<netcfg::DeviceEntry>;
    const struct {
        const char* name;
        Rows rows;
        Answered found;
        std::vector<Fate> fates;
        std::vector<std::vector<std::string>> steps;
        std::vector<std::string> details;  // per row
    } cases[] = {
        {"missing, unchanged, moved",
         {Row(1, 51), Row(2, 52), Row(3, 53)},
         {Found(2, 52), Found(3, 9)},
         {Fate::Missing, Fate::Unchanged, Fate::Move},
         {{"2>53"}},
         {"", "", ""}},
        {"held by a printer outside the plan, and by one that stays",
         {Row(1, 60), Row(2, 52), Row(3, 61)},
         {Found(1, 10), Found(2, 52), Found(3, 11), Found(9, 60), Found(8, 61)},
         {Fate::Refused, Fate::Unchanged, Fate::Refused},
         {},
         {"address 192.168.1.60 is held by 00:11:22:33:44:09", "",
          "address 192.168.1.61 is held by 00:11:22:33:44:08"}},
        {"held by a printer of the plan that cannot move: both refused",
         {Row(1, 11), Row(2, 12)},
         {Found(1, 10), Found(2, 11), Found(7, 12)},
         {Fate::Refused, Fate::Refused},
         {},
         {"address 192.168.1.11 is held by 00:11:22:33:44:02 (line 3, not moved)",
          "address 192.168.1.12 is held by 00:11:22:33:44:07"}},
        {"a chain: each after the one at its address left",
         {Row(1, 11), Row(2, 12), Row(3, 13)},
         {Found(1, 10), Found(2, 11), Found(3, 12)},
         {Fate::Move, Fate::Move, Fate::Move},
         {{"2>13"}, {"1>12"}, {"0>11"}},
         {"", "", ""}},
        {"a swap: the first parked on the subnet's highest free address",
         {Row(1, 20), Row(2, 10), Row(3, 30)},
         {Found(1, 10), Found(2, 20), Found(3, 31), Found(4, 254)},
         {Fate::Move, Fate::Move, Fate::Move},
         {{"0>p253", "2>30"}, {"1>10"}, {"0>20"}},
         {"", "", ""}},
        {"a ring of three and a separate swap, parked at once",
         {Row(1, 20), Row(2, 30), Row(3, 10), Row(4, 50), Row(5, 40)},
         {Found(1, 10), Found(2, 20), Found(3, 30), Found(4, 40), Found(5, 50)},
         {Fate::Move, Fate::Move, Fate::Move, Fate::Move, Fate::Move},
         {{"0>p254", "3>p253"}, {"2>10", "4>40"}, {"1>30", "3>50"}, {"0>20"}},
         {"", "", "", "", ""}},
        {"one MAC answering twice",
         {Row(1, 20)},
         {Found(1, 10), Found(1, 11)},
         {Fate::Refused},
         {},
         {"answered discovery twice, differently (at 192.168.1.10 and 192.168.1.11)"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const cli::MoveOrder order = cli::OrderMoves(c.rows, c.found, {});
        std::vector<Fate> fates;
        std::vector<std::string> details;
        for (const cli::RowOrder& o : order.rows) {
            fates.push_back(o.fate);
            details.push_back(o.detail);
        }
        EXPECT_EQ(fates, c.fates);
        EXPECT_EQ(Steps(order), c.steps);
        EXPECT_EQ(details, c.details);
    }
}

// Many independent moves go in one step; a spare is given or found, never on an address in use.
TEST(FleetOrder, OneStepForIndependentMovesAndSparesOnlyWhereFree) {
    std::vector<cli::PlanRow> rows;
    std::vector<netcfg::DeviceEntry> found;
    for (uint8_t i = 1; i <= 100; ++i) {
        rows.push_back(Row(i, static_cast<uint8_t>(110 + i)));
        found.push_back(Found(i, static_cast<uint8_t>(i + 1)));
    }
    const cli::MoveOrder many = cli::OrderMoves(rows, found, {});
    ASSERT_EQ(many.steps.size(), 1u);
    EXPECT_EQ(many.steps[0].size(), 100u);

    const std::vector<cli::PlanRow> swap{Row(1, 20), Row(2, 10)};
    const std::vector<netcfg::DeviceEntry> pair{Found(1, 10), Found(2, 20)};
    cli::OrderInputs given;
    given.spares = {{10, 0, 0, 9}, Ip(20), Ip(77)};  // outside, in use, free
    EXPECT_EQ(cli::OrderMoves(swap, pair, given).rows[0].spare, Ip(77));
    cli::OrderInputs avoid;
    avoid.avoid = {Ip(254), Ip(253)};  // this PC
    EXPECT_EQ(cli::OrderMoves(swap, pair, avoid).rows[0].spare, Ip(252));
    cli::OrderInputs none;
    none.spares = {Ip(10)};
    const cli::MoveOrder refused = cli::OrderMoves(swap, pair, none);
    EXPECT_EQ(refused.rows[0].fate, Fate::Refused);
    EXPECT_EQ(refused.rows[0].detail,
              "it trades addresses with other printers and 192.168.1.0/24 has no free address to "
              "park it on meanwhile (--spare)");
    EXPECT_EQ(refused.rows[1].fate, Fate::Refused);  // the other one's address stays held
    EXPECT_TRUE(refused.steps.empty());
}

// Usage errors end with status 2 before anything is sent.
TEST(CliFleetUsage, StatusTwoAndNothingSent) {
    const struct {
        std::vector<std::string> args;
        std::string error;
    } cases[] = {
        {{"fleet"}, "PLAN is required"},
        {{"fleet", "/nonexistent/plan.csv"}, "cannot open /nonexistent/plan.csv"},
        {{"fleet", "--dry-run", "--json", "-"}, "--dry-run prints hex lines: leave out --json"},
        {{"fleet", "-", "--spare", "192.168.1"}, "bad --spare '192.168.1'"},
        {{"fleet", "-", "--jobs", "0"}, "--jobs"},
        {{"fleet", "-", "--port", "0"}, "--port"},
        {{"fleet", "-", "--broadcast", "127.0.0.1:x"}, "bad --broadcast"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.back());
        std::istringstream plan(kHeader +
                                "00:11:22:33:44:01,192.168.1.51,255.255.255.0,192.168.1.1\n");
        Rig rig;
        rig.env.in = &plan;
        const Outcome o = rig.Run(c.args);
        EXPECT_EQ(o.status, 2);
        EXPECT_NE(o.err.find(c.error), std::string::npos) << o.err;
        EXPECT_EQ(o.out, "");
    }
}

}  // namespace
}  // namespace clitest
