// The simulator printing on paper: receipts from real loopback connections, from tessary-cli over
// TCP and the serial side, saved when a cut comes or the job ends, in print order, read back with
// a barcode reader and listed in the index page.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "tests/cli/cli_rig.h"
#include "tests/fakes/temp_folder.h"
#include "tests/fakes/wait.h"
#include "tests/sim/paper_reading.h"
#include "tests/sim/sim_rig.h"

namespace simtest {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

Bytes Cat(std::initializer_list<std::string_view> parts) {
    Bytes out;
    for (std::string_view p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// GS ( k: a 2D symbol function with its parameters.
std::string Symbol(char fn, std::string_view values) {
    const std::size_t n = values.size() + 2;
    return std::string("\x1D(k") + char(n & 0xFF) + char(n >> 8) + "1" + fn + std::string(values);
}

const std::string kQrData = "https://example.com/r/42";

// A shop's receipt that never cuts: a title, an EAN-13 with its text under it, a QR code.
Bytes ShopReceipt() {
    return Cat(
        {"\x1B@\x1B"
         "a\x01\x1D!\x11SHOP\n\x1D!",
         std::string(1, '\0'),
         "Total 9.20\n\x1DH\x02\x1Dh\x50\x1Dk\x43\x0D"
         "4006381333931\n",
         Symbol('C', "\x06"), Symbol('E', "1"), Symbol('P', "0" + kQrData), Symbol('Q', "0"),
         "\n"});
}

std::string Read(const fs::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct PaperRig {
    fs::path folder = fakes::NewTempFolder("sim-paper-");
    std::unique_ptr<SimRig> sim;

    explicit PaperRig(sim::SimOptions options = {}) {
        options.udpPort = std::nullopt;
        options.receipts = folder.string();
        sim = std::make_unique<SimRig>(options);
    }
    ~PaperRig() {
        sim.reset();
        fs::remove_all(folder);
    }
    bool WaitFor(const std::string& part) const {
        return fakes::WaitUntil([&] { return sim->HasLineWith(part); }, 5000ms);
    }
};

TEST(SimPaper, AReceiptWithoutACutIsSavedWhenItsConnectionClosesAndReadsBack) {
    PaperRig rig;
    ASSERT_FALSE(rig.folder.empty());
    const printerlink::SocketHandle socket = Connect(rig.sim->server().TcpPort(1));
    ASSERT_NE(socket, printerlink::kNoSocket);
    ASSERT_TRUE(SendAll(socket, ShopReceipt()));
    printerlink::CloseSocket(socket, false);
    ASSERT_TRUE(rig.WaitFor("printer 1 tcp#1 paper: receipt-0001.png, 576 × ")) << "no receipt";

    const sim::paper::Bitmap picture = papertest::ReadPng(rig.folder / "receipt-0001.png");
    ASSERT_EQ(picture.Width(), 576);
    std::vector<std::string> found;
    for (const papertest::Decoded& d : papertest::ReadSymbols(picture, 16)) found.push_back(d.data);
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::string>{"4006381333931", kQrData}));

    // The index lists it; it is written within its interval (bounded wait).
    EXPECT_TRUE(fakes::WaitUntil(
        [&] {
            return Read(rig.folder / "index.html").find("receipt-0001.png") != std::string::npos;
        },
        5000ms));
}

TEST(SimPaper, CutsAndJobEndsMakePicturesInPrintOrderAcrossPrinters) {
    sim::SimOptions options;
    options.printers = 2;
    options.paperWidth = 384;
    PaperRig rig(options);
    ASSERT_FALSE(rig.folder.empty());
    clitest::Rig cli;
    const std::string to = "net:127.0.0.1:" + std::to_string(rig.sim->server().TcpPort(1));
    // tessary-cli print: its text, then nothing; the cut comes on a connection of its own.
    ASSERT_EQ(cli.Run({"print", "--to", to, "first"}).status, 0);
    ASSERT_TRUE(rig.WaitFor("printer 1 tcp#1 paper: receipt-0001.png, 384 × "));
    const printerlink::SocketHandle socket = Connect(rig.sim->server().TcpPort(2), {127, 0, 0, 2});
    ASSERT_TRUE(SendAll(socket, Cat({"second\n\x1DV\x01", "third\n"})));
    ASSERT_TRUE(rig.WaitFor("printer 2 tcp#2 paper: receipt-0002.png, 384 × "));
    printerlink::CloseSocket(socket, false);
    ASSERT_TRUE(rig.WaitFor("printer 2 tcp#2 paper: receipt-0003.png, 384 × "));
    // Tessary's cut (two line feeds and the cut) after a job that ended without one: no blank
    // strip of a picture.
    ASSERT_EQ(cli.Run({"send", "--to", to, "cut"}).status, 0);
    ASSERT_EQ(cli.Run({"print", "--to", to, "fourth"}).status, 0);
    ASSERT_TRUE(rig.WaitFor("paper: receipt-0004.png"));

    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(rig.folder))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"index.html", "receipt-0001.png", "receipt-0002.png",
                                               "receipt-0003.png", "receipt-0004.png"}));
    for (const std::string& name : names) {
        if (name == "index.html") continue;
        EXPECT_EQ(papertest::ReadPng(rig.folder / name).Width(), 384) << name;
    }
    std::string page;
    ASSERT_TRUE(fakes::WaitUntil(
        [&] {
            return (page = Read(rig.folder / "index.html")).find("receipt-0004") !=
                   std::string::npos;
        },
        5000ms));
    EXPECT_LT(page.find("receipt-0004.png"), page.find("receipt-0003.png"));
    EXPECT_LT(page.find("receipt-0002.png"), page.find("receipt-0001.png"));
}

// A job given through the control interface prints as the same bytes over TCP do: the same dots,
// and its result names the receipt it made.
TEST(SimPaper, AJobThroughTheControlMakesTheReceiptTcpMakes) {
    PaperRig rig;
    ASSERT_FALSE(rig.folder.empty());
    Bytes receipt = ShopReceipt();
    receipt.insert(receipt.end(), {0x1D, 'V', 0x01});  // a partial cut ends it
    const printerlink::SocketHandle socket = Connect(rig.sim->server().TcpPort(1));
    ASSERT_TRUE(SendAll(socket, receipt));
    ASSERT_TRUE(rig.WaitFor("printer 1 tcp#1 paper: receipt-0001.png"));
    printerlink::CloseSocket(socket, false);

    sim::PrintJob job;
    job.name = "shop";
    job.bytes = receipt;
    auto done = rig.sim->server().Print(job);
    ASSERT_EQ(done.wait_for(10s), std::future_status::ready);
    const sim::JobResult result = done.get();
    EXPECT_EQ(result.result, sim::ControlResult::Done);
    EXPECT_EQ(result.connection, 2u);
    ASSERT_EQ(result.receipts.size(), 1u);
    ASSERT_TRUE(result.receipts[0].receipt);
    EXPECT_EQ(result.receipts[0].receipt->file, "receipt-0002.png");
    EXPECT_EQ(sim::FormatLine(result.receipts[0], false).rfind("printer 1 api#2 paper: ", 0), 0u);

    const sim::paper::Bitmap overTcp = papertest::ReadPng(rig.folder / "receipt-0001.png");
    ASSERT_EQ(overTcp.Width(), 576);
    EXPECT_TRUE(overTcp == papertest::ReadPng(rig.folder / "receipt-0002.png"));
    EXPECT_EQ(rig.sim->server().Printers()[0].counters.receipts, 2u);
}

TEST(SimPaper, TheSerialSideEndsAJobWhenAToolClosesThePort) {
    if (!sim::PseudoTerminalsAvailable()) GTEST_SKIP() << "no pseudo-terminals";
    sim::SimOptions options;
    options.serial = true;
    PaperRig rig(options);
    ASSERT_FALSE(rig.folder.empty());
    clitest::Rig cli;
    const std::string to = "serial:" + rig.sim->server().SerialPath() + "@19200";
    ASSERT_EQ(cli.Run({"print", "--to", to, "over the serial line"}).status, 0);
    ASSERT_TRUE(rig.WaitFor("printer 1 serial paper: receipt-0001.png, 576 × "));
    ASSERT_EQ(cli.Run({"print", "--to", to, "and again"}).status, 0);
    ASSERT_TRUE(rig.WaitFor("printer 1 serial paper: receipt-0002.png, 576 × "));
}

}  // namespace
}  // namespace simtest
