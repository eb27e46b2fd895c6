// The printers' status and jobs through SimControl, seen where a POS program sees them: status
// answers and automatic status back on loopback connections and the serial side, the printer
// information requests, what a printer that cannot print holds and prints later, a full receive
// buffer pushing back on the sender, jobs queued and printed, and all of it from several threads
// at once (label "threaded": also run under TSan).
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "sim/pseudo_terminal.h"
#include "tests/fakes/wait.h"
#include "tests/sim/sim_rig.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace simtest {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using commands::PaperLevel;
using printerlink::SocketHandle;

std::size_t Count(const SimRig& rig, const std::string& part) {
    const auto lines = rig.Lines();
    return static_cast<std::size_t>(std::count_if(lines.begin(), lines.end(), [&](const auto& l) {
        return l.find(part) != std::string::npos;
    }));
}

bool WaitForLine(const SimRig& rig, const std::string& part) {
    return fakes::WaitUntil([&] { return rig.HasLineWith(part); }, 5000ms);
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes Text(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

// A status change of the items named (designated initializers would warn of the others).
struct Change {
    sim::StatusChange change;
    Change& paper(PaperLevel level) {
        change.paper = level;
        return *this;
    }
    Change& cover(bool open) {
        change.coverOpen = open;
        return *this;
    }
    Change& offline(bool on) {
        change.offline = on;
        return *this;
    }
    Change& cutter(bool error) {
        change.cutterError = error;
        return *this;
    }
    Change& drawer(bool open) {
        change.drawerOpen = open;
        return *this;
    }
    operator sim::StatusChange() const { return change; }
    sim::PrinterStatus Status() const { return sim::Changed({}, change); }
};

sim::PrintRequest Job(int printer, Bytes bytes, std::string name = {}) {
    sim::PrintRequest job;
    job.printer = printer;
    job.name = std::move(name);
    job.bytes = std::move(bytes);
    return job;
}

sim::SimOptions Plain() {
    sim::SimOptions o;
    o.udpPort = std::nullopt;
    return o;
}

// Three connections enable different items of automatic status back; each change pushes the four
// bytes to those whose items changed, and a fourth connection's DLE EOT answers follow the status
// (also while the printer holds that connection's bytes, and never twice).
TEST(SimControl, StatusChangesAnswerAndPushAutomaticStatus) {
    SimRig rig(Plain());
    sim::SimServer& server = rig.server();
    const uint16_t port = server.TcpPort(1);
    const SocketHandle all = Connect(port), paper = Connect(port), drawer = Connect(port),
                       asks = Connect(port);
    const Bytes ready{0x10, 0x00, 0x00, 0x00};
    for (const auto& [socket, items] :
         {std::pair{all, 0x0F}, std::pair{paper, 0x08}, std::pair{drawer, 0x01}}) {
        ASSERT_TRUE(SendAll(socket, {0x1D, 'a', static_cast<uint8_t>(items)}));
        EXPECT_EQ(Read(socket, 4), ready) << "sent at once when enabled";
    }
    struct Step {
        const char* name;
        sim::StatusChange change;
        Bytes frame;   // automatic status after the change
        bool toPaper;  // the connection that enabled the paper sensor gets it
        bool toDrawer;
        uint8_t request;  // DLE EOT n asked on the fourth connection
        uint8_t answer;
    };
    const Step steps[] = {
        {"paper out",
         Change().paper(PaperLevel::Out),
         {0x18, 0x00, 0x0F, 0x00},
         true,
         false,
         4,
         0x7E},
        {"drawer open", Change().drawer(true), {0x1C, 0x00, 0x0F, 0x00}, false, true, 1, 0x1E},
        {"paper ok",
         Change().paper(PaperLevel::Present),
         {0x14, 0x00, 0x00, 0x00},
         true,
         false,
         4,
         0x12},
        {"cutter error", Change().cutter(true), {0x1C, 0x08, 0x00, 0x00}, false, false, 3, 0x1A},
        {"near end, cutter fixed, drawer shut",
         Change().paper(PaperLevel::NearEnd).cutter(false).drawer(false),
         {0x10, 0x00, 0x03, 0x00},
         true,
         true,
         4,
         0x1E},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        ASSERT_EQ(server.ChangeStatus(1, step.change), sim::ControlResult::Done);
        EXPECT_EQ(Read(all, 4), step.frame);
        if (step.toPaper) {
            EXPECT_EQ(Read(paper, 4), step.frame);
        }
        if (step.toDrawer) {
            EXPECT_EQ(Read(drawer, 4), step.frame);
        }
        ASSERT_TRUE(SendAll(asks, {0x10, 0x04, step.request}));
        EXPECT_EQ(Read(asks, 1), Bytes{step.answer});
        for (const SocketHandle socket : {all, paper, drawer, asks})
            EXPECT_EQ(Extra(socket, 50ms), Bytes{});
    }
    EXPECT_EQ(server.ChangeStatus(2, Change().offline(true)), sim::ControlResult::NoSuchPrinter);
    EXPECT_EQ(server.ChangeStatus(0, Change().offline(true)), sim::ControlResult::NoSuchPrinter);
    EXPECT_TRUE(WaitForLine(rig, "printer 1 sim status now: paper out"));
    EXPECT_TRUE(WaitForLine(rig, "printer 1 sim status now: paper near its end"));

    const std::vector<sim::PrinterView> views = server.Printers();
    ASSERT_EQ(views.size(), 1u);
    EXPECT_EQ(views[0].status.paper, PaperLevel::NearEnd);
    EXPECT_FALSE(views[0].status.cutterError);
    EXPECT_EQ(views[0].counters.connections, 4u);
    EXPECT_EQ(views[0].counters.bytes, 3u * 3 + 3u * std::size(steps));
    EXPECT_TRUE(views[0].listening);
    EXPECT_EQ(views[0].tcpPort, port);
    for (const SocketHandle socket : {all, paper, drawer, asks})
        printerlink::CloseSocket(socket, false);
}

#ifndef _WIN32
// The serial side: a tool that enabled automatic status back on the port gets the push there.
TEST(SimControl, AutomaticStatusOnTheSerialSide) {
    sim::SimOptions options = Plain();
    options.serial = true;
    SimRig rig(options);
    const int port = ::open(rig.server().SerialPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(port, 0);
    const auto read = [port](std::size_t count) {
        Bytes out;
        fakes::WaitUntil(
            [&] {
                uint8_t b[16];
                const ssize_t n = ::read(port, b, std::min(sizeof b, count - out.size()));
                if (n > 0) out.insert(out.end(), b, b + n);
                return out.size() >= count;
            },
            5000ms);
        return out;
    };
    const uint8_t enable[] = {0x1D, 'a', 0x0F};
    ASSERT_EQ(::write(port, enable, sizeof enable), 3);
    EXPECT_EQ(read(4), (Bytes{0x10, 0x00, 0x00, 0x00}));
    ASSERT_EQ(rig.server().ChangeStatus(1, Change().cover(true)), sim::ControlResult::Done);
    EXPECT_EQ(read(4), (Bytes{0x38, 0x00, 0x00, 0x00}));
    const uint8_t ask[] = {0x10, 0x04, 0x02};  // held (cover open), answered at once
    ASSERT_EQ(::write(port, ask, sizeof ask), 3);
    EXPECT_EQ(read(1), Bytes{0x16});
    ::close(port);
}
#endif

// Every information request a driver makes, answered from the options and the live status, in
// order on one connection, or not at all (and logged so); with --no-status nothing is answered.
TEST(SimControl, InformationRequestsAnswered) {
    struct Case {
        Bytes request;
        Bytes answer;  // empty: not answered
    };
    const auto info = [](std::string_view text) { return Cat({{0x5F}, Text(text), {0x00}}); };
    const Case cases[] = {
        {{0x1D, 'I', 1}, {0x01}},
        {{0x1D, 'I', '1'}, {0x01}},
        {{0x1D, 'I', 2}, {0x03}},
        {{0x1D, 'I', '3'}, {0x01}},
        {{0x1D, 'I', 65}, info("2.5.1")},
        {{0x1D, 'I', 66}, info("Bench Works")},
        {{0x1D, 'I', 67}, info("Bench 80")},
        {{0x1D, 'I', 68}, info("ABC123-2")},  // printer 2
        {{0x1D, 'I', 69}, info("CHINA GB2312")},
        {{0x1D, 'I', 33}, {}},
        {{0x1D, 'r', 1}, {0x03}},  // near end
        {{0x1D, 'r', '1'}, {0x03}},
        {{0x1D, 'r', 2}, {0x01}},  // drawer: pin 3 high
        {{0x1D, 'r', '2'}, {0x01}},
        {{0x1D, 'r', 4}, {}},
        {{0x1D, '(', 'H', 6, 0, '0', '0', 'A', 'B', 'C', 'D'},
         {0x37, 0x22, 'A', 'B', 'C', 'D', 0x00}},
        {{0x10, 0x04, 1}, {0x16}},
        {{0x10, 0x04, 4}, {0x1E}},
        {{0x10, 0x04, 7, 1}, {}},
        {{0x1D, 'a', 0}, {}},
    };
    for (const bool silent : {false, true}) {
        SCOPED_TRACE(silent ? "--no-status" : "answering");
        sim::SimOptions options = Plain();
        options.printers = 2;
        options.noStatus = silent;
        options.status.paper = PaperLevel::NearEnd;
        options.status.drawerOpen = true;
        options.identity.model = "Bench 80";
        options.identity.firmware = "2.5.1";
        options.identity.maker = "Bench Works";
        options.identity.serialNumber = "ABC123";
        SimRig rig(options);
        const SocketHandle socket = Connect(rig.server().TcpPort(2), {127, 0, 0, 2});
        Bytes requests, answers;
        for (const Case& c : cases) {
            requests.insert(requests.end(), c.request.begin(), c.request.end());
            if (!silent) answers.insert(answers.end(), c.answer.begin(), c.answer.end());
        }
        ASSERT_TRUE(SendAll(socket, requests));
        EXPECT_EQ(Read(socket, answers.size()), answers);
        EXPECT_EQ(Extra(socket), Bytes{});
        EXPECT_TRUE(WaitForLine(rig, silent ? "automatic status request not answered (--no-status)"
                                            : "automatic status off"));
        EXPECT_EQ(Count(rig, "request not answered: a receipt printer has no such answer"),
                  silent ? 0u : 3u);
        EXPECT_EQ(Count(rig, "request not answered (--no-status)"), silent ? std::size(cases) : 0u);
        if (!silent) {
            EXPECT_TRUE(rig.HasLineWith("printer 2 tcp#1 serial number answer: 5F 41"));
        }
        printerlink::CloseSocket(socket, false);
    }
}

// A printer that cannot print holds what arrives: nothing printed, DLE EOT answered at once, a
// process ID response (which follows the data before it) not yet; once it prints again, the held
// bytes print, the response comes, and the DLE EOT is not answered a second time.
TEST(SimControl, HeldWhileNotReadyPrintedOnceReady) {
    struct Case {
        const char* name;
        sim::PrinterStatus status;
        uint8_t printerStatus;  // DLE EOT 1 while held
        Bytes recover;          // sent to recover, or empty: ChangeStatus
        sim::StatusChange change;
    };
    const Case cases[] = {
        {"paper out",
         Change().paper(PaperLevel::Out).Status(),
         0x1A,
         {},
         Change().paper(PaperLevel::Present)},
        {"cover open", Change().cover(true).Status(), 0x1A, {}, Change().cover(false)},
        {"offline", Change().offline(true).Status(), 0x1A, {}, Change().offline(false)},
        {"cutter error, DLE ENQ 1", Change().cutter(true).Status(), 0x1A, {0x10, 0x05, 0x01}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::SimOptions options = Plain();
        options.status = c.status;
        SimRig rig(options);
        const SocketHandle socket = Connect(rig.server().TcpPort(1));
        ASSERT_TRUE(SendAll(socket, Cat({Text("Hello\n"),
                                         {0x10, 0x04, 0x01},
                                         Text("World\n"),
                                         {0x1D, '(', 'H', 6, 0, '0', '0', 'H', 'E', 'L', 'D'}})));
        EXPECT_EQ(Read(socket, 1), Bytes{c.printerStatus});
        EXPECT_EQ(Extra(socket, 150ms), Bytes{}) << "the process ID response waits";
        EXPECT_FALSE(rig.HasLineWith("text: Hello"));
        EXPECT_TRUE(rig.HasLineWith("holding what arrives: the printer cannot print"));
        if (c.recover.empty()) {
            ASSERT_EQ(rig.server().ChangeStatus(1, c.change), sim::ControlResult::Done);
        } else {
            ASSERT_TRUE(SendAll(socket, c.recover));
        }
        EXPECT_EQ(Read(socket, 7), (Bytes{0x37, 0x22, 'H', 'E', 'L', 'D', 0x00}));
        EXPECT_EQ(Extra(socket), Bytes{});
        EXPECT_TRUE(WaitForLine(rig, "tcp#1 text: World"));
        EXPECT_TRUE(rig.HasLineWith("tcp#1 text: Hello"));
        EXPECT_TRUE(rig.HasLineWith("status now: paper ok"));
        EXPECT_EQ(Count(rig, "status answer:"), 1u);
        printerlink::CloseSocket(socket, false);
    }
}

// An offline printer's receive buffer fills and it stops reading: the sender's bytes stop moving
// (nothing taken for a while), far short of the job; online again, it takes the rest.
TEST(SimControl, AFullReceiveBufferStopsReading) {
    sim::SimOptions options = Plain();
    options.status.offline = true;
    SimRig rig(options);
    // A raster image announcing 8 MiB: its data is counted, not logged line by line.
    constexpr std::size_t kData = 8u << 20;
    Bytes job{0x1D, 'v', '0', 0, 0x00, 0x04, 0x00, 0x20};  // 1024 bytes × 8192 rows
    job.resize(job.size() + kData, 0x00);
    const SocketHandle socket = Connect(rig.server().TcpPort(1));
    std::size_t taken = 0;
    // Send until nothing is taken for 300 ms (bounded: the job's size).
    while (taken < job.size()) {
        const auto step = printerlink::SendOnSocket(socket, job.data() + taken, job.size() - taken);
        ASSERT_EQ(step.error, 0);
        taken += step.taken;
        if (step.wouldBlock &&
            printerlink::WaitOnSocket(socket, true, 300ms) == printerlink::SocketWait::TimedOut)
            break;
    }
    EXPECT_LT(taken, job.size());
    EXPECT_TRUE(WaitForLine(rig, "receive buffer full (4096 bytes held)"));
    EXPECT_EQ(rig.server().Printers()[0].counters.bytes, sim::SimServer::kReceiveBuffer);
    EXPECT_FALSE(rig.HasLineWith("raster image"));  // nothing printed
    ASSERT_EQ(rig.server().ChangeStatus(1, Change().offline(false)), sim::ControlResult::Done);
    ASSERT_TRUE(
        SendAll(socket, Bytes(job.begin() + static_cast<std::ptrdiff_t>(taken), job.end())));
    EXPECT_TRUE(fakes::WaitUntil(
        [&] { return rig.server().Printers()[0].counters.bytes == job.size(); }, 10000ms));
    EXPECT_TRUE(WaitForLine(rig, "printing the 4096 bytes held"));
    printerlink::CloseSocket(socket, false);
}

// Jobs through Print: refused when they cannot be taken, queued (bounded) while the printer
// cannot print, then printed one after another in order; those still waiting when the simulator
// stops end as stopped.
TEST(SimControl, JobsAreBoundedQueuedAndPrintedInOrder) {
    sim::SimOptions options = Plain();
    options.status.paper = PaperLevel::Out;
    std::vector<std::future<sim::JobResult>> waiting;
    {
        SimRig rig(options);
        sim::SimServer& server = rig.server();
        struct Refusal {
            sim::PrintRequest job;
            sim::ControlResult result;
        };
        const Refusal refusals[] = {
            {Job(2, Text("x")), sim::ControlResult::NoSuchPrinter},
            {Job(1, Bytes(sim::SimControl::kMaxJobBytes + 1)), sim::ControlResult::Refused},
        };
        for (const Refusal& r : refusals) {
            auto future = server.Print(r.job);
            ASSERT_EQ(future.wait_for(0s), std::future_status::ready);
            const sim::JobResult result = future.get();
            EXPECT_EQ(result.result, r.result);
            EXPECT_FALSE(result.error.empty());
        }
        std::vector<std::future<sim::JobResult>> jobs;
        for (std::size_t k = 0; k < sim::SimControl::kMaxJobs; ++k) {
            jobs.push_back(server.Print(
                Job(1, Text("line " + std::to_string(k) + "\n"), "job " + std::to_string(k))));
        }
        auto full = server.Print(Job(1, Text("one too many\n")));
        ASSERT_EQ(full.wait_for(0s), std::future_status::ready);
        EXPECT_EQ(full.get().result, sim::ControlResult::Refused);
        EXPECT_EQ(jobs[0].wait_for(150ms), std::future_status::timeout) << "paper out: waits";

        ASSERT_EQ(server.ChangeStatus(1, Change().paper(PaperLevel::Present)),
                  sim::ControlResult::Done);
        for (std::size_t k = 0; k < jobs.size(); ++k) {
            ASSERT_EQ(jobs[k].wait_for(10s), std::future_status::ready) << k;
            const sim::JobResult result = jobs[k].get();
            EXPECT_EQ(result.result, sim::ControlResult::Done);
            EXPECT_EQ(result.connection, k + 1);
            EXPECT_TRUE(result.receipts.empty());  // no paper without --receipts
            EXPECT_TRUE(rig.HasLineWith("printer 1 api#" + std::to_string(k + 1) + " text: line " +
                                        std::to_string(k)));
        }
        EXPECT_TRUE(rig.HasLineWith("printer 1 api#3 job \"job 2\": 7 bytes"));
        EXPECT_EQ(server.Printers()[0].counters.connections, sim::SimControl::kMaxJobs);
        ASSERT_EQ(server.ChangeStatus(1, Change().cover(true)), sim::ControlResult::Done);
        for (int k = 0; k < 3; ++k) waiting.push_back(server.Print(Job(1, Text("later\n"))));
    }
    for (auto& future : waiting) {
        ASSERT_EQ(future.wait_for(0s), std::future_status::ready);
        EXPECT_EQ(future.get().result, sim::ControlResult::Stopped);
    }
}

// Status changes, subscriptions, listings and jobs from several threads while a connection prints
// and another takes automatic status: every push is a well-formed frame, every job ends, and a
// subscriber is never called after Unsubscribe returned.
TEST(SimControl, ConcurrentControlWhileConnectionsPrint) {
    sim::SimOptions options = Plain();
    options.printers = 2;
    SimRig rig(options);
    sim::SimServer& server = rig.server();
    const SocketHandle watcher = Connect(server.TcpPort(1));
    ASSERT_TRUE(SendAll(watcher, {0x1D, 'a', 0x0F}));
    ASSERT_EQ(Read(watcher, 4), (Bytes{0x10, 0x00, 0x00, 0x00}));

    std::atomic<bool> done{false};
    std::atomic<int> frames{0};
    std::atomic<bool> malformed{false};
    std::mutex lastMutex;
    Bytes last;
    std::thread reader([&] {
        Bytes pending;
        while (!done.load()) {
            const Bytes got = Read(watcher, 64, 20ms);
            pending.insert(pending.end(), got.begin(), got.end());
            for (; pending.size() >= 4; pending.erase(pending.begin(), pending.begin() + 4)) {
                if ((pending[0] & 0x93) != 0x10 || (pending[1] & 0x90) != 0) malformed = true;
                ++frames;
                std::lock_guard lock(lastMutex);
                last.assign(pending.begin(), pending.begin() + 4);
            }
        }
    });
    const auto lastFrame = [&] {
        std::lock_guard lock(lastMutex);
        return last;
    };
    std::thread printer([&] {
        const SocketHandle socket = Connect(server.TcpPort(2), {127, 0, 0, 2});
        for (int k = 0; k < 200; ++k) SendAll(socket, Text("line " + std::to_string(k) + "\n"));
        printerlink::CloseSocket(socket, false);
    });
    std::thread toggler([&] {
        for (int k = 0; k < 200; ++k) {
            const bool on = k % 2 == 0;
            if (k % 10 == 0) std::this_thread::sleep_for(1ms);  // some between the loop's turns
            server.ChangeStatus(
                1, Change().paper(on ? PaperLevel::Out : PaperLevel::Present).drawer(k % 3 == 0));
        }
        server.ChangeStatus(1, Change().paper(PaperLevel::Present).drawer(false));
    });
    std::atomic<int> calls{0};
    std::thread subscriber([&] {
        for (int k = 0; k < 50; ++k) {
            const auto id = server.Subscribe([&calls](const sim::SimLine&) { ++calls; });
            std::this_thread::sleep_for(1ms);
            server.Unsubscribe(id);
        }
    });
    std::atomic<int> ended{0};
    std::thread jobs([&] {
        for (int k = 0; k < 20; ++k) {
            EXPECT_EQ(server.Printers().size(), 2u);
            auto future = server.Print(Job(2, Text("job\n")));
            if (future.wait_for(10s) == std::future_status::ready &&
                future.get().result == sim::ControlResult::Done)
                ++ended;
        }
    });
    for (std::thread* t : {&printer, &toggler, &subscriber, &jobs}) t->join();
    EXPECT_EQ(ended.load(), 20);
    EXPECT_EQ(server.Printers()[0].status, sim::PrinterStatus{});
    // The loop may join changes made between two of its turns into one; the last push reads as
    // the status is.
    const int before = calls.load();
    ASSERT_EQ(server.ChangeStatus(1, Change().offline(true)), sim::ControlResult::Done);
    EXPECT_TRUE(WaitForLine(rig, "status now: paper ok, offline"));
    EXPECT_TRUE(fakes::WaitUntil(
        [&] {
            return lastFrame() == Bytes{0x18, 0x00, 0x00, 0x00};
        },
        5000ms));
    done = true;
    reader.join();
    EXPECT_FALSE(malformed.load());
    EXPECT_GT(frames.load(), 1);
    EXPECT_EQ(calls.load(), before) << "a subscriber called after Unsubscribe returned";
    EXPECT_TRUE(fakes::WaitUntil([&] { return rig.HasLineWith("text: line 199"); }, 5000ms));
    printerlink::CloseSocket(watcher, false);
}

}  // namespace
}  // namespace simtest
