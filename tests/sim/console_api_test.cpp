// The console's API over loopback, as a CI job or the page uses it: a job printed by POST and its
// receipt found as data; a status change by PUT answered and pushed on a real TCP connection; the
// refusals that keep it safe to leave running; and the pushed events a test waits on (label
// "threaded": also run under TSan).
#include <gtest/gtest.h>

#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "tests/fakes/wait.h"
#include "tests/sim/console_rig.h"

namespace simtest {
namespace {

using namespace std::chrono_literals;
using Json = nlohmann::json;
using Bytes = std::vector<uint8_t>;

std::string Cafe() {
    std::ifstream in(SIM_TEST_DATA "/cafe-receipt.bin", std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

Json Body(const httplib::Result& result) {
    if (!result) return Json();
    return Json::parse(result->body, nullptr, false);
}

// Sends `bytes` on a new TCP connection to printer 1 and closes it (the receipt ends there).
void SendOverTcp(ConsoleRig& rig, const std::string& bytes) {
    const printerlink::SocketHandle socket = Connect(rig.server().TcpPort(1));
    ASSERT_NE(socket, printerlink::kNoSocket);
    EXPECT_TRUE(SendAll(socket, Bytes(bytes.begin(), bytes.end())));
    printerlink::CloseSocket(socket, false);
}

// A client of /api/events on a thread of its own, keeping what it reads.
class EventReader {
  public:
    explicit EventReader(const ConsoleRig& rig) : client_(rig.Client()) {
        thread_ = std::thread([this] {
            client_.Get("/api/events", [this](const char* data, std::size_t length) {
                std::lock_guard lock(mutex_);
                text_.append(data, length);
                return true;
            });
            std::lock_guard lock(mutex_);
            ended_ = true;
        });
    }
    ~EventReader() {
        client_.stop();
        thread_.join();
    }
    std::string Text() const {
        std::lock_guard lock(mutex_);
        return text_;
    }
    bool Ended() const {
        std::lock_guard lock(mutex_);
        return ended_;
    }
    bool WaitFor(const std::string& part) const {
        return fakes::WaitUntil([&] { return Text().find(part) != std::string::npos; }, 10000ms);
    }

  private:
    httplib::Client client_;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::string text_;
    bool ended_ = false;
};

// POST a job, find it as the printer's latest receipt, read what a test asserts on: its lines,
// its QR code's data, its picture; the list, the log, and clearing the page's list.
TEST(ConsoleApi, PrintByPostAndReadTheReceiptBack) {
    ConsoleRig rig;
    httplib::Client client = rig.Client();
    const auto printed =
        client.Post("/api/printers/1/print?name=cafe", Cafe(), "application/octet-stream");
    ASSERT_TRUE(printed);
    ASSERT_EQ(printed->status, 200) << printed->body;
    const Json job = Body(printed);
    ASSERT_EQ(job["receipts"].size(), 1u) << printed->body;
    const unsigned number = job["receipts"][0]["number"];
    EXPECT_EQ(job["receipts"][0]["link"], "api");
    EXPECT_EQ(job["receipts"][0]["end"], "partial cut");

    const auto latest = client.Get("/api/printers/1/receipts/latest");
    ASSERT_TRUE(latest);
    ASSERT_EQ(latest->status, 200);
    const Json data = Body(latest);
    EXPECT_EQ(data["number"], number);
    EXPECT_EQ(data["job"], "cafe");
    EXPECT_EQ(data["lines"][0], "CAFE LUNA");
    std::string qr;
    for (const Json& item : data["items"]) {
        if (item["type"] == "symbol") qr = item["data"];
    }
    EXPECT_EQ(qr, "https://cafe-luna.example/r/1042");
    // Each item's bytes are told by the events of the receipt's stretch of the stream.
    ASSERT_FALSE(data["events"].empty());
    EXPECT_EQ(data["events"][0]["text"], "esc/pos initialise");
    EXPECT_EQ(data["events"][0]["bytes"], "1B 40");
    EXPECT_EQ(data["events"].back()["text"], "esc/pos cut: feed 0 dots, partial");

    const auto picture = client.Get("/api/printers/1/receipts/" + std::to_string(number) + ".png");
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->get_header_value("Content-Type"), "image/png");
    EXPECT_EQ(picture->body.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    EXPECT_EQ(client.Get("/api/printers/1/receipts/" + std::to_string(number))->body, latest->body);

    const Json list = Body(client.Get("/api/printers/1/receipts"));
    ASSERT_EQ(list["receipts"].size(), 1u);
    EXPECT_EQ(list["receipts"][0]["number"], number);
    const Json log = Body(client.Get("/api/printers/1/log"));
    ASSERT_FALSE(log["lines"].empty());
    bool told = false;
    for (const Json& line : log["lines"]) {
        if (line["text"] == "text: CAFE LUNA")
            told = line["receipt"] == number && line["from"] == 11;
    }
    EXPECT_TRUE(told) << log.dump();

    // Cleared: the page's list and "latest" start empty; the files stay.
    const auto cleared = client.Delete("/api/printers/1/receipts");
    ASSERT_TRUE(cleared);
    EXPECT_EQ(cleared->status, 200);
    EXPECT_TRUE(Body(client.Get("/api/printers/1/receipts"))["receipts"].empty());
    EXPECT_EQ(client.Get("/api/printers/1/receipts/latest")->status, 404);
    EXPECT_TRUE(std::filesystem::exists(rig.Folder() / "receipt-0001.png"));
    EXPECT_EQ(client.Get("/api/printers/1/receipts/1.png")->status, 200);
    // A test waits for its receipt with ?wait: the list answers once one is saved.
    std::thread tcp([&] {
        std::this_thread::sleep_for(200ms);
        SendOverTcp(rig, Cafe());
    });
    const auto t0 = std::chrono::steady_clock::now();
    const Json waited = Body(client.Get("/api/printers/1/receipts?wait=20"));
    tcp.join();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 10s);
    ASSERT_EQ(waited["receipts"].size(), 1u) << waited.dump();
    EXPECT_EQ(waited["receipts"][0]["link"], "tcp");
    EXPECT_EQ(Body(client.Get("/api/printers/1/receipts/latest"))["link"], "tcp");
    EXPECT_EQ(client.Get("/api/printers/1/receipts?wait=61")->status, 400);
}

// "Paper out" from the console: the next DLE EOT 4 on a TCP connection answers paper out, and a
// connection that enabled automatic status back gets the change pushed at once.
TEST(ConsoleApi, StatusChangeAnswersAndPushesOnTcp) {
    ConsoleRig rig;
    httplib::Client client = rig.Client();
    const printerlink::SocketHandle asb = Connect(rig.server().TcpPort(1));
    const printerlink::SocketHandle asks = Connect(rig.server().TcpPort(1));
    ASSERT_TRUE(SendAll(asb, {0x1D, 'a', 0x0F}));
    EXPECT_EQ(Read(asb, 4), (Bytes{0x10, 0x00, 0x00, 0x00}));

    const auto put =
        client.Put("/api/printers/1/status", "{\"paper\":\"out\"}", "application/json");
    ASSERT_TRUE(put);
    ASSERT_EQ(put->status, 200) << put->body;
    EXPECT_EQ(Body(put)["status"]["paper"], "out");
    EXPECT_EQ(Body(put)["status"]["printing"], false);
    EXPECT_EQ(Read(asb, 4), (Bytes{0x18, 0x00, 0x0F, 0x00}));
    ASSERT_TRUE(SendAll(asks, {0x10, 0x04, 0x04}));
    EXPECT_EQ(Read(asks, 1), Bytes{0x7E});

    const auto back = client.Put("/api/printers/1/status", "{\"paper\":\"ok\",\"drawerOpen\":true}",
                                 "application/json");
    ASSERT_TRUE(back);
    EXPECT_EQ(back->status, 200);
    EXPECT_EQ(Read(asb, 4), (Bytes{0x14, 0x00, 0x00, 0x00}));
    ASSERT_TRUE(SendAll(asks, {0x10, 0x04, 0x04}));
    EXPECT_EQ(Read(asks, 1), Bytes{0x12});
    const Json printers = Body(client.Get("/api/printers"));
    EXPECT_EQ(printers["printers"][0]["status"]["drawerOpen"], true);
    EXPECT_EQ(printers["printers"][0]["counters"]["connections"], 2);
    printerlink::CloseSocket(asb, false);
    printerlink::CloseSocket(asks, false);
}

// What keeps the console safe to leave running: each refusal with its code, and nothing changed
// by a refused request.
TEST(ConsoleApi, RefusesWhatItMust) {
    ConsoleRig rig;
    httplib::Client client = rig.Client();
    const std::string own = "http://" + rig.Host();
    struct Case {
        const char* name;
        const char* method;
        std::string path;
        httplib::Headers headers;
        std::string body;
        int status;
        const char* says;  // part of the answer's "error"
    };
    const std::string port = std::to_string(rig.Port());
    const Case cases[] = {
        {"a foreign Host (DNS rebinding)",
         "GET",
         "/api/printers",
         {{"Host", "printer.evil.example:" + port}},
         "",
         403,
         "is not this console's address"},
        {"the right name on another port",
         "GET",
         "/api/printers",
         {{"Host", "localhost:1"}},
         "",
         403,
         "Host"},
        {"a change from another site",
         "DELETE",
         "/api/printers/1/receipts",
         {{"Origin", "http://evil.example"}},
         "",
         403,
         "another site"},
        {"a status change from another site",
         "PUT",
         "/api/printers/1/status",
         {{"Origin", "null"}},
         "{\"offline\":true}",
         403,
         "another site"},
        {"a job over 8 MiB",
         "POST",
         "/api/printers/1/print",
         {},
         std::string(8 * 1024 * 1024 + 1, 'x'),
         413,
         "larger than"},
        {"a status body over 4 KiB",
         "PUT",
         "/api/printers/1/status",
         {},
         "{\"offline\":true" + std::string(5000, ' ') + "}",
         413,
         "at most 4096"},
        {"bad JSON", "PUT", "/api/printers/1/status", {}, "{\"paper\":", 400, "not JSON"},
        {"an unknown field",
         "PUT",
         "/api/printers/1/status",
         {},
         "{\"jam\":true}",
         400,
         "unknown field"},
        {"a wrong type",
         "PUT",
         "/api/printers/1/status",
         {},
         "{\"offline\":1}",
         400,
         "true or false"},
        {"an unknown path", "GET", "/api/printer", {}, "", 404, "no such path"},
        {"a printer that is not there",
         "GET",
         "/api/printers/2/receipts",
         {},
         "",
         404,
         "no printer 2"},
        {"a number with a sign", "GET", "/api/printers/+1/receipts", {}, "", 404, "no such path"},
        {"a receipt number past the range",
         "GET",
         "/api/printers/1/receipts/99999999999",
         {},
         "",
         404,
         "no such path"},
        {"a path that climbs",
         "GET",
         "/api/printers/1/receipts/..%2f..%2fetc%2fpasswd",
         {},
         "",
         404,
         "no such path"},
        {"the wrong method", "GET", "/api/printers/1/print", {}, "", 405, "takes POST"},
        {"an empty job", "POST", "/api/printers/1/print", {}, "", 400, "no bytes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        httplib::Request request;
        request.method = c.method;
        request.path = c.path;
        request.headers = c.headers;
        request.body = c.body;
        if (!c.body.empty()) request.set_header("Content-Type", "application/json");
        const auto result = client.send(request);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, c.status);
        EXPECT_NE(result->body.find(c.says), std::string::npos) << result->body;
    }
    // A body without its length is refused before it is read: 411, or a reset when the refusal's
    // close overtakes the chunks still coming (the server never reads them); never printed.
    const auto chunked = client.Post(
        "/api/printers/1/print",
        [](std::size_t, httplib::DataSink& sink) {
            sink.write("\x1b@", 2);
            sink.done();
            return true;
        },
        "application/octet-stream");
    if (chunked) {
        EXPECT_EQ(chunked->status, 411);
    }

    // The console's own page may change things; nothing refused above did.
    httplib::Request mine;
    mine.method = "PUT";
    mine.path = "/api/printers/1/status";
    mine.headers = {{"Origin", own}};
    mine.body = "{\"coverOpen\":true}";
    const auto allowed = client.send(mine);
    ASSERT_TRUE(allowed);
    EXPECT_EQ(allowed->status, 200) << allowed->body;
    const Json status = Body(client.Get("/api/printers"))["printers"][0]["status"];
    EXPECT_EQ(status["coverOpen"], true);
    EXPECT_EQ(status["offline"], false);
    EXPECT_EQ(rig.server().Printers()[0].counters.connections, 0u) << "no job was printed";
    httplib::Client byName("localhost", rig.Port());
    EXPECT_EQ(byName.Get("/api/printers")->status, 200) << "localhost names it too";
}

// The events a test or the page waits on: a receipt printed over TCP arrives as "receipt" with
// its number, after the log lines of its job; a status change as "status".
TEST(ConsoleApi, EventsTellAReceiptPrintedOverTcp) {
    ConsoleRig rig;
    EventReader events(rig);
    ASSERT_TRUE(events.WaitFor("event: hello"));
    SendOverTcp(rig, Cafe());
    ASSERT_TRUE(events.WaitFor("event: receipt")) << events.Text();
    const std::string text = events.Text();
    const std::size_t receipt = text.find("event: receipt\ndata: ");
    const Json data =
        Json::parse(text.substr(receipt + 21, text.find('\n', receipt + 21) - (receipt + 21)));
    EXPECT_EQ(data["number"], 1);
    EXPECT_EQ(data["link"], "tcp");
    EXPECT_EQ(data["picture"], "/api/printers/1/receipts/1.png");
    EXPECT_LT(text.find("text: CAFE LUNA"), receipt) << "its job's lines come first";
    ASSERT_EQ(rig.server().ChangeStatus(1, {commands::PaperLevel::NearEnd, {}, {}, {}, {}}),
              sim::ControlResult::Done);
    EXPECT_TRUE(events.WaitFor("\"paper\":\"near-end\""));
}

// A ninth page takes the place of the first, whose stream ends; the others go on.
TEST(ConsoleApi, TheOldestEventStreamMakesRoom) {
    ConsoleRig rig;
    std::vector<std::unique_ptr<EventReader>> pages;
    for (std::size_t i = 0; i < sim::console::EventHub::kMaxClients + 1; ++i) {
        pages.push_back(std::make_unique<EventReader>(rig));
        ASSERT_TRUE(pages.back()->WaitFor("event: hello"));
    }
    EXPECT_TRUE(fakes::WaitUntil([&] { return pages.front()->Ended(); }, 10000ms));
    SendOverTcp(rig, Cafe());
    for (std::size_t i = 1; i < pages.size(); ++i) EXPECT_TRUE(pages[i]->WaitFor("event: receipt"));
    EXPECT_FALSE(pages.back()->Ended());
}

}  // namespace
}  // namespace simtest
