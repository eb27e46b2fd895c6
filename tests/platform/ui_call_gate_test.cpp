// Workers' blocking calls onto the window's thread, on the toolkit-free window thread of the
// presenter tests: each call runs on that thread and its worker waits for it; a closed gate and
// a window thread that goes away release every waiting worker.

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "platform/ui_thread.h"
#include "tests/fakes/fake_dialog_host.h"
#include "tests/fakes/wait.h"

using namespace std::chrono_literals;

namespace {

TEST(UiCallGate, RunsDirectlyOnTheWindowThreadAndQueuesWorkersCalls) {
    fakes::FakeUiThread thread;
    platform::UiCallGate gate(thread);
    bool ranHere = false;
    EXPECT_TRUE(gate.Run([&] { ranHere = true; }));
    EXPECT_TRUE(ranHere);

    std::thread::id ranOn;
    auto worker = std::async(std::launch::async,
                             [&] { return gate.Run([&] { ranOn = std::this_thread::get_id(); }); });
    // The call waits for the window's thread.
    EXPECT_EQ(worker.wait_for(50ms), std::future_status::timeout);
    ASSERT_TRUE(
        thread.PumpUntil([&] { return worker.wait_for(0ms) == std::future_status::ready; }));
    EXPECT_TRUE(worker.get());
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST(UiCallGate, ManyWorkersEachWaitForTheirOwnCall) {
    fakes::FakeUiThread thread;
    platform::UiCallGate gate(thread);
    int counter = 0;  // touched only on the window's thread
    constexpr int kWorkers = 4;
    constexpr int kCalls = 200;
    std::atomic<int> finished{0};
    std::atomic<int> failures{0};
    std::vector<std::thread> workers;
    for (int w = 0; w < kWorkers; ++w) {
        workers.emplace_back([&] {
            for (int i = 0; i < kCalls; ++i) {
                int seen = -1;
                if (!gate.Run([&] { seen = ++counter; })) ++failures;
                if (seen <= 0) ++failures;  // the call had run when Run returned
            }
            ++finished;
        });
    }
    EXPECT_TRUE(thread.PumpUntil([&] { return finished.load() == kWorkers; }, 20s));
    for (auto& worker : workers) worker.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(counter, kWorkers * kCalls);
}

TEST(UiCallGate, CloseReleasesWaitingWorkersAndLaterCallsDoNotRun) {
    fakes::FakeUiThread thread;
    platform::UiCallGate gate(thread);
    std::atomic<int> ran{0};
    auto waiting = std::async(std::launch::async, [&] { return gate.Run([&] { ++ran; }); });
    ASSERT_TRUE(fakes::WaitUntil([&] { return thread.Queued() == 1; }, 5s));
    gate.Close();
    ASSERT_EQ(waiting.wait_for(5s), std::future_status::ready);
    EXPECT_FALSE(waiting.get());

    auto later = std::async(std::launch::async, [&] { return gate.Run([&] { ++ran; }); });
    ASSERT_EQ(later.wait_for(5s), std::future_status::ready);
    EXPECT_FALSE(later.get());
    EXPECT_FALSE(gate.Run([&] { ++ran; }));  // on the window's thread too
    thread.RunPending();                     // the queued call must not run now either
    EXPECT_EQ(ran.load(), 0);
    EXPECT_TRUE(gate.IsClosed());
}

// A window thread that goes away with calls still queued (its window was destroyed) releases
// their workers; the calls never run.
TEST(UiCallGate, DroppedCallsReleaseTheirWorkers) {
    auto thread = std::make_unique<fakes::FakeUiThread>();
    platform::UiCallGate gate(*thread);
    std::atomic<int> ran{0};
    auto waiting = std::async(std::launch::async, [&] { return gate.Run([&] { ++ran; }); });
    ASSERT_TRUE(fakes::WaitUntil([&] { return thread->Queued() == 1; }, 5s));
    thread.reset();
    ASSERT_EQ(waiting.wait_for(5s), std::future_status::ready);
    EXPECT_FALSE(waiting.get());
    EXPECT_EQ(ran.load(), 0);
}

TEST(RecordingMessageSink, RecordsFromAnyThread) {
    fakes::RecordingMessageSink sink;
    std::thread worker([&] { sink.ShowMessage("NOT Selet USB OR NET"); });
    EXPECT_TRUE(sink.WaitForCount(1, 5s));
    worker.join();
    sink.ShowMessage("FINISH");
    EXPECT_EQ(sink.Messages(), (std::vector<std::string>{"NOT Selet USB OR NET", "FINISH"}));
    EXPECT_FALSE(sink.WaitForCount(3, 20ms));
}

}  // namespace
