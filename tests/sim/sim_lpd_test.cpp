// LPR jobs over loopback: a client's exchange step by step with the exact acknowledgements, the
// receipt saved under the job's name, a job held while the printer cannot print (its last
// acknowledgement only once printed) and listed by the queue state, and the exchanges refused
// (cut short, marked bad, oversized, unknown) with nothing else printed (label "threaded").
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "tests/fakes/temp_folder.h"
#include "tests/fakes/wait.h"
#include "tests/sim/sim_rig.h"

namespace simtest {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using printerlink::SocketHandle;

Bytes B(std::string_view text) {
    return Bytes(text.begin(), text.end());
}
const Bytes kAck{0x00};
const std::string kNul(1, '\0');

std::string ControlText(const std::string& job) {
    return "Htill\nPanna\nJ" + job + "\nldfA042till\nNsale.bin\n";
}

// One step as a client takes it: send, then read the printer's one-byte answer.
Bytes Step(SocketHandle s, const std::string& bytes) {
    if (!SendAll(s, B(bytes))) return {};
    return Read(s, 1);
}

// The peer closed the connection within 5 s.
bool ClosedByPrinter(SocketHandle s) {
    const auto until = std::chrono::steady_clock::now() + 5s;
    while (std::chrono::steady_clock::now() < until) {
        printerlink::SocketReadable readable{s};
        if (printerlink::WaitReadable(std::span(&readable, 1), 100ms) <= 0) continue;
        uint8_t byte = 0;
        const auto step = printerlink::ReceiveOnSocket(s, &byte, 1);
        if (step.what == printerlink::Received::Closed ||
            step.what == printerlink::Received::Failed)
            return true;
        if (step.what == printerlink::Received::Data) return false;  // more than it should send
    }
    return false;
}

nlohmann::json DataFile(const fs::path& file) {
    std::ifstream in(file);
    return nlohmann::json::parse(in, nullptr, false);
}

bool WaitForLine(const SimRig& rig, const std::string& part) {
    return fakes::WaitUntil([&] { return rig.HasLineWith(part); }, 5000ms);
}

// The texts a connection printed, in order.
std::vector<std::string> Printed(const SimRig& rig, const std::string& connection) {
    std::vector<std::string> out;
    const std::string prefix = "printer 1 " + connection + " text: ";
    for (const std::string& line : rig.Lines()) {
        if (line.rfind(prefix, 0) == 0) out.push_back(line.substr(prefix.size()));
    }
    return out;
}

sim::SimOptions Lpd(const fs::path& receipts = {}) {
    sim::SimOptions o;
    o.lpdPort = 0;
    o.tcpPort = std::nullopt;
    o.receipts = receipts.string();
    return o;
}

TEST(SimLpd, JobPrintsItsReceiptUnderItsName) {
    const fs::path folder = fakes::NewTempFolder("sim-lpd-");
    SimRig rig(Lpd(folder));
    const uint16_t port = rig.server().LpdPort(1);
    ASSERT_NE(port, 0);
    EXPECT_TRUE(rig.HasLineWith("listening on LPD port " + std::to_string(port)));
    EXPECT_EQ(rig.server().Printers()[0].lpdPort, port);
    // A status request inside the data: an LPD connection carries the exchange's answers only.
    const std::string data = "\x1b@Receipt 42\n\x10\x04\x01Total 9.20\n\x1dV\x01";
    const std::string control = ControlText("Receipt 42");
    const SocketHandle s = Connect(port);
    ASSERT_NE(s, printerlink::kNoSocket);
    EXPECT_EQ(Step(s, "\x02receipt\n"), kAck);
    EXPECT_EQ(Step(s, "\x02" + std::to_string(control.size()) + " cfA042till\n"), kAck);
    EXPECT_EQ(Step(s, control + kNul), kAck);
    EXPECT_EQ(Step(s, "\x03" + std::to_string(data.size()) + " dfA042till\n"), kAck);
    EXPECT_EQ(Step(s, data + kNul), kAck);
    EXPECT_EQ(Extra(s), Bytes{});
    printerlink::CloseSocket(s, false);
    ASSERT_TRUE(WaitForLine(rig, "lpd#1 connection closed, "));
    for (const char* step : {
             "printer 1 lpd#1 receive job for queue 'receipt'",
             "printer 1 lpd#1 control file cfA042till, 46 bytes: job 'Receipt 42', user 'anna'",
             "printer 1 lpd#1 data file dfA042till, 30 bytes, job 'Receipt 42'",
             "printer 1 lpd#1 status answer not sent: 12",
             "printer 1 lpd#1 paper: receipt-0001.png",
             "printer 1 lpd#1 data file dfA042till whole: 30 bytes",
             "printer 1 lpd#1 job 'Receipt 42' received: 1 data file, 30 bytes",
         })
        EXPECT_TRUE(rig.HasLineWith(step)) << step;
    EXPECT_EQ(Printed(rig, "lpd#1"), (std::vector<std::string>{"Receipt 42", "Total 9.20"}));
    const nlohmann::json receipt = DataFile(folder / "receipt-0001.json");
    EXPECT_EQ(receipt["job"], "Receipt 42");
    EXPECT_EQ(receipt["link"], "lpd");
    EXPECT_EQ(receipt["connection"], 1);
    EXPECT_EQ(receipt["end"], "partial cut");
    EXPECT_EQ(receipt["lines"], (nlohmann::json{"Receipt 42", "Total 9.20"}));
    EXPECT_FALSE(fs::exists(folder / "receipt-0002.png"));  // nothing printed after the cut
    fs::remove_all(folder);
}

// A client that sends the data file first: a receipt cut before the control file came carries
// the data file's name, the rest the job's.
TEST(SimLpd, DataFileFirstTakesTheJobNameForItsLastReceipt) {
    const fs::path folder = fakes::NewTempFolder("sim-lpd-");
    SimRig rig(Lpd(folder));
    const std::string data = "first\n\x1dV\x01second\n";
    const std::string control = ControlText("Bon 7");
    const SocketHandle s = Connect(rig.server().LpdPort(1));
    EXPECT_EQ(Step(s, "\x02receipt\n"), kAck);
    EXPECT_EQ(Step(s, "\x03" + std::to_string(data.size()) + " dfA042till\n"), kAck);
    EXPECT_EQ(Step(s, data + kNul), kAck);
    EXPECT_EQ(Step(s, "\x02" + std::to_string(control.size()) + " cfA042till\n"), kAck);
    EXPECT_EQ(Step(s, control + kNul), kAck);
    printerlink::CloseSocket(s, false);
    ASSERT_TRUE(WaitForLine(rig, "lpd#1 connection closed, "));
    EXPECT_EQ(DataFile(folder / "receipt-0001.json")["job"], "dfA042till");
    EXPECT_EQ(DataFile(folder / "receipt-0002.json")["lines"], nlohmann::json{"second"});
    EXPECT_EQ(DataFile(folder / "receipt-0002.json")["job"], "Bon 7");
    EXPECT_EQ(DataFile(folder / "receipt-0002.json")["end"], "stream end");
    fs::remove_all(folder);
}

// Paper out: the data file waits in the receive buffer (the connection is no longer read once
// it is full), its last acknowledgement only comes once it is printed, and the queue state
// lists it as held meanwhile.
TEST(SimLpd, HeldWhileThePrinterCannotPrint) {
    sim::SimOptions o = Lpd();
    o.status.paper = commands::PaperLevel::Out;
    SimRig rig(o);
    const uint16_t port = rig.server().LpdPort(1);
    std::string data;
    for (int i = 0; data.size() < 3 * sim::SimServer::kReceiveBuffer; ++i)
        data += "line " + std::to_string(i) + "\n";
    const std::string control = ControlText("Held");
    const SocketHandle s = Connect(port);
    EXPECT_EQ(Step(s, "\x02receipt\n"), kAck);
    EXPECT_EQ(Step(s, "\x02" + std::to_string(control.size()) + " cfA042till\n"), kAck);
    EXPECT_EQ(Step(s, control + kNul), kAck);
    EXPECT_EQ(Step(s, "\x03" + std::to_string(data.size()) + " dfA042till\n"), kAck);
    std::thread sender([&] { EXPECT_TRUE(SendAll(s, B(data + kNul))); });
    ASSERT_TRUE(WaitForLine(rig, "lpd#1 receive buffer full (4096 bytes held)"));
    EXPECT_EQ(Read(s, 1, 300ms), Bytes{});  // not acknowledged while held
    EXPECT_TRUE(Printed(rig, "lpd#1").empty());

    const SocketHandle asker = Connect(port);
    ASSERT_TRUE(SendAll(asker, B("\x03receipt\n")));
    const Bytes listing = Read(asker, 4096, 2s);
    EXPECT_EQ(std::string(listing.begin(), listing.end()),
              "printer 1 is not printing (paper out)\n"
              "Rank   Owner      Job  File(s)                               Total Size\n"
              "held   anna       42   dfA042till                            4096 bytes\n");
    printerlink::CloseSocket(asker, false);

    sim::StatusChange paper;
    paper.paper = commands::PaperLevel::Present;
    ASSERT_EQ(rig.server().ChangeStatus(1, paper), sim::ControlResult::Done);
    EXPECT_EQ(Read(s, 1), kAck);
    sender.join();
    printerlink::CloseSocket(s, false);
    ASSERT_TRUE(WaitForLine(rig, "lpd#1 job 'Held' received: 1 data file"));
    const auto printed = Printed(rig, "lpd#1");
    ASSERT_FALSE(printed.empty());
    EXPECT_EQ(printed.front(), "line 0");
    EXPECT_TRUE(rig.HasLineWith("lpd#1 data file dfA042till whole: " + std::to_string(data.size()) +
                                " bytes"));
}

// Refused exchanges end the connection with a non-zero acknowledgement (none when the client
// itself went), are logged, and print nothing beyond the data that came before.
TEST(SimLpd, RefusedExchangesPrintNothingElse) {
    const std::string data = "came\n";
    struct Row {
        const char* name;
        std::vector<std::string> steps;  // each sent, then its answer read
        Bytes answers;
        bool clientCloses;  // after the steps, the client closes (the exchange is cut short)
        std::vector<std::string> printed;
        std::string said;
    };
    const std::vector<Row> rows = {
        {"cut short",
         {"\x02receipt\n",
          "\x03"
          "100 dfA042till\n",
          "came\n"},
         {0, 0},
         true,
         {"came"},
         "data file dfA042till cut short: 5 of 100 bytes came and went to the printer"},
        {"marked bad",
         {"\x02receipt\n",
          "\x03"
          "5 dfA042till\n",
          data + "\x01",
          "\x03"
          "4 dfB\n"},
         {0, 0, 1},
         false,
         {"came"},
         "ends with 01 instead of 00 (the client found it bad)"},
        {"oversized",
         {"\x02receipt\n",
          "\x03"
          "125899906843000 dfA042till\n",
          "junk\n"},
         {0, 2},
         false,
         {},
         "of 125899906843000 bytes, more than 67108864 bytes: refused (02)"},
        {"control file too large",
         {"\x02receipt\n",
          "\x02"
          "70000 cfA042till\n"},
         {0, 2},
         false,
         {},
         "control file cfA042till of 70000 bytes, more than 65536 bytes: refused (02)"},
        {"bad count",
         {"\x02receipt\n",
          "\x03"
          "1e3 dfA042till\n"},
         {0, 1},
         false,
         {},
         "data file subcommand without a count and one name"},
        {"unknown command",
         {"\x09receipt\n", "\x02receipt\n"},
         {1},
         false,
         {},
         "unknown command 09: refused (01)"},
    };
    SimRig rig(Lpd());
    int connection = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string name = "lpd#" + std::to_string(++connection);
        const SocketHandle s = Connect(rig.server().LpdPort(1));
        Bytes answers;
        for (const std::string& step : row.steps) {
            // Past a refusal the printer has closed: a step may fail to go.
            if (!SendAll(s, B(step))) break;
            const Bytes answer = Read(s, 1, answers.size() < row.answers.size() ? 5s : 200ms);
            answers.insert(answers.end(), answer.begin(), answer.end());
        }
        EXPECT_EQ(answers, row.answers);
        if (row.clientCloses) {
            printerlink::CloseSocket(s, false);
        } else {
            EXPECT_TRUE(ClosedByPrinter(s));
            printerlink::CloseSocket(s, false);
        }
        ASSERT_TRUE(WaitForLine(rig, "printer 1 " + name + " " +
                                         (row.clientCloses ? "connection closed" : "refused") +
                                         ", "));
        EXPECT_TRUE(rig.HasLineWith(row.said));
        EXPECT_EQ(Printed(rig, name), row.printed);
    }
}

}  // namespace
}  // namespace simtest
