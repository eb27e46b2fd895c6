// The main window's commands end to end: button → command buffer → sender thread → a printer on
// loopback TCP (or a pty for the serial port), byte for byte.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <climits>
#include <string>

#include "commands/one_click.h"
#include "link/usb_printer_link.h"
#include "setuptool/test_text.h"
#include "tests/commands/one_click_expected.h"
#include "tests/fakes/fake_usb.h"
#include "tests/fakes/pty_peer.h"
#include "tests/fakes/tcp_peer.h"
#include "tests/platform/qt_wait.h"
#include "tests/setuptool/window_harness.h"

using namespace std::chrono_literals;
using testsupport::PumpFor;
using testsupport::PumpUntil;
using testsupport::WindowHarness;
namespace id = setuptool::id;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ToBytes(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

struct NetWindow : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(peer.ok());
        ASSERT_TRUE(h.Start());
        h.UseNet();
    }

    Bytes Delivery(std::size_t count) { return testsupport::Delivery(peer, count); }
    std::size_t ClosedCount() const { return testsupport::ClosedCount(peer); }
    void SetText(const QString& text) { h.Get<QPlainTextEdit>(id::kPrintInfo)->setPlainText(text); }
    void PrintTest() { h.Get<QPushButton>(id::kPrintTest)->click(); }

    fakes::TcpPrinterPeer peer;
    WindowHarness h{peer.port()};
};

TEST_F(NetWindow, EachOneClickButtonDeliversExactlyItsBytes) {
    ASSERT_EQ(commands::OneClickCommands().size(), std::size(commandstest::kExpectedOneClick));
    std::size_t delivered = 0;
    for (commandstest::ExpectedOneClick expected : commandstest::kExpectedOneClick) {
        // Right after start the beeper list holds position 0 and the blank-feed list none (FF).
        if (expected.button == 1050) expected.bytes[3] = 0xFF;
        auto* button = h.Get<QPushButton>(expected.button);
        ASSERT_NE(button, nullptr) << expected.button;
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_EQ(Delivery(++delivered), expected.bytes) << expected.button;
    }
    EXPECT_EQ(h.window->SendCount(), 0);  // only test prints count
    EXPECT_TRUE(h.messages.Messages().empty());
}

TEST_F(NetWindow, ListCommandsSendTheChosenPosition) {
    auto* feed = h.Get<QComboBox>(id::kBlankFeedList);
    auto* feedButton = h.Get<QPushButton>(1050);
    feed->setCurrentIndex(2);  // "3行"
    ASSERT_EQ(feed->currentText(), QString::fromUtf8("3行"));
    feedButton->click();
    EXPECT_EQ(Delivery(1), (Bytes{0x1F, 0x1B, 0x6B, 0x02, 0x00, 0x00}));

    // Typed text: an item's text selects it, other text selects nothing.
    feed->lineEdit()->selectAll();
    QTest::keyClicks(feed->lineEdit(), QStringLiteral("5"));
    QKeyEvent line(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString::fromUtf8("行"));
    QApplication::sendEvent(feed->lineEdit(), &line);
    ASSERT_EQ(feed->currentText(), QString::fromUtf8("5行"));
    feedButton->click();
    EXPECT_EQ(Delivery(2), (Bytes{0x1F, 0x1B, 0x6B, 0x04, 0x00, 0x00}));
    QTest::keyClicks(feed->lineEdit(), QStringLiteral("x"));
    feedButton->click();
    EXPECT_EQ(Delivery(3), (Bytes{0x1F, 0x1B, 0x6B, 0xFF, 0x00, 0x00}));

    h.Get<QComboBox>(id::kBeeperList)->setCurrentIndex(5);
    h.Get<QPushButton>(1048)->click();
    EXPECT_EQ(Delivery(4), (Bytes{0x1F, 0x1B, 0x6A, 0x05, 0x00, 0x00}));
}

TEST_F(NetWindow, PrintTestDeliversTheWelcomeTextAndCounts) {
    PrintTest();
    const Bytes page = Delivery(1);
    EXPECT_EQ(page.size(), 123u);
    EXPECT_EQ(page, ToBytes(setuptool::kWelcomeText));
    EXPECT_EQ(h.window->SendCount(), 1);
    EXPECT_EQ(h.window->StatusText(), "send finish count 1 \r\n");
    EXPECT_EQ(h.Get<QLabel>(id::kStatus)->text(),
              QStringLiteral("send finish count 1 "));  // no line end
    PrintTest();
    EXPECT_EQ(Delivery(2), page);
    EXPECT_EQ(h.window->StatusText(), "send finish count 2 \r\n");
}

TEST_F(NetWindow, ChineseTextArrivesAsGbkWithCrLf) {
    SetText(QString::fromUtf8("打印测试\nAB"));
    PrintTest();
    EXPECT_EQ(Delivery(1),
              (Bytes{0xB4, 0xF2, 0xD3, 0xA1, 0xB2, 0xE2, 0xCA, 0xD4, 0x0D, 0x0A, 'A', 'B'}));
}

TEST_F(NetWindow, EmptyTextStillCountsButSendsNothing) {
    SetText(QString());
    PrintTest();
    EXPECT_EQ(h.window->SendCount(), 1);
    EXPECT_EQ(h.window->StatusText(), "send finish count 1 \r\n");
    PumpFor(300ms);
    EXPECT_EQ(peer.ConnectionCount(), 0u);
    SetText(QStringLiteral("x"));
    PrintTest();
    EXPECT_EQ(Delivery(1), (Bytes{'x'}));  // the next real page is the first delivery
    EXPECT_EQ(h.window->StatusText(), "send finish count 2 \r\n");
}

TEST_F(NetWindow, LongTextIsCutAt2047BytesWithoutSplittingACharacter) {
    // 'a' + 1500 x "中": 3001 GBK bytes; 2047 = 'a' + 1023 whole characters.
    SetText(QStringLiteral("a") + QString(1500, QChar(0x4E2D)));
    PrintTest();
    const Bytes cut = Delivery(1);
    ASSERT_EQ(cut.size(), 2047u);
    EXPECT_EQ(cut[0], 'a');
    EXPECT_EQ(cut[2045], 0xD6);
    EXPECT_EQ(cut[2046], 0xD0);

    // 1500 x "中" = 3000 bytes: 2047 would split the 1024th character, so 2046 go.
    SetText(QString(1500, QChar(0x4E2D)));
    PrintTest();
    const Bytes even = Delivery(2);
    ASSERT_EQ(even.size(), 2046u);
    EXPECT_EQ(even[2044], 0xD6);
    EXPECT_EQ(even[2045], 0xD0);

    SetText(QString(3000, QLatin1Char('z')));
    PrintTest();
    EXPECT_EQ(Delivery(3), Bytes(2047, 'z'));

    // The limit falls between CR and LF: the job ends before the CR, never in a lone one.
    SetText(QString(2046, QLatin1Char('a')) + QStringLiteral("\nX"));
    PrintTest();
    EXPECT_EQ(Delivery(4), Bytes(2046, 'a'));
}

TEST_F(NetWindow, AutoSendRepeatsPausesAndResumes) {
    SetText(QStringLiteral("auto page"));
    h.Get<QLineEdit>(id::kInterval)->setText(QStringLiteral("40"));
    auto* autoSend = h.Get<QCheckBox>(id::kAutoSend);
    autoSend->setChecked(true);
    PrintTest();
    EXPECT_TRUE(h.window->AutoSendTimer().isActive());
    EXPECT_EQ(h.window->AutoSendTimer().interval(), 40);
    ASSERT_TRUE(PumpUntil([&] { return ClosedCount() >= 4; }, 10s));

    // Unchecked: the copy under way finishes, then nothing more.
    autoSend->setChecked(false);
    ASSERT_TRUE(PumpUntil([&] { return h.buffer.Idle(); }, 5s));
    PumpFor(100ms);
    const std::size_t paused = peer.ConnectionCount();
    PumpFor(400ms);
    EXPECT_EQ(peer.ConnectionCount(), paused);
    EXPECT_FALSE(h.window->AutoSendTimer().isActive());  // the window sleeps meanwhile

    // Checked again: resumes on the next ticks without pressing "print test".
    autoSend->setChecked(true);
    EXPECT_TRUE(h.window->AutoSendTimer().isActive());
    EXPECT_EQ(h.window->AutoSendTimer().interval(), 40);
    ASSERT_TRUE(PumpUntil([&] { return ClosedCount() >= paused + 3; }, 10s));
    autoSend->setChecked(false);
    ASSERT_TRUE(PumpUntil([&] { return h.buffer.Idle(); }, 5s));
    ASSERT_TRUE(PumpUntil([&] { return ClosedCount() == peer.ConnectionCount(); }, 5s));

    // One whole copy per connection, and every handed-over copy arrived.
    const auto connections = peer.Connections();
    for (const auto& c : connections) EXPECT_EQ(c.bytes, ToBytes("auto page"));
    EXPECT_EQ(static_cast<std::size_t>(h.window->SendCount()), connections.size());
}

TEST(AutoSendInterval, ReadsTheEditLikeTheTimerTakesIt) {
    EXPECT_EQ(setuptool::AutoSendIntervalMs("500"), 500);
    EXPECT_EQ(setuptool::AutoSendIntervalMs(" 20ms"), 20);
    EXPECT_EQ(setuptool::AutoSendIntervalMs("0"), 10);  // the timer's minimum
    EXPECT_EQ(setuptool::AutoSendIntervalMs("abc"), 10);
    EXPECT_EQ(setuptool::AutoSendIntervalMs(""), 10);
    EXPECT_EQ(setuptool::AutoSendIntervalMs("-5"), INT_MAX);
}

TEST(StatusLine, AFailedConnectionShowsInTheStatusLine) {
    WindowHarness unreachable(fakes::UnusedLoopbackPort());
    ASSERT_TRUE(unreachable.Start());
    unreachable.UseNet();
    unreachable.Get<QPushButton>(1004)->click();
    const std::string expected = "网络连接失败,请确定IP地址是否与电脑同一网段,Fail to connect";
    ASSERT_TRUE(PumpUntil([&] { return unreachable.window->StatusText() == expected; }, 10s));
    auto* status = unreachable.Get<QLabel>(id::kStatus);
    EXPECT_EQ(status->text().toStdString(), expected);
    // A screen reader reads what the line says, not just its name.
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(status);
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->text(QAccessible::Name).toStdString(), "Status: " + expected);
}

// A network printer that stops taking data: the page is dropped with a notice in the interface
// language, nothing ends, and a window closed while such a send waits closes at once.
TEST(StatusLine, AStalledNetworkPrinterIsReportedAndNeverHoldsTheWindow) {
    fakes::TcpPrinterPeer peer(fakes::TcpPrinterPeer::Mode::StallAfter, 0);
    ASSERT_TRUE(peer.ok());
    for (const auto stall : {std::chrono::milliseconds(300), std::chrono::milliseconds(60000)}) {
        WindowHarness h(peer.port());
        auto config = h.Config();
        config.endpoints.tcpStall = stall;
        ASSERT_TRUE(h.Start(config));
        h.UseNet();
        // Larger than the stalled printer's buffer takes.
        h.Get<QPlainTextEdit>(id::kPrintInfo)->setPlainText(QString(2000, QLatin1Char('x')));
        const std::size_t before = peer.ConnectionCount();
        h.Get<QPushButton>(id::kPrintTest)->click();
        if (stall.count() < 1000) {
            const std::string expected = "网络打印机停止接收数据(离线或缺纸?),数据已放弃";
            ASSERT_TRUE(PumpUntil([&] { return h.window->StatusText() == expected; }, 10s));
            EXPECT_TRUE(h.messages.Messages().empty());
            EXPECT_EQ(h.exitStatus.load(), -1);
        } else {
            ASSERT_TRUE(PumpUntil([&] { return peer.ConnectionCount() > before; }, 5s));
            const auto started = std::chrono::steady_clock::now();
            h.window.reset();
            EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
        }
    }
}

// No port chosen: the sender keeps asking; closing the window meanwhile must not hang.
TEST_F(NetWindow, NoPortChosenAsksAgainAndTheWindowStillClosesPromptly) {
    for (int radio : {id::kCom, id::kLpt, id::kUsb, id::kNet}) {
        auto* button = h.Get<QRadioButton>(radio);
        button->setAutoExclusive(false);
        button->setChecked(false);
    }
    h.Get<QPushButton>(1004)->click();
    ASSERT_TRUE(PumpUntil([&] { return h.messages.Messages().size() >= 2; }, 10s));
    EXPECT_EQ(h.messages.Messages()[0], "NOT Selet USB OR NET");
    const auto started = std::chrono::steady_clock::now();
    h.window.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
    EXPECT_EQ(peer.ConnectionCount(), 0u);
}

// USB is the port checked at start-up: the test page goes to the first listed printer in
// 64-byte pieces; without a printer the status line says so.
TEST(UsbWindow, TestPageGoesToTheUsbPrinterByDefault) {
    auto usb = std::make_shared<fakes::FakeUsbBackend>();
    const uint16_t product = printerlink::ProductIds(printerlink::UsbProgram::Tessary)[0];
    usb->SetDevices({{fakes::UsbDevice(0x1234, product, "1-2"), true}});
    WindowHarness h;
    auto config = h.Config();
    config.usb = usb;
    ASSERT_TRUE(h.Start(std::move(config)));
    h.Get<QPushButton>(id::kPrintTest)->click();
    ASSERT_TRUE(PumpUntil([&] { return usb->BytesOut().size() >= 123 && h.buffer.Idle(); }, 10s));
    EXPECT_EQ(usb->BytesOut(), ToBytes(setuptool::kWelcomeText));
    const auto pieces = usb->Pieces();
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0].asked, 64u);
    EXPECT_EQ(pieces[1].asked, 59u);
    EXPECT_TRUE(h.window->StatusText().rfind("send finish count 1", 0) == 0);

    // A printer that takes nothing: the status line says why nothing prints, in the interface
    // language, while the command is retried.
    usb->ScriptPieces({{fakes::FakeUsbBackend::Piece::Fail}});
    h.Get<QPushButton>(id::kPrintTest)->click();
    ASSERT_TRUE(PumpUntil([&] { return h.buffer.Idle(); }, 10s));
    EXPECT_EQ(h.window->StatusText(), "USB 打印机没有接收数据(离线或缺纸?),正在重试");

    usb->SetDevices({});
    h.Get<QPushButton>(1004)->click();
    ASSERT_TRUE(PumpUntil([&] { return h.window->StatusText() == "USB OPEN FAIL"; }, 10s));
    EXPECT_EQ(h.Get<QLabel>(id::kStatus)->text(), QStringLiteral("USB OPEN FAIL"));
}

// The serial port list is filled through the UI thread and read back for COM commands.
TEST(SerialWindow, ProbedPortIsListedAndUsedForCom) {
    fakes::PtyPeer pty;
    ASSERT_TRUE(pty.ok());
    const std::string& name = pty.slaveName();  // e.g. /dev/pts/7
    const auto slash = name.find_last_of('/');
    const std::string directory = name.substr(0, slash + 1);
    const int number = std::stoi(name.substr(slash + 1));

    WindowHarness h;
    auto config = h.Config();
    config.serialProbe = printerlink::SerialProbeConfig{{directory + "%d"}, number, number};
    ASSERT_TRUE(h.Start(std::move(config)));
    auto* ports = h.Get<QComboBox>(id::kSerialPort);
    ASSERT_TRUE(PumpUntil([&] { return ports->count() == 1; }, 10s));
    EXPECT_EQ(ports->itemText(0).toStdString(), name);
    EXPECT_EQ(ports->currentIndex(), -1);  // listed, not selected
    EXPECT_TRUE(ports->currentText().isEmpty());

    ports->setCurrentIndex(0);
    h.Get<QRadioButton>(id::kCom)->setChecked(true);
    h.Get<QPlainTextEdit>(id::kPrintInfo)->setPlainText(QStringLiteral("serial page"));
    h.Get<QPushButton>(id::kPrintTest)->click();
    std::vector<uint8_t> got;
    ASSERT_TRUE(PumpUntil(
        [&] {
            const auto more = pty.DrainMaster(5ms);
            got.insert(got.end(), more.begin(), more.end());
            return got.size() >= 11;
        },
        10s));
    EXPECT_EQ(got, ToBytes("serial page"));
    EXPECT_EQ(fakes::ReadLineSettings(pty.slaveFd()).outputBaud, 9600u);
}

}  // namespace
