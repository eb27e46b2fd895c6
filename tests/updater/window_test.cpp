// Brindel's window offscreen: the controls and the start-up state, Enter starting the USB
// download off the UI thread, the watch thread's labels, a taken reply port, and the program.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <condition_variable>
#include <mutex>

#include "netcfg/udp_socket.h"
#include "platform/dialog_layout.h"
#include "platform/ipv4_edit.h"
#include "tests/fakes/recording_message_sink.h"
#include "tests/platform/qt_wait.h"
#include "tests/updater/usb_rig.h"
#include "updater/updater_window.h"
#include "updater/window_layout.h"

namespace updatertest {
namespace {

using namespace std::chrono_literals;
using testsupport::PumpUntil;
namespace id = updater::id;

struct WindowRig {
    explicit WindowRig(bool watch = true, platform::MessageSink* sink = nullptr) {
        updater::UpdaterWindowConfig config;
        config.usb = usb.usb;
        config.watchUsb = watchUsb;
        config.replyPort = 0;
        config.workDir = usb.dir;
        config.messages = sink ? sink : &messages;
        config.exitProgram = [this](int status) { exits.push_back(status); };
        config.probeInterval = 5ms;
        config.startWatch = watch;
        window = std::make_unique<updater::UpdaterWindow>(std::move(config));
    }
    template <class T>
    T* Get(int controlId) const {
        return qobject_cast<T*>(window->Control(controlId));
    }
    QString Text(int controlId) const { return platform::ControlText(window->Control(controlId)); }

    UsbRig usb;
    std::shared_ptr<fakes::FakeUsbBackend> watchUsb = std::make_shared<fakes::FakeUsbBackend>();
    fakes::RecordingMessageSink messages;
    std::vector<int> exits;
    std::unique_ptr<updater::UpdaterWindow> window;
};

void SaveShot(QWidget& widget, const char* name) {
    const QByteArray dir = qgetenv("BRINDEL_SHOT_DIR");
    if (dir.isEmpty()) return;
    QDir().mkpath(QString::fromLocal8Bit(dir));
    widget.grab().save(QString::fromLocal8Bit(dir) + QLatin1Char('/') + QLatin1String(name));
}

TEST(UpdaterWindow, ControlsAndStartUpState) {
    WindowRig rig(false);
    ASSERT_EQ(rig.window->Initialise(), updater::StartResult::Ready);
    rig.window->show();
    QApplication::setActiveWindow(rig.window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(rig.window.get(), 2000));
    EXPECT_EQ(rig.window->windowTitle(), QStringLiteral("Ledvane"));
    for (const platform::ControlDef& def : updater::WindowControls()) {
        if (def.id == platform::kNoId) continue;
        QWidget* control = rig.window->Control(def.id);
        ASSERT_NE(control, nullptr) << def.id;
        EXPECT_EQ(control->isVisible(), (def.flags & platform::kHidden) == 0) << def.id;
    }
    EXPECT_EQ(rig.Text(id::kStatus), QStringLiteral("USB not Connect"));
    EXPECT_EQ(rig.Text(id::kDevicePath), QString());
    EXPECT_EQ(rig.Get<QProgressBar>(id::kProgress)->value(), 0);
    EXPECT_EQ(rig.Get<QListWidget>(id::kDeviceList)->count(), 0);
    EXPECT_EQ(rig.Get<QComboBox>(id::kCodePage)->count(), 25);
    EXPECT_EQ(rig.Get<platform::Ipv4Edit>(id::kTestAddress)->Text(),
              QStringLiteral("192.168.0.200"));
    for (auto [list, entries] : {std::pair{id::kPaperWidth, QStringList{"80CM", "58CM"}},
                                 std::pair{id::kDensity, QStringList{"1", "2", "3"}},
                                 std::pair{id::kOptionList, QStringList{"0", "1", "2"}}}) {
        auto* combo = rig.Get<QComboBox>(list);
        QStringList items;
        for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
        EXPECT_EQ(items, entries) << list;
        EXPECT_EQ(combo->currentIndex(), 0) << list;
    }
    // Keyboard order of the visible controls, starting at the default button.
    QWidget* focus = rig.Get<QPushButton>(id::kUsbUpdata);
    EXPECT_TRUE(rig.Get<QPushButton>(id::kUsbUpdata)->isDefault());
    std::vector<int> order;
    for (int i = 0; i < 4; ++i, focus = focus->nextInFocusChain()) {
        while (!(focus->focusPolicy() & Qt::TabFocus) || !focus->isVisible())
            focus = focus->nextInFocusChain();
        order.push_back(platform::ControlId(focus));
    }
    EXPECT_EQ(order,
              (std::vector<int>{id::kUsbUpdata, id::kExit, id::kNetUpdata, id::kDeviceList}));
    EXPECT_EQ(rig.window->focusWidget(), rig.Get<QPushButton>(id::kUsbUpdata));
    SaveShot(*rig.window, "brindel.png");
    // Enter on a focused push button presses that one.
    QSignalSpy closed(rig.window.get(), &QDialog::finished);
    rig.Get<QPushButton>(id::kExit)->setFocus();
    QTest::keyClick(rig.Get<QPushButton>(id::kExit), Qt::Key_Return);
    EXPECT_EQ(closed.count(), 1);
    EXPECT_EQ(rig.window->result(), QDialog::Accepted);
    EXPECT_TRUE(rig.Get<QPushButton>(id::kUsbUpdata)->isEnabled());  // no download started
}

TEST(UpdaterWindow, EnterStartsTheUsbDownloadOffTheUiThread) {
    WindowRig rig(false);
    rig.usb.AttachPrinter();
    const std::vector<uint8_t> image(70000, 0x01);
    rig.usb.Put(updater::kImageFileName, image);
    ASSERT_EQ(rig.window->Initialise(), updater::StartResult::Ready);
    rig.window->show();
    QSignalSpy finished(rig.window.get(), &updater::UpdaterWindow::UsbOperationFinished);
    QTest::keyClick(rig.Get<QListWidget>(id::kDeviceList), Qt::Key_Return);
    EXPECT_FALSE(rig.Get<QPushButton>(id::kUsbUpdata)->isEnabled());
    ASSERT_TRUE(PumpUntil([&] { return finished.count() == 1; }, 20s));
    EXPECT_EQ(rig.usb.usb->BytesOut(), ExpectedFirmwareStream(image, 70000u + 0xAA00));
    EXPECT_EQ(rig.messages.Messages(), std::vector<std::string>{updater::kFirmwareDone});
    EXPECT_EQ(rig.Get<QProgressBar>(id::kProgress)->value(), 100);
    EXPECT_EQ(rig.Text(id::kDevicePath), QStringLiteral("usb:1-4 vid_1fc9&pid_2016"));
    EXPECT_FALSE(rig.window->Busy());
    SaveShot(*rig.window, "brindel-downloaded.png");
    // It is pressed once per run.
    QTest::keyClick(rig.Get<QListWidget>(id::kDeviceList), Qt::Key_Return);
    testsupport::PumpFor(50ms);
    EXPECT_EQ(finished.count(), 1);

    rig.Get<QPushButton>(id::kCharacterData)->click();  // no gb2312 here
    ASSERT_TRUE(PumpUntil([&] { return finished.count() == 2; }, 5s));
    EXPECT_EQ(rig.messages.StopMessages(), std::vector<std::string>{"没有找到 gb2312。"});
}

TEST(UpdaterWindow, WatchThreadLabelsFollowThePrinter) {
    WindowRig rig;
    rig.watchUsb->SetHotplug(true);
    ASSERT_EQ(rig.window->Initialise(), updater::StartResult::Ready);
    rig.watchUsb->SetDevices({{fakes::UsbDevice(0x0471, 0x0055, "3-1")}});
    ASSERT_TRUE(PumpUntil([&] { return rig.Text(id::kStatus) == "USB Connect"; }, 5s));
    EXPECT_EQ(rig.Text(id::kDevicePath), QStringLiteral("usb:3-1 vid_0471&pid_0055"));
    rig.watchUsb->SetDevices({});
    ASSERT_TRUE(PumpUntil([&] { return rig.Text(id::kStatus) == "USB not Connect"; }, 5s));
    EXPECT_EQ(rig.Text(id::kDevicePath), QStringLiteral("usb:3-1 vid_0471&pid_0055"));
    EXPECT_TRUE(rig.watchUsb->Claims().empty());
}

// A message box the test dismisses: the operation's worker waits in it, so the window is busy.
class HeldMessageSink final : public platform::MessageSink {
  public:
    void ShowMessage(const std::string& text) override {
        std::unique_lock lock(mutex_);
        shown_.push_back(text);
        changed_.notify_all();
        changed_.wait_for(lock, 10s, [this] { return released_; });
    }
    void Release() {
        std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }
    std::size_t Shown() {
        std::lock_guard lock(mutex_);
        return shown_.size();
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> shown_;
    bool released_ = false;
};

TEST(UpdaterWindow, BusyWindowTakesNoInputButClosing) {
    HeldMessageSink held;
    WindowRig rig(false, &held);
    rig.usb.Put(updater::kImageFileName, std::vector<uint8_t>(10, 0));  // no printer
    ASSERT_EQ(rig.window->Initialise(), updater::StartResult::Ready);
    rig.window->show();
    QSignalSpy closed(rig.window.get(), &QDialog::finished);
    QTest::keyClick(rig.window->Control(id::kUsbUpdata), Qt::Key_Space);
    ASSERT_TRUE(PumpUntil([&] { return held.Shown() == 1; }, 5s));  // "Print error" is up
    EXPECT_TRUE(rig.window->Busy());
    auto* net = rig.Get<QPushButton>(id::kNetUpdata);
    QTest::mouseClick(net, Qt::LeftButton);
    EXPECT_TRUE(net->isEnabled());  // the click did not reach it
    QTest::keyClick(rig.window->Control(id::kDeviceList), Qt::Key_Escape);
    EXPECT_EQ(closed.count(), 1);  // Esc still closes
    held.Release();
    ASSERT_TRUE(PumpUntil([&] { return !rig.window->Busy(); }, 5s));
    EXPECT_EQ(rig.exits, std::vector<int>{1});
}

TEST(UpdaterWindow, F1OpensTheAboutBox) {
    WindowRig rig(false);
    ASSERT_EQ(rig.window->Initialise(), updater::StartResult::Ready);
    rig.window->show();
    QString title;
    QStringList texts;
    QTimer::singleShot(50, [&] {
        QWidget* box = QApplication::activeModalWidget();
        if (box == nullptr) return;
        title = box->windowTitle();
        for (QLabel* label : box->findChildren<QLabel*>())
            if (!label->text().isEmpty()) texts << label->text();
        SaveShot(*box, "brindel-about.png");
        for (QPushButton* button : box->findChildren<QPushButton*>()) {
            texts << button->text();
            button->click();
        }
    });
    QTest::keyClick(rig.window->Control(id::kDeviceList), Qt::Key_F1);  // returns once closed
    EXPECT_EQ(title, QStringLiteral("关于 Brindel"));
    EXPECT_EQ(texts, (QStringList{QStringLiteral("Brindel 1.0 版"), QStringLiteral("确定")}));
}

TEST(UpdaterWindow, SecondCopyOnATakenPortEndsSilently) {
    const netcfg::UdpSocket held = netcfg::UdpSocket::BindAny(0);
    ASSERT_TRUE(held.IsValid());
    {
        updater::UpdaterWindowConfig config;
        config.replyPort = held.LocalPort();
        config.startWatch = false;
        updater::UpdaterWindow window(std::move(config));
        EXPECT_EQ(window.Initialise(), updater::StartResult::ReplyPortTaken);
    }
    QProcess program;
    program.setWorkingDirectory(QDir::tempPath());
    program.start(QStringLiteral(BRINDEL_PROGRAM),
                  {QStringLiteral("--reply-port=%1").arg(held.LocalPort())});
    ASSERT_TRUE(program.waitForFinished(20000));
    EXPECT_EQ(program.exitCode(), 0);
    const QByteArray err = program.readAllStandardError();
    EXPECT_TRUE(err.contains("brindel: UDP port")) << err.toStdString();
    EXPECT_TRUE(program.readAllStandardOutput().isEmpty());
}

}  // namespace
}  // namespace updatertest
