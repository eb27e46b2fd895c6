// Brindel's window offscreen: the controls and the start-up state, Enter starting the USB
// download off the UI thread, no closing while it runs, the watch thread's labels, a taken reply
// port, and the program.
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

#include "netcfg/address_dialog.h"
#include "netcfg/udp_socket.h"
#include "platform/qt/dialog_builder.h"
#include "platform/qt/ipv4_edit.h"
#include "platform/qt/qt_dialog_host.h"
#include "tests/fakes/recording_message_sink.h"
#include "tests/fakes/tcp_peer.h"
#include "tests/fakes/udp_peer.h"
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
    explicit WindowRig(bool watch = true, platform::MessageSink* sink = nullptr,
                       const std::function<void(updater::UpdaterWindowConfig&)>& tweak = {}) {
        updater::UpdaterWindowConfig config;
        config.usb = usb.usb;
        config.watchUsb = watchUsb;
        config.replyPort = 0;
        config.workDir = usb.dir;
        config.messages = sink ? sink : &messages;
        config.exitProgram = [this](int status) { exits.push_back(status); };
        config.probeInterval = 5ms;
        config.startWatch = watch;
        // Discovery requests go to a loopback peer, never to the segment.
        config.broadcastTo = netcfg::Ipv4Endpoint{0x7f000001u, udp.port()};
        if (tweak) tweak(config);
        window = std::make_unique<updater::UpdaterWindow>(std::move(config));
    }
    template <class T>
    T* Get(int controlId) const {
        return qobject_cast<T*>(window->Control(controlId));
    }
    QString Text(int controlId) const { return platform::ControlText(window->Control(controlId)); }

    UsbRig usb;
    fakes::UdpPeer udp;
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

// A USB download the fake backend holds in the middle: "exit" (mouse and keyboard), Esc and the
// close box are all ignored, as is any other input, while the bar keeps following the bytes; the
// download completes with every byte, and then the window closes as usual.
TEST(UpdaterWindow, NoClosingDuringAUsbOperation) {
    WindowRig rig(false);
    rig.usb.AttachPrinter();
    const std::vector<uint8_t> image(20000, 0x33);
    rig.usb.Put(updater::kImageFileName, image);
    rig.usb.usb->HoldWritesAfter(20);
    ASSERT_EQ(rig.window->Initialise(), updater::StartResult::Ready);
    rig.window->show();
    QSignalSpy closed(rig.window.get(), &QDialog::finished);
    QSignalSpy finished(rig.window.get(), &updater::UpdaterWindow::UsbOperationFinished);
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
        [&] { QTest::keyClick(rig.window.get(), Qt::Key_Escape); },
        [&] { EXPECT_FALSE(rig.window->close()); },  // the close box
        [&] { exit->click(); },                      // "exit" pressed by other means
        [&] { QTest::mouseClick(net, Qt::LeftButton); },
    };
    for (std::size_t i = 0; i < std::size(attempts); ++i) {
        attempts[i]();
        testsupport::PumpFor(20ms);
        EXPECT_TRUE(rig.window->isVisible()) << i;
        EXPECT_EQ(closed.count(), 0) << i;
    }
    EXPECT_TRUE(net->isEnabled());  // the click did not reach it
    EXPECT_TRUE(rig.window->Busy());

    rig.usb.usb->ReleaseWrites();
    ASSERT_TRUE(PumpUntil([&] { return finished.count() == 1; }, 20s));
    EXPECT_EQ(rig.usb.usb->BytesOut(), ExpectedFirmwareStream(image, 20000u * 0x33 + 0xAA00));
    EXPECT_EQ(rig.messages.Messages(), std::vector<std::string>{updater::kFirmwareDone});
    EXPECT_EQ(bar->value(), 100);
    EXPECT_TRUE(rig.exits.empty());
    QTest::keyClick(rig.Get<QListWidget>(id::kDeviceList), Qt::Key_Escape);
    EXPECT_EQ(closed.count(), 1);
    EXPECT_EQ(rig.window->result(), QDialog::Rejected);
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

// The network side: printers listed from a loopback peer's replies, the download to one of them
// over loopback TCP, the hidden address dialog and connect test.
struct NetWindowRig {
    NetWindowRig()
        : rig(true, nullptr, [this](updater::UpdaterWindowConfig& config) {
              config.scanInterval = 20ms;
              config.printerPort = printer.port();
              config.netPacing.afterSend = config.netPacing.afterFirstHalf = 0ms;
              config.netPacing.afterSecondHalf = config.netPacing.afterChecksum = 0ms;
              config.netPacing.before = 300ms;  // long enough to see the scan suspended
              config.netPacing.settle = 0ms;
          }) {}

    bool Start() {
        if (rig.window->Initialise() != updater::StartResult::Ready) return false;
        rig.window->show();
        return true;
    }
    // A printer at 127.0.0.1 replies to the window's reply port; waits for its line.
    bool Reply(uint8_t last) {
        std::vector<uint8_t> reply(24, 0x00);
        reply[0] = 0x01, reply[1] = 0x02;
        reply[2] = 0x00, reply[3] = 0x11, reply[4] = 0x22, reply[5] = 0x33, reply[6] = 0x44;
        reply[7] = last;
        reply[8] = 0x01, reply[9] = 0x02;
        reply[14] = 127, reply[17] = 1;
        reply[18] = reply[19] = 0xFF;
        auto* list = rig.Get<QListWidget>(id::kDeviceList);
        const int before = list->count();
        return rig.udp.SendTo(rig.window->ReplyPort(), reply) &&
               PumpUntil([&] { return list->count() == before + 1; }, 5s);
    }
    QListWidget* List() const { return rig.Get<QListWidget>(id::kDeviceList); }

    fakes::TcpPrinterPeer printer;
    WindowRig rig;
};

TEST(UpdaterNetwork, ListsRepliesInTableOrderAndDownloadsToTheSelectedPrinter) {
    NetWindowRig net;
    const std::vector<uint8_t> image(1000, 0x5A);
    net.rig.usb.Put(updater::kImageFileName, image);
    ASSERT_TRUE(net.Start());
    // Requests reach the injected endpoint: "X" and zeros, 24 bytes.
    ASSERT_TRUE(PumpUntil([&] { return net.rig.udp.Datagrams().size() >= 2; }, 5s));
    std::vector<uint8_t> request(24, 0x00);
    request[0] = 0x58;
    EXPECT_EQ(net.rig.udp.Datagrams().front().bytes, request);
    // Table order, not sorted: 0x99 before 0x05.
    ASSERT_TRUE(net.Reply(0x99));
    ASSERT_TRUE(net.Reply(0x05));
    ASSERT_EQ(net.List()->count(), 2);
    EXPECT_EQ(net.List()->item(0)->text(), QStringLiteral("(1.2)127.0.0.1."));
    EXPECT_EQ(net.rig.window->Devices()->Slot(0)->Byte(7), 0x99);
    SaveShot(*net.rig.window, "brindel-network.png");

    net.List()->setCurrentRow(1);
    ASSERT_TRUE(PumpUntil([&] {
        return net.rig.udp.Datagrams().size() == std::size_t(net.rig.window->RequestsSent());
    }));
    const int sent = net.rig.window->RequestsSent();
    auto* button = net.rig.Get<QPushButton>(id::kNetUpdata);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_FALSE(button->isEnabled());
    ASSERT_TRUE(PumpUntil([&] { return net.rig.messages.Messages().size() == 1; }, 10s));
    EXPECT_EQ(net.rig.messages.Messages(), std::vector<std::string>{updater::kNetDownloadDone});
    EXPECT_EQ(net.rig.window->RequestsSent(), sent);  // no request while it ran
    ASSERT_TRUE(net.printer.WaitForClosed(1, 5s));
    EXPECT_EQ(net.printer.Connections()[0].bytes,
              ExpectedFirmwareStream(image, 1000u * 0x5A + 0xAA00));
    EXPECT_EQ(net.rig.Get<QProgressBar>(id::kProgress)->value(), 100);
    EXPECT_EQ(net.List()->count(), 0);
    EXPECT_EQ(net.rig.window->Devices()->Count(), 0u);
    ASSERT_TRUE(PumpUntil([&] { return button->isEnabled(); }));
    // Scanning resumes, and the printer comes back with its next reply.
    ASSERT_TRUE(PumpUntil([&] { return net.rig.window->RequestsSent() > sent; }));
    ASSERT_TRUE(net.Reply(0x05));
}

TEST(UpdaterNetwork, NoSelectionAndClosedPortSendNothing) {
    NetWindowRig net;
    net.rig.usb.Put(updater::kImageFileName, std::vector<uint8_t>(10, 0x01));
    ASSERT_TRUE(net.Start());
    auto* button = net.rig.Get<QPushButton>(id::kNetUpdata);
    QTest::mouseClick(button, Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return net.rig.messages.Messages().size() == 1; }, 10s));
    EXPECT_EQ(net.rig.messages.Messages().back(), updater::kSelectPrinter);
    ASSERT_TRUE(PumpUntil([&] { return button->isEnabled(); }));
    // The connect test on the hidden field: a closed port says so, an open one says nothing.
    auto* address = net.rig.Get<platform::Ipv4Edit>(id::kTestAddress);
    address->SetText(QStringLiteral("127.0.0.1"));
    auto* test = net.rig.Get<QPushButton>(id::kConnectTest);
    test->click();
    ASSERT_TRUE(PumpUntil([&] { return test->isEnabled(); }, 10s));
    EXPECT_EQ(net.rig.messages.Messages().size(), 1u);  // port open: nothing shown
    EXPECT_TRUE(net.printer.WaitForConnections(1, 5s));
    EXPECT_TRUE(net.printer.Connections()[0].bytes.empty());
    address->SetText(QStringLiteral("127.0.0.2"));  // nothing listens there on that port
    test->click();
    ASSERT_TRUE(PumpUntil([&] { return net.rig.messages.Messages().size() == 2; }, 10s));
    EXPECT_EQ(net.rig.messages.Messages().back(), updater::kConnectTestFailed);
}

TEST(UpdaterNetwork, IpSetSendsTheAddressPacketAndClearsTheList) {
    NetWindowRig net;
    ASSERT_TRUE(net.Start());
    net.rig.Get<QPushButton>(id::kIpSet)->click();
    EXPECT_EQ(net.rig.messages.Messages(), std::vector<std::string>{updater::kNoDeviceSelected});
    ASSERT_TRUE(net.Reply(0x55));
    net.List()->setCurrentRow(0);

    // First a bad MAC box (the dialog stays open), then "DHCP" ticked and OK.
    QStringList shown;
    bool closedByOk = false;
    QTimer::singleShot(50, [&] {
        auto* dialog = qobject_cast<platform::QtDialogHost*>(QApplication::activeModalWidget());
        if (dialog == nullptr) return;
        const auto text = [dialog](int controlId) {
            return platform::ControlText(dialog->Control(controlId));
        };
        SaveShot(*dialog, "brindel-address.png");
        for (int box : netcfg::addressid::kMacBoxes) shown << text(box);
        for (int field :
             {netcfg::addressid::kAddress, netcfg::addressid::kMask, netcfg::addressid::kGateway}) {
            shown << qobject_cast<platform::Ipv4Edit*>(dialog->Control(field))->Text();
        }
        auto* last = qobject_cast<QLineEdit*>(dialog->Control(netcfg::addressid::kMacBoxes[5]));
        last->setText(QStringLiteral("zz"));
        auto* ok = qobject_cast<QPushButton*>(dialog->Control(netcfg::addressid::kOk));
        ok->click();
        if (!dialog->isVisible()) return;
        last->setText(QStringLiteral("56"));
        qobject_cast<QCheckBox*>(dialog->Control(netcfg::addressid::kDhcp))->setChecked(true);
        qobject_cast<platform::Ipv4Edit*>(dialog->Control(netcfg::addressid::kAddress))
            ->SetText(QStringLiteral("192.168.1.50"));
        ok->click();
        closedByOk = !dialog->isVisible();
    });
    const std::size_t before = net.rig.udp.Datagrams().size();
    net.rig.Get<QPushButton>(id::kIpSet)->click();  // returns once the dialog closed
    EXPECT_TRUE(closedByOk);
    EXPECT_EQ(shown, (QStringList{"0", "11", "22", "33", "44", "55", "127.0.0.1", "255.255.255.0",
                                  "192.168.0.1"}));
    ASSERT_EQ(net.rig.messages.Messages().size(), 2u);
    EXPECT_NE(net.rig.messages.Messages()[1].find('6'), std::string::npos);  // names box 6
    ASSERT_TRUE(PumpUntil([&] {
        for (const auto& d : net.rig.udp.Datagrams())
            if (d.bytes.size() == 32) return true;
        return false;
    }));
    std::vector<uint8_t> packet;
    for (const auto& d : net.rig.udp.Datagrams())
        if (d.bytes.size() == 32) packet = d.bytes;
    const std::vector<uint8_t> expected{0x5A, 192,  168,  1,    50,   255,  255,  255,
                                        0,    0x00, 0x11, 0x22, 0x33, 0x44, 0x56, 192,
                                        168,  0,    1,    0x00, 0x11, 0x22, 0x33, 0x44,
                                        0x55, 0x01, 0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
    EXPECT_EQ(packet, expected);
    EXPECT_GE(net.rig.udp.Datagrams().size(), before + 1);
    EXPECT_EQ(net.List()->count(), 0);
    EXPECT_EQ(net.rig.window->Devices()->Count(), 0u);
}

}  // namespace
}  // namespace updatertest
