#include "platform/ui_thread.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QObject>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "platform/message_sink.h"
#include "tests/fakes/recording_message_sink.h"
#include "tests/platform/qt_wait.h"

using namespace std::chrono_literals;
using testsupport::PumpFor;
using testsupport::PumpUntil;

namespace {

TEST(RunOnUiThread, RunsDirectlyOnTheUiThreadAndOnItForWorkers) {
    QObject context;
    bool ranHere = false;
    EXPECT_TRUE(platform::RunOnUiThread(&context, [&] { ranHere = true; }));
    EXPECT_TRUE(ranHere);

    QThread* ranOn = nullptr;
    std::atomic<bool> finished{false};
    bool result = false;
    std::thread worker([&] {
        result = platform::RunOnUiThread(&context, [&] { ranOn = QThread::currentThread(); });
        finished = true;
    });
    ASSERT_TRUE(PumpUntil([&] { return finished.load(); }));
    worker.join();
    EXPECT_TRUE(result);
    EXPECT_EQ(ranOn, QThread::currentThread());
    EXPECT_FALSE(platform::RunOnUiThread(nullptr, [] {}));
}

TEST(RunOnUiThread, ManyWorkersEachWaitForTheirOwnCall) {
    QLabel label;
    int counter = 0;  // touched only on the UI thread
    constexpr int kWorkers = 4;
    constexpr int kCalls = 200;
    std::atomic<int> finished{0};
    std::atomic<int> failures{0};
    std::vector<std::thread> workers;
    for (int w = 0; w < kWorkers; ++w) {
        workers.emplace_back([&] {
            for (int i = 0; i < kCalls; ++i) {
                int seen = -1;
                if (!platform::RunOnUiThread(&label, [&] { seen = ++counter; })) ++failures;
                if (seen <= 0) ++failures;  // the call had run when RunOnUiThread returned
            }
            ++finished;
        });
    }
    ASSERT_TRUE(PumpUntil([&] { return finished.load() == kWorkers; }, 20s));
    for (auto& worker : workers) worker.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(counter, kWorkers * kCalls);
}

TEST(RunOnUiThread, ContextDestroyedBeforeTheLoopRanReleasesTheWorker) {
    auto context = std::make_unique<QObject>();
    std::atomic<bool> calling{false};
    std::atomic<bool> ran{false};
    auto result = std::async(std::launch::async, [&] {
        calling = true;
        return platform::RunOnUiThread(context.get(), [&] { ran = true; });
    });
    while (!calling) std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(200ms);  // lets the worker queue its call; no events run here
    context.reset();                     // drops the queued call
    ASSERT_EQ(result.wait_for(5s), std::future_status::ready);
    EXPECT_FALSE(result.get());
    PumpFor(50ms);
    EXPECT_FALSE(ran);
}

TEST(UiCallGate, CloseReleasesWaitingWorkersAndLaterCallsDoNotRun) {
    QObject context;
    platform::UiCallGate gate(&context);
    std::atomic<bool> calling{false};
    std::atomic<int> ran{0};
    auto waiting = std::async(std::launch::async, [&] {
        calling = true;
        return gate.Run([&] { ++ran; });
    });
    while (!calling) std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(100ms);  // queued or about to be: Close covers both
    gate.Close();
    ASSERT_EQ(waiting.wait_for(5s), std::future_status::ready);
    EXPECT_FALSE(waiting.get());

    auto later = std::async(std::launch::async, [&] { return gate.Run([&] { ++ran; }); });
    ASSERT_EQ(later.wait_for(5s), std::future_status::ready);
    EXPECT_FALSE(later.get());
    EXPECT_FALSE(gate.Run([&] { ++ran; }));  // on the UI thread too
    PumpFor(50ms);                           // the queued functor must not run now either
    EXPECT_EQ(ran.load(), 0);
    EXPECT_TRUE(gate.IsClosed());
}

TEST(UiCallGate, RunsWhileOpen) {
    QObject context;
    platform::UiCallGate gate(&context);
    std::atomic<bool> finished{false};
    bool result = false;
    QThread* ranOn = nullptr;
    std::thread worker([&] {
        result = gate.Run([&] { ranOn = QThread::currentThread(); });
        finished = true;
    });
    ASSERT_TRUE(PumpUntil([&] { return finished.load(); }));
    worker.join();
    EXPECT_TRUE(result);
    EXPECT_EQ(ranOn, QThread::currentThread());
}

// The real message sink: a worker's message is a modal box on the UI thread, and the worker
// waits until it is dismissed.
TEST(DialogMessageSink, WorkerWaitsForTheBoxOnTheUiThread) {
    QWidget parent;
    parent.setWindowTitle(QStringLiteral("Owner"));
    platform::UiCallGate gate(&parent);
    platform::DialogMessageSink sink(&parent, gate);
    std::atomic<bool> returned{false};
    // The box runs its own loop; a timer inside that loop inspects and dismisses it.
    QString text, title;
    bool onUiThread = false;
    bool workerWasWaiting = false;
    int looks = 0;
    QTimer dismiss;
    QObject::connect(&dismiss, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || ++looks < 3) return;  // looks a few ticks later: worker still waits
        text = box->text();
        title = box->windowTitle();
        onUiThread = box->thread() == QThread::currentThread();
        workerWasWaiting = !returned;
        box->button(QMessageBox::Ok)->click();
    });
    dismiss.start(20);
    std::thread worker([&] {
        sink.ShowMessage("Print error");
        returned = true;
    });
    ASSERT_TRUE(PumpUntil([&] { return returned.load(); }));
    worker.join();
    EXPECT_EQ(text, QStringLiteral("Print error"));
    EXPECT_EQ(title, QStringLiteral("Owner"));
    EXPECT_TRUE(onUiThread);
    EXPECT_TRUE(workerWasWaiting);
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
