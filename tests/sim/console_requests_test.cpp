// The console's reading of requests (paths, numbers, status bodies, Host and Origin) and its
// event hub (the log it keeps, receipts in progress, a client that falls behind), without a
// network: the hub follows a fake SimControl.
#include <gtest/gtest.h>

#include "sim/console/api_requests.h"
#include "sim/console/event_hub.h"
#include "tests/fakes/temp_folder.h"

namespace {

using namespace std::chrono_literals;
using sim::console::Target;

TEST(ConsoleRequests, RoutesAreReadStrictly) {
    struct Case {
        const char* method;
        const char* path;
        int status;  // 200: routed
        Target target;
        int printer;
        uint64_t number;
    };
    const Case cases[] = {
        {"GET", "/", 200, Target::Page, 0, 0},
        {"HEAD", "/console.js", 200, Target::Page, 0, 0},
        {"POST", "/", 405, Target::Page, 0, 0},
        {"GET", "/api/printers", 200, Target::Printers, 0, 0},
        {"GET", "/api/events", 200, Target::Events, 0, 0},
        {"GET", "/api/printers/1/receipts", 200, Target::Receipts, 1, 0},
        {"DELETE", "/api/printers/250/receipts", 200, Target::Receipts, 250, 0},
        {"GET", "/api/printers/3/receipts/7", 200, Target::Receipt, 3, 7},
        {"GET", "/api/printers/3/receipts/0007.png", 200, Target::ReceiptPicture, 3, 7},
        {"GET", "/api/printers/3/receipts/latest", 200, Target::LatestReceipt, 3, 0},
        {"PUT", "/api/printers/2/status", 200, Target::Status, 2, 0},
        {"POST", "/api/printers/2/print", 200, Target::Print, 2, 0},
        {"GET", "/api/printers/2/log", 200, Target::Log, 2, 0},
        {"GET", "/api/printers/2/printing", 200, Target::Printing, 2, 0},
        {"GET", "/api/printers/2/printing/0.png", 200, Target::PrintingPicture, 2, 0},
        {"GET", "/api/printers/2/printing/12.png", 200, Target::PrintingPicture, 2, 12},
        {"PUT", "/api/printers/1/print", 405, Target::Page, 0, 0},
        {"GET", "/api/printers/1/status", 405, Target::Page, 0, 0},
        {"GET", "/api/printers/0/receipts", 404, Target::Page, 0, 0},
        {"GET", "/api/printers/251/receipts", 404, Target::Page, 0, 0},
        {"GET", "/api/printers/-1/receipts", 404, Target::Page, 0, 0},
        {"GET", "/api/printers/1x/receipts", 404, Target::Page, 0, 0},
        {"GET", "/api/printers/1/receipts/", 404, Target::Page, 0, 0},
        {"GET", "/api/printers//receipts", 404, Target::Page, 0, 0},
        {"GET", "/api/printers/1/receipts/0", 404, Target::Page, 0, 0},
        {"GET", "/api/printers/1/receipts/1000000000", 404, Target::Page, 0, 0},
        {"GET", "/api/printers/1/receipts/7.json", 404, Target::Page, 0, 0},
        {"GET", "/api/printers/1/receipts/7.png.png", 404, Target::Page, 0, 0},
        {"GET", "/api/printers/1/receipts/../../../etc/passwd", 404, Target::Page, 0, 0},
        {"GET", "/api/printers/1/printing/3", 404, Target::Page, 0, 0},
        {"GET", "/api/printers/99999999999999999999/log", 404, Target::Page, 0, 0},
        {"GET", "/api", 404, Target::Page, 0, 0},
        {"GET", "api/printers", 404, Target::Page, 0, 0},
        {"GET", "", 404, Target::Page, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.method) + " " + c.path);
        const sim::console::RouteResult r = sim::console::ReadRoute(c.method, c.path);
        EXPECT_EQ(r.route.has_value(), c.status == 200);
        if (!r.route) {
            EXPECT_EQ(r.status, c.status);
            EXPECT_FALSE(r.error.empty());
            continue;
        }
        EXPECT_EQ(r.route->target, c.target);
        EXPECT_EQ(r.route->printer, c.printer);
        EXPECT_EQ(r.route->number, c.number);
        EXPECT_EQ(r.route->change,
                  std::string(c.method) != "GET" && std::string(c.method) != "HEAD");
    }
}

TEST(ConsoleRequests, StatusBodies) {
    using commands::PaperLevel;
    struct Case {
        const char* body;
        bool read;
        const char* error;         // part of it
        sim::PrinterStatus after;  // applied to a printer with paper ok and nothing else
    };
    sim::PrinterStatus out;
    out.paper = PaperLevel::Out;
    sim::PrinterStatus nearEndOpen;
    nearEndOpen.paper = PaperLevel::NearEnd;
    nearEndOpen.coverOpen = true;
    sim::PrinterStatus all;
    all.offline = all.cutterError = all.drawerOpen = true;
    const Case cases[] = {
        {"{\"paper\":\"out\"}", true, "", out},
        {"{\"paper\":\"near-end\", \"coverOpen\": true}", true, "", nearEndOpen},
        {"{\"offline\":true,\"cutterError\":true,\"drawerOpen\":true,\"coverOpen\":false}", true,
         "", all},
        {"{}", true, "", {}},
        {"", false, "not JSON", {}},
        {"{\"paper\":", false, "not JSON", {}},
        {"[\"paper\"]", false, "must be a JSON object", {}},
        {"\"out\"", false, "must be a JSON object", {}},
        {"{\"paper\":\"empty\"}", false, "\"paper\" must be", {}},
        {"{\"paper\":0}", false, "\"paper\" must be", {}},
        {"{\"offline\":\"yes\"}", false, "\"offline\" must be true or false", {}},
        {"{\"offline\":null}", false, "must be true or false", {}},
        {"{\"Offline\":true}", false, "unknown field \"Offline\"", {}},
        {"{\"paper\":\"ok\"} {}", false, "not JSON", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        std::string error;
        const auto change = sim::console::ReadStatusChange(c.body, &error);
        EXPECT_EQ(change.has_value(), c.read);
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        if (change) {
            EXPECT_EQ(sim::Changed({}, *change), c.after);
        }
    }
}

TEST(ConsoleRequests, HostAndOrigin) {
    const sim::console::Bound loopback{{127, 0, 0, 1}, 8080};
    const sim::console::Bound lan{{192, 168, 1, 20}, 8080};
    const sim::console::Bound any{{0, 0, 0, 0}, 80};
    struct Case {
        const char* host;
        const sim::console::Bound* bound;
        bool allowed;
    };
    const Case hosts[] = {
        {"127.0.0.1:8080", &loopback, true},
        {"localhost:8080", &loopback, true},
        {"LocalHost:8080", &loopback, true},
        {"127.0.0.1:8081", &loopback, false},
        {"127.0.0.1", &loopback, false},
        {"evil.example:8080", &loopback, false},
        {"localhost.evil.example:8080", &loopback, false},
        {"127.0.0.1.evil.example:8080", &loopback, false},
        {"192.168.1.20:8080", &loopback, false},
        {"", &loopback, false},
        {":8080", &loopback, false},
        {"127.0.0.1:+8080", &loopback, false},
        {"192.168.1.20:8080", &lan, true},
        {"127.0.0.1:8080", &lan, true},
        {"192.168.1.21:8080", &lan, false},
        {"10.0.0.7", &any, true},
        {"10.0.0.7:80", &any, true},
        {"shop-pc.local", &any, false},
        {"10.0.0.256", &any, false},
    };
    for (const Case& c : hosts) {
        SCOPED_TRACE(c.host);
        EXPECT_EQ(sim::console::HostAllowed(c.host, *c.bound), c.allowed);
    }
    EXPECT_TRUE(sim::console::OriginAllowed("", "127.0.0.1:8080"));
    EXPECT_TRUE(sim::console::OriginAllowed("http://127.0.0.1:8080", "127.0.0.1:8080"));
    EXPECT_TRUE(sim::console::OriginAllowed("http://LOCALHOST:8080", "localhost:8080"));
    EXPECT_FALSE(sim::console::OriginAllowed("http://localhost:8080", "127.0.0.1:8080"));
    EXPECT_FALSE(sim::console::OriginAllowed("https://127.0.0.1:8080", "127.0.0.1:8080"));
    EXPECT_FALSE(sim::console::OriginAllowed("null", "127.0.0.1:8080"));
    EXPECT_FALSE(sim::console::OriginAllowed("http://127.0.0.1:80801", "127.0.0.1:8080"));
}

// Just what the hub needs of the printers: their lines and paper, pushed by the test.
class FakeControl : public sim::SimControl {
  public:
    std::vector<sim::PrinterView> Printers() const override { return {}; }
    sim::ControlResult ChangeStatus(int, const sim::StatusChange&) override {
        return sim::ControlResult::Done;
    }
    std::future<sim::JobResult> Print(sim::PrintRequest) override { return {}; }
    SubscriptionId Subscribe(Subscriber subscriber) override {
        lines = std::move(subscriber);
        return 1;
    }
    void Unsubscribe(SubscriptionId id) override {
        if (id == 1) lines = nullptr;
        if (id == 2) paper = nullptr;
    }
    SubscriptionId WatchPaper(PaperWatcher watcher) override {
        paper = std::move(watcher);
        return 2;
    }
    Subscriber lines;
    PaperWatcher paper;
};

sim::SimLine Line(int printer, uint64_t connection, std::string text) {
    return {printer, "tcp", connection, std::move(text), std::nullopt, std::nullopt, std::nullopt};
}

TEST(ConsoleEvents, TheLogKnowsItsReceiptsAndStaysBounded) {
    const auto folder = fakes::NewTempFolder("console-hub-");
    sim::paper::ReceiptStore store(folder);
    FakeControl control;
    sim::console::EventHub hub(control, store, 2);
    ASSERT_TRUE(control.lines && control.paper);
    control.lines(Line(1, 3, "connection from 127.0.0.1:5000 to 127.0.0.1:9100"));
    control.lines(Line(1, 4, "connection from 127.0.0.1:5001 to 127.0.0.1:9100"));
    control.lines(Line(2, 5, "on printer 2"));
    control.lines(Line(0, 0, "udp from somewhere"));
    sim::SimLine receipt = Line(1, 3, "paper: receipt-0009.png, 576 × 10 dots (0.1 cm)");
    receipt.receipt =
        sim::paper::SavedReceipt{9, "receipt-0009.png", "receipt-0009.json", 576, 10, "", ""};
    control.lines(receipt);
    const auto log = hub.Log(1);
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0]["receipt"], 9) << "its connection's line";
    EXPECT_FALSE(log[1].contains("receipt")) << "another connection's";
    EXPECT_EQ(log[2]["receipt"], 9);
    EXPECT_EQ(hub.Log(2).size(), 1u);
    EXPECT_TRUE(hub.Log(3).empty());
    for (int i = 0; i < 5000; ++i) control.lines(Line(2, 5, std::string(1000, 'x')));
    const auto kept = hub.Log(2);
    EXPECT_EQ(kept.size(), sim::console::EventHub::kMaxLogLines);
    EXPECT_EQ(kept.back()["text"].get<std::string>().size(), sim::console::EventHub::kLogText);

    // Receipts in progress: kept while they grow, gone once cut, never more than kPrintingKept.
    const auto png = std::make_shared<const std::vector<uint8_t>>(100, 0x55);
    control.paper({1, "tcp", 4, 576, 40, png});
    EXPECT_EQ(hub.PrintingPicture(1, 4), png);
    EXPECT_EQ(hub.Printing(1).size(), 1u);
    control.paper({1, "tcp", 4, 0, 0, nullptr});
    EXPECT_EQ(hub.PrintingPicture(1, 4), nullptr);
    for (uint64_t c = 0; c < 100; ++c) control.paper({2, "tcp", c, 576, 40, png});
    EXPECT_EQ(hub.Printing(2).size(), sim::console::EventHub::kPrintingKept);
    EXPECT_NE(hub.PrintingPicture(2, 99), nullptr);
    EXPECT_EQ(hub.PrintingPicture(2, 0), nullptr) << "the oldest went";
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
}

// A page that does not read: its queue never passes its bound, and it is told it missed events;
// the one that reads gets everything. A closed hub ends every wait.
TEST(ConsoleEvents, AClientThatFallsBehindIsToldItMissedEvents) {
    const auto folder = fakes::NewTempFolder("console-hub-");
    sim::paper::ReceiptStore store(folder);
    FakeControl control;
    sim::console::EventHub hub(control, store, 1);
    const auto slow = hub.Connect();
    const auto quick = hub.Connect();
    ASSERT_TRUE(slow && quick);
    std::size_t quickBytes = 0;
    for (int i = 0; i < 3000; ++i) {
        control.lines(Line(1, 1, "line " + std::to_string(i) + " " + std::string(500, 'y')));
        if (i % 100 == 99) quickBytes += hub.Next(*quick, 0ms).value_or("").size();
    }
    quickBytes += hub.Next(*quick, 0ms).value_or("").size();
    EXPECT_GT(quickBytes, sim::console::EventHub::kQueueBytes);
    std::string behind;
    for (int i = 0; i < 100; ++i) {
        const auto text = hub.Next(*slow, 0ms);
        ASSERT_TRUE(text);
        if (text->empty()) break;
        behind += *text;
    }
    EXPECT_EQ(behind.rfind("event: missed\n", 0), 0u) << behind.substr(0, 100);
    EXPECT_LE(behind.size(), sim::console::EventHub::kQueueBytes + 100);
    EXPECT_NE(behind.find("line 2999 "), std::string::npos) << "the newest still come";

    std::optional<std::string> ended = std::string("not yet");
    std::thread waiter([&] { ended = hub.Next(*slow, 10s); });
    hub.Close();
    waiter.join();
    EXPECT_FALSE(ended.has_value());
    EXPECT_EQ(hub.Connect(), nullptr);
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
}

}  // namespace
