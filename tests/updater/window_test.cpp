// Brindel's window through the real widgets: the controls, keyboard order and focus, Enter
// starting the USB download off the window's thread, no input and no closing while it runs, F1
// opening the About box, and the program's single-copy rule.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <functional>

#include "netcfg/udp_socket.h"
#include "platform/qt/dialog_builder.h"
#include "platform/qt/ipv4_edit.h"
#include "platform/qt/qt_dialog_host.h"
#include "tests/fakes/recording_message_sink.h"
#include "tests/fakes/tcp_peer.h"
#include "tests/fakes/udp_peer.h"
#include "tests/platform/qt_wait.h"
#include "tests/updater/usb_rig.h"
#include "tests/updater/window_parts.h"
#include "updater/updater_window.h"
#include "updater/window_layout.h"

namespace updatertest {
namespace {

using namespace std::chrono_literals;
using testsupport::PumpUntil;
namespace id = updater::id;

struct WindowRig : WindowParts {
    explicit WindowRig(bool watch = true) {
        window = std::make_unique<updater::UpdaterWindow>(Config(watch));
        host.Attach(*window);
    }
    ~WindowRig() { window.reset(); }
    template <class T>
    T* Get(int controlId) const {
        return qobject_cast<T*>(host.Control(controlId));
    }
    QString Text(int controlId) const { return platform::ControlText(host.Control(controlId)); }
    bool Finished(int count) {
        return PumpUntil([&] { return window->OperationsFinished() == count; }, 20s);
    }

    platform::QtDialogHost host{updater::UpdaterWindow::Layout()};
    std::unique_ptr<updater::UpdaterWindow> window;
};

void SaveShot(QWidget& widget, const char* name) {
    const QByteArray dir = qgetenv("BRINDEL_SHOT_DIR");
    if (dir.isEmpty()) return;
    QDir().mkpath(QString::fromLocal8Bit(dir));
    widget.grab().save(QString::fromLocal8Bit(dir) + QLatin1Char('/') + QLatin1String(name));
}

TEST(BrindelWidgets, ControlsAndStartUpState) {
    WindowRig rig(false);
    ASSERT_EQ(rig.window->Initialise(), updater::StartResult::Ready);
    rig.host.show();
    QApplication::setActiveWindow(&rig.host);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&rig.host, 2000));
    EXPECT_EQ(rig.host.windowTitle(), QStringLiteral("Ledvane"));
    EXPECT_FALSE(rig.host.windowIcon().isNull());
    for (const platform::ControlDef& def : updater::WindowControls()) {
        if (def.id == platform::kNoId) continue;
        QWidget* control = rig.host.Control(def.id);
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
    EXPECT_EQ(rig.host.focusWidget(), rig.Get<QPushButton>(id::kUsbUpdata));
    SaveShot(rig.host, "brindel.png");
    // Enter on a focused push button presses that one.
    QSignalSpy closed(&rig.host, &QDialog::finished);
    rig.Get<QPushButton>(id::kExit)->setFocus();
    QTest::keyClick(rig.Get<QPushButton>(id::kExit), Qt::Key_Return);
    EXPECT_EQ(closed.count(), 1);
    EXPECT_EQ(rig.host.result(), platform::kDialogOk);
    EXPECT_TRUE(rig.Get<QPushButton>(id::kUsbUpdata)->isEnabled());  // no download started
}

TEST(BrindelWidgets, EnterStartsTheUsbDownloadOffTheUiThread) {
    WindowRig rig(false);
    rig.usb.AttachPrinter();
    const std::vector<uint8_t> image(70000, 0x01);
    rig.usb.Put(updater::kImageFileName, image);
    ASSERT_EQ(rig.window->Initialise(), updater::StartResult::Ready);
    rig.host.show();
    QTest::keyClick(rig.Get<QListWidget>(id::kDeviceList), Qt::Key_Return);
    EXPECT_FALSE(rig.Get<QPushButton>(id::kUsbUpdata)->isEnabled());
    ASSERT_TRUE(rig.Finished(1));
    EXPECT_EQ(rig.usb.usb->BytesOut(), ExpectedFirmwareStream(image, 70000u + 0xAA00));
    EXPECT_EQ(rig.messages.Messages(), std::vector<std::string>{updater::kFirmwareDone});
    EXPECT_EQ(rig.Get<QProgressBar>(id::kProgress)->value(), 100);
    EXPECT_EQ(rig.Text(id::kDevicePath), QStringLiteral("usb:1-4 vid_1fc9&pid_2016"));
    EXPECT_FALSE(rig.window->Busy());
    SaveShot(rig.host, "brindel-downloaded.png");
    // It is pressed once per run.
    QTest::keyClick(rig.Get<QListWidget>(id::kDeviceList), Qt::Key_Return);
    testsupport::PumpFor(50ms);
    EXPECT_EQ(rig.window->OperationsFinished(), 1);
}

// A USB download the fake backend holds in the middle: "exit" (mouse and keyboard), Esc and the
// close box are all ignored, as is any other input, while the bar keeps following the bytes; the
// download completes with every byte, and then the window closes as usual.
TEST(BrindelWidgets, NoClosingDuringAUsbOperation) {
    WindowRig rig(false);
    rig.usb.AttachPrinter();
    const std::vector<uint8_t> image(20000, 0x33);
    rig.usb.Put(updater::kImageFileName, image);
    rig.usb.usb->HoldWritesAfter(20);
    ASSERT_EQ(rig.window->Initialise(), updater::StartResult::Ready);
    rig.host.show();
    QSignalSpy closed(&rig.host, &QDialog::finished);
    QTest::keyClick(rig.Get<QPushButton>(id::kUsbUpdata), Qt::Key_Return);
    ASSERT_TRUE(PumpUntil([&] { return rig.usb.usb->HeldWrites() == 1; }));
    ASSERT_TRUE(rig.window->Busy());
    auto* bar = rig.Get<QProgressBar>(id::kProgress);
    ASSERT_TRUE(PumpUntil([&] { return bar->value() > 0; }));  // painted while busy

    auto* exit = rig.Get<QPushButton>(id::kExit);
    auto* net = rig.Get<QPushButton>(id::kNetUpdata);
    const std::function<void()> attempts[] = {
        [&] { QTest::mouseClick(exit, Qt::LeftButton); },
        [&] {
            exit->setFocus();
            QTest::keyClick(exit, Qt::Key_Return);
        },
        [&] { QTest::keyClick(exit, Qt::Key_Space); },
        [&] { QTest::keyClick(rig.Get<QListWidget>(id::kDeviceList), Qt::Key_Escape); },
        [&] { QTest::keyClick(&rig.host, Qt::Key_Escape); },
        [&] { EXPECT_FALSE(rig.host.close()); },  // the close box
        [&] { exit->click(); },                   // "exit" pressed by other means
        [&] { QTest::mouseClick(net, Qt::LeftButton); },
    };
    for (std::size_t i = 0; i < std::size(attempts); ++i) {
        attempts[i]();
        testsupport::PumpFor(20ms);
        EXPECT_TRUE(rig.host.isVisible()) << i;
        EXPECT_EQ(closed.count(), 0) << i;
    }
    EXPECT_TRUE(net->isEnabled());  // the click did not reach it
    EXPECT_TRUE(rig.window->Busy());

    rig.usb.usb->ReleaseWrites();
    ASSERT_TRUE(rig.Finished(1));
    EXPECT_EQ(rig.usb.usb->BytesOut(), ExpectedFirmwareStream(image, 20000u * 0x33 + 0xAA00));
    EXPECT_EQ(rig.messages.Messages(), std::vector<std::string>{updater::kFirmwareDone});
    EXPECT_EQ(bar->value(), 100);
    EXPECT_TRUE(rig.Exits().empty());
    QTest::keyClick(rig.Get<QListWidget>(id::kDeviceList), Qt::Key_Escape);
    EXPECT_EQ(closed.count(), 1);
    EXPECT_EQ(rig.host.result(), platform::kDialogCancel);
}

TEST(BrindelWidgets, F1OpensTheAboutBox) {
    WindowRig rig(false);
    ASSERT_EQ(rig.window->Initialise(), updater::StartResult::Ready);
    rig.host.show();
    QString title;
    QStringList texts;
    bool hasIcon = false;
    QTimer::singleShot(50, [&] {
        QWidget* box = QApplication::activeModalWidget();
        if (box == nullptr) return;
        title = box->windowTitle();
        for (QLabel* label : box->findChildren<QLabel*>()) {
            if (!label->text().isEmpty()) texts << label->text();
            if (!label->pixmap().isNull()) hasIcon = true;
        }
        SaveShot(*box, "brindel-about.png");
        for (QPushButton* button : box->findChildren<QPushButton*>()) {
            texts << button->text();
            button->click();
        }
    });
    QTest::keyClick(rig.host.Control(id::kDeviceList), Qt::Key_F1);  // returns once closed
    EXPECT_EQ(title, QStringLiteral("关于 Brindel"));
    EXPECT_EQ(texts, (QStringList{QStringLiteral("Brindel 1.0 版"), QStringLiteral("确定")}));
    EXPECT_TRUE(hasIcon);
}

TEST(BrindelWidgets, SecondProgramOnATakenPortEndsSilently) {
    const netcfg::UdpSocket held = netcfg::UdpSocket::BindAny(0);
    ASSERT_TRUE(held.IsValid());
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
