// The simulator printing on paper: receipts from real loopback connections, from tessary-cli over
// TCP and the serial side, saved when a cut comes or the job ends, in print order, read back with
// a barcode reader and listed in the index page; render mode drawing captured jobs the same way.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "sim/render.h"
#include "tests/cli/cli_rig.h"
#include "tests/fakes/temp_folder.h"
#include "tests/fakes/wait.h"
#include "tests/sim/paper_reading.h"
#include "tests/sim/paper_streams.h"
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
    EXPECT_EQ(names, (std::vector<std::string>{
                         "index.html", "receipt-0001.json", "receipt-0001.png", "receipt-0002.json",
                         "receipt-0002.png", "receipt-0003.json", "receipt-0003.png",
                         "receipt-0004.json", "receipt-0004.png"}));
    for (const std::string& name : names) {
        if (!name.ends_with(".png")) continue;
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

// The streams the Windows simulator's pictures are compared with (tests/windows): each prints one
// picture, in order, and a barcode reader finds its symbols there.
TEST(SimPaper, TheComparisonStreamsPrintOnePictureEachAndReadBack) {
    PaperRig rig;
    ASSERT_FALSE(rig.folder.empty());
    const std::vector<papertest::PaperStream> streams = papertest::PaperStreams();
    for (std::size_t i = 0; i < streams.size(); ++i) {
        const printerlink::SocketHandle socket = Connect(rig.sim->server().TcpPort(1));
        ASSERT_NE(socket, printerlink::kNoSocket);
        ASSERT_TRUE(SendAll(socket, streams[i].bytes));
        printerlink::CloseSocket(socket, false);
        const std::string name = sim::paper::ReceiptStore::FileName(static_cast<unsigned>(i + 1));
        ASSERT_TRUE(rig.WaitFor("paper: " + name)) << streams[i].name;
        const sim::paper::Bitmap picture = papertest::ReadPng(rig.folder / name);
        ASSERT_EQ(picture.Width(), 576) << streams[i].name;
        std::vector<std::string> found;
        for (const papertest::Decoded& d : papertest::ReadSymbols(picture, 16))
            found.push_back(d.data);
        std::sort(found.begin(), found.end());
        EXPECT_EQ(found, streams[i].symbols) << streams[i].name;
    }
    std::size_t pictures = 0;
    for (const auto& entry : fs::directory_iterator(rig.folder))
        pictures += entry.path().extension() == ".png";
    EXPECT_EQ(pictures, streams.size()) << "one picture a stream";
    // Only the EAN-13 with a wrong check digit is refused (a framed note).
    for (const std::string& line : rig.sim->Lines()) {
        if (line.find("not drawn") != std::string::npos) {
            EXPECT_NE(line.find("EAN-13 not drawn"), std::string::npos) << line;
        }
    }
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

    sim::PrintRequest job;
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

// Render mode in this process: the lines it printed and the errors it told.
struct Rendered {
    int status = -1;
    std::vector<std::string> lines;
    std::vector<std::string> errors;
};
Rendered Render(const fs::path& folder, const std::vector<std::string>& files) {
    sim::SimOptions options;
    options.receipts = folder.string();
    Rendered out;
    out.status = sim::RenderFiles(
        options, files,
        [&](const sim::SimLine& line) { out.lines.push_back(sim::FormatLine(line, false)); },
        [&](const std::string& error) { out.errors.push_back(error); });
    return out;
}

nlohmann::json ReadJson(const fs::path& file) {
    return nlohmann::json::parse(Read(file), nullptr, false);
}

TEST(SimPaper, RenderModeDrawsACapturedJobAsTheServerDoes) {
    PaperRig rig;
    ASSERT_FALSE(rig.folder.empty());
    const printerlink::SocketHandle socket = Connect(rig.sim->server().TcpPort(1));
    ASSERT_TRUE(SendAll(socket, ShopReceipt()));
    printerlink::CloseSocket(socket, false);
    ASSERT_TRUE(rig.WaitFor("printer 1 tcp#1 paper: receipt-0001.png"));

    const fs::path out = fakes::NewTempFolder("sim-render-");
    ASSERT_FALSE(out.empty());
    const Bytes job = ShopReceipt();
    std::ofstream(out / "shop.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(job.data()), static_cast<std::streamsize>(job.size()));
    const Rendered r = Render(out / "pictures", {(out / "shop.bin").string()});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.errors.empty());
    EXPECT_EQ(Read(out / "pictures" / "receipt-0001.png"), Read(rig.folder / "receipt-0001.png"));
    // The same record; only where it came from differs.
    const nlohmann::json rendered = ReadJson(out / "pictures" / "receipt-0001.json");
    const nlohmann::json served = ReadJson(rig.folder / "receipt-0001.json");
    EXPECT_EQ(rendered["items"], served["items"]);
    EXPECT_EQ(rendered["lines"], served["lines"]);
    EXPECT_EQ(served["link"], "tcp");
    EXPECT_EQ(rendered["link"], "file");
    EXPECT_EQ(rendered["job"], (out / "shop.bin").string());
    EXPECT_FALSE(served.contains("job"));
    // The server's lines for the job, as render mode printed them.
    const auto lines = rig.sim->Lines();
    for (const std::string want : {"text: Total 9.20", "esc/pos barcode EAN-13: 4006381333931",
                                   "paper: receipt-0001.png, 576 × "}) {
        EXPECT_TRUE(std::any_of(r.lines.begin(), r.lines.end(), [&](const std::string& l) {
            return l.rfind("printer 1 file#1 " + want, 0) == 0;
        })) << want;
        EXPECT_TRUE(rig.sim->HasLineWith("printer 1 tcp#1 " + want)) << want;
    }
    fs::remove_all(out);
}

// The café receipt the README shows: its lines, its barcode and QR code as recorded.
TEST(SimPaper, RenderModeRecordsTextStylesABarcodeAndAQrCode) {
    const fs::path out = fakes::NewTempFolder("sim-render-");
    ASSERT_FALSE(out.empty());
    const Rendered r = Render(out, {SIM_TEST_DATA "/cafe-receipt.bin"});
    ASSERT_EQ(r.status, 0);
    const nlohmann::json data = ReadJson(out / "receipt-0001.json");
    ASSERT_FALSE(data.is_discarded());
    EXPECT_EQ(data["end"], "partial cut");
    const std::vector<std::string> lines = data["lines"];
    ASSERT_GE(lines.size(), 15u);
    EXPECT_EQ(lines[0], "CAFE LUNA");
    EXPECT_EQ(lines[11], "TOTAL" + std::string(38, ' ') + "17.70");
    EXPECT_EQ(lines[13], "4006381333931");  // the barcode's text
    EXPECT_EQ(lines[14], "\xE8\xB0\xA2\xE8\xB0\xA2\xE5\x85\x89\xE4\xB8\xB4  Thank you!");  // GBK
    std::map<std::string, nlohmann::json> found;
    for (const nlohmann::json& item : data["items"]) {
        if (item["type"] == "text" && item["text"] == "CAFE LUNA") found["title"] = item;
        if (item["type"] == "text" && item["text"].get<std::string>().rfind("TOTAL", 0) == 0)
            found["total"] = item;
        if (item["type"] == "barcode" || item["type"] == "symbol") found[item["kind"]] = item;
    }
    EXPECT_EQ(found["title"]["size"], (nlohmann::json{{"width", 2}, {"height", 2}}));
    EXPECT_EQ(found["title"]["bold"], true);
    EXPECT_EQ(found["total"]["size"]["height"], 2);
    EXPECT_EQ(found["EAN-13"]["data"], "400638133393");
    EXPECT_EQ(found["EAN-13"]["text"], "4006381333931");
    EXPECT_EQ(found["EAN-13"]["textPosition"], "below");
    EXPECT_EQ(found["QR code"]["data"], "https://cafe-luna.example/r/1042");
    EXPECT_LT(found["QR code"]["storedFrom"], found["QR code"]["from"]);
    fs::remove_all(out);
}

// Each data file holds the events of its own stretch of the stream, the cut that ended it among
// them (also a cut still waiting for its optional pad byte when the job's bytes end), and the log
// tells the cut before its picture.
TEST(SimPaper, EachReceiptHoldsTheEventsOfItsStretch) {
    const fs::path out = fakes::NewTempFolder("sim-render-");
    ASSERT_FALSE(out.empty());
    std::ofstream(out / "three.bin", std::ios::binary) << std::string(
        "A\n\x1DV\x00"
        "B\n\x1DV\x42\x03"
        "C\n\x1DV\x01",
        16);
    const Rendered r = Render(out, {(out / "three.bin").string()});
    ASSERT_EQ(r.status, 0);
    struct Want {
        uint64_t from, to;
        const char* text;
        const char* bytes;
    };
    const std::vector<std::vector<Want>> receipts = {
        {{0, 2, "text: A", "41 0A"}, {2, 5, "esc/pos cut: full", "1D 56 00"}},
        {{5, 7, "text: B", "42 0A"}, {7, 11, "esc/pos cut: feed 3 dots, partial", "1D 56 42 03"}},
        {{11, 13, "text: C", "43 0A"}, {13, 16, "esc/pos cut: partial", "1D 56 01"}},
    };
    for (std::size_t i = 0; i < receipts.size(); ++i) {
        SCOPED_TRACE(i + 1);
        const nlohmann::json data =
            ReadJson(out / ("receipt-000" + std::to_string(i + 1) + ".json"));
        ASSERT_EQ(data["events"].size(), receipts[i].size()) << data["events"].dump();
        EXPECT_EQ(data["eventsLeftOut"], 0);
        for (std::size_t k = 0; k < receipts[i].size(); ++k) {
            const nlohmann::json& e = data["events"][k];
            EXPECT_EQ(e["from"], receipts[i][k].from);
            EXPECT_EQ(e["to"], receipts[i][k].to);
            EXPECT_EQ(e["text"], receipts[i][k].text);
            EXPECT_EQ(e["bytes"], receipts[i][k].bytes);
        }
    }
    const auto at = [&](const std::string& part) {
        return std::find_if(r.lines.begin(), r.lines.end(), [&](const std::string& l) {
            return l.find(part) != std::string::npos;
        });
    };
    EXPECT_LT(at("esc/pos cut: full"), at("paper: receipt-0001.png"));
    fs::remove_all(out);
}

TEST(SimPaper, RenderModeGoesOnPastAFileItCannotRead) {
    const fs::path out = fakes::NewTempFolder("sim-render-");
    ASSERT_FALSE(out.empty());
    std::ofstream(out / "good.bin") << "printed\n";
    fs::create_directory(out / "a folder");
    const Rendered r = Render(out, {(out / "missing.bin").string(), (out / "a folder").string(),
                                    (out / "good.bin").string()});
    EXPECT_EQ(r.status, 1);
    ASSERT_EQ(r.errors.size(), 2u);
    EXPECT_EQ(r.errors[0],
              "cannot read " + (out / "missing.bin").string() + ": No such file or directory");
    EXPECT_NE(r.errors[1].find("a folder"), std::string::npos);
    // The good file is job 3, on its own receipt.
    EXPECT_TRUE(std::any_of(r.lines.begin(), r.lines.end(), [](const std::string& l) {
        return l.rfind("printer 1 file#3 paper: receipt-0001.png", 0) == 0;
    }));
    EXPECT_EQ(ReadJson(out / "receipt-0001.json")["lines"], nlohmann::json::array({"printed"}));
    fs::remove_all(out);
}

}  // namespace
}  // namespace simtest
