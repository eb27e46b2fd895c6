#include "platform/ui_thread.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QObject>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <future>
#include <memory>
#include <thread>

#include "platform/qt/dialog_message_sink.h"
#include "platform/qt/qt_ui_thread.h"
#include "tests/platform/qt_wait.h"

using namespace std::chrono_literals;
using testsupport::PumpFor;
using testsupport::PumpUntil;

namespace {

// The Qt window thread: a worker's call runs on the thread of the context's event loop.
TEST(QtUiThread, GateRunsDirectlyOnTheUiThreadAndOnItForWorkers) {
    QObject context;
    platform::QtUiThread thread(&context);
    platform::UiCallGate gate(thread);
    bool ranHere = false;
    EXPECT_TRUE(gate.Run([&] { ranHere = true; }));
    EXPECT_TRUE(ranHere);

    QThread* ranOn = nullptr;
    std::atomic<bool> finished{false};
    bool result = false;
    std::thread worker([&] {
        result = gate.Run([&] { ranOn = QThread::currentThread(); });
        finished = true;
    });
    ASSERT_TRUE(PumpUntil([&] { return finished.load(); }));
    worker.join();
    EXPECT_TRUE(result);
    EXPECT_EQ(ranOn, QThread::currentThread());

    platform::QtUiThread none(nullptr);
    platform::UiCallGate nowhere(none);
    auto dropped = std::async(std::launch::async, [&] { return nowhere.Run([] {}); });
    ASSERT_EQ(dropped.wait_for(5s), std::future_status::ready);
    EXPECT_FALSE(dropped.get());
}

TEST(QtUiThread, ContextDestroyedBeforeTheLoopRanReleasesTheWorker) {
    auto context = std::make_unique<QObject>();
    platform::QtUiThread thread(context.get());
    platform::UiCallGate gate(thread);
    std::atomic<bool> calling{false};
    std::atomic<bool> ran{false};
    auto result = std::async(std::launch::async, [&] {
        calling = true;
        return gate.Run([&] { ran = true; });
    });
    while (!calling) std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(200ms);  // lets the worker queue its call; no events run here
    context.reset();                     // drops the queued call
    ASSERT_EQ(result.wait_for(5s), std::future_status::ready);
    EXPECT_FALSE(result.get());
    PumpFor(50ms);
    EXPECT_FALSE(ran);
}

// The real message sink: a worker's message is a modal box on the UI thread, and the worker
// waits until it is dismissed.
TEST(DialogMessageSink, WorkerWaitsForTheBoxOnTheUiThread) {
    QWidget parent;
    parent.setWindowTitle(QStringLiteral("Owner"));
    platform::QtUiThread thread(&parent);
    platform::UiCallGate gate(thread);
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

}  // namespace
