// Tessary's main window's logic on a window without a toolkit, end to end through the sender
// thread: start-up state, captions and the language file, every button's bytes to a printer on
// loopback TCP (or a pty for the serial port), the test page and auto-send, the status line, the
// network buttons, the sub-dialogs it opens, and its single-copy rule.

#include "setuptool/main_window.h"

#include <gtest/gtest.h>

#include <climits>
#include <fstream>
#include <sstream>
#include <string>

#include "commands/factory_frames.h"
#include "commands/one_click.h"
#include "netcfg/address_set.h"
#include "netcfg/device_list_dialog.h"
#include "netcfg/udp_socket.h"
#include "netcfg/wifi_frames.h"
#include "setuptool/about_box.h"
#include "setuptool/captions.h"
#include "setuptool/random_mac.h"
#include "setuptool/test_text.h"
#include "tests/commands/one_click_expected.h"
#include "tests/fakes/fake_usb.h"
#ifndef _WIN32
#include "tests/fakes/pty_peer.h"
#endif
#include "tests/fakes/tcp_peer.h"
#include "tests/fakes/udp_peer.h"
#include "tests/setuptool/window_rig.h"

namespace {

using namespace std::chrono_literals;
using testsupport::WindowRig;
namespace id = setuptool::id;
namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

Bytes ToBytes(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

void WriteFile(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

// Every caption of the table in one language.
void ExpectLanguage(const WindowRig& rig, bool english) {
    EXPECT_EQ(rig.window->LanguageFlag() != 0, english);
    for (const auto& entry : setuptool::MainWindowCaptions())
        EXPECT_EQ(rig.host.Text(entry.id), english ? entry.english : entry.chinese) << entry.id;
    EXPECT_EQ(rig.host.Text(id::kLanguage), english ? "中文" : "English");
    // Fixed in both languages.
    for (const auto& [control, text] : std::vector<std::pair<int, const char*>>{
             {1101, "COM"}, {1001, "USB"}, {1043, "MAC"}, {1078, "Check2"}})
        EXPECT_EQ(rig.host.Text(control), text) << control;
}

// ---- Start-up ----------------------------------------------------------------------------

TEST(MainWindowStart, InitialState) {
    WindowRig rig;
    ASSERT_TRUE(rig.Start());
    const fakes::FakeDialogHost& h = rig.host;
    EXPECT_STREQ(h.Layout().title, "打印机测试工具V2.1");
    EXPECT_STREQ(h.Layout().icon, "tessary");
    EXPECT_EQ(h.Layout().enterAppendsLineTo, id::kPrintInfo);
    EXPECT_EQ(h.AboutItem(), "关于 Tessary(&A)...");
    EXPECT_TRUE(h.Checked(id::kUsb));
    for (int radio : {id::kLpt, id::kNet, id::kCom}) EXPECT_FALSE(h.Checked(radio)) << radio;
    EXPECT_EQ(h.Items(id::kBaudRate).size(), 9u);
    EXPECT_EQ(h.Position(id::kBaudRate), 3);
    EXPECT_EQ(h.Text(id::kBaudRate), "9600");
    EXPECT_EQ(h.Items(id::kBaudRate)[8], "128000");
    EXPECT_EQ(h.Position(id::kBeeperList), 0);
    EXPECT_EQ(h.Items(id::kBeeperList).size(), 6u);
    EXPECT_EQ(h.Position(id::kBlankFeedList), -1);
    EXPECT_EQ(h.Items(id::kBlankFeedList)[2], "3行");
    EXPECT_EQ(h.Position(id::kSerialPort), -1);
    EXPECT_EQ(h.Text(id::kInterval), "500");
    EXPECT_FALSE(h.Checked(id::kAutoSend));
    EXPECT_EQ(h.Text(1009), "192.168.0.199");
    EXPECT_EQ(h.Text(1010), "255.255.255.0");
    EXPECT_EQ(h.Text(1011), "192.168.0.1");
    EXPECT_EQ(h.Text(1038), "192.168.1.199");
    // The welcome text, its two CR LF held as LF.
    EXPECT_EQ(h.Text(id::kPrintInfo),
              "Welcome to use the needle printing and thermal series printers produced \nby "
              "professional POS invoice printing companies!\n");
    EXPECT_EQ(h.Text(id::kStatus), "");
    EXPECT_GT(rig.window->ReplySocket(), 0);
    EXPECT_GT(rig.window->BroadcastSocket(), 0);
    EXPECT_NE(rig.window->ReplyPort(), 0);

    // The MAC boxes show the proposal for the clock's second, "%x" each.
    const auto mac = setuptool::RandomMac(rig.clock.SecondsSinceEpoch());
    EXPECT_EQ(rig.window->MacProposal(), mac);
    for (std::size_t i = 0; i < 6; ++i)
        EXPECT_EQ(h.Text(setuptool::kMacBoxIds[i]), netcfg::FormatMacByte(mac[i]));
    ExpectLanguage(rig, false);
    EXPECT_TRUE(rig.messages.Messages().empty());
    EXPECT_TRUE(h.UnknownIds().empty());
}

// Holds a UDP port on all addresses, as a running copy holds 8999.
TEST(MainWindowStart, TakenReplyPortStopsTheStartUpSilently) {
    const netcfg::UdpSocket held = netcfg::UdpSocket::BindAny(0);
    ASSERT_TRUE(held.IsValid());
    WindowRig rig;
    auto config = rig.Config();
    config.replyPort = held.LocalPort();
    rig.window = std::make_unique<setuptool::MainWindow>(std::move(config));
    rig.host.Attach(*rig.window);
    EXPECT_EQ(rig.window->Initialise(), setuptool::StartResult::ReplyPortTaken);
    EXPECT_TRUE(rig.messages.Messages().empty());
    EXPECT_FALSE(fs::exists(rig.workDir / "init_params.txt"));  // start-up ended before the file
}

TEST(MainWindowStart, ClosingLetsGoOfTheReplySocketAndTheListener) {
    fakes::UdpPeer segment;
    WindowRig rig;
    auto config = rig.Config();
    config.broadcastAddress = "127.0.0.1";
    config.discoveryPort = segment.port();
    ASSERT_TRUE(rig.Start(config));
    rig.host.Click(1014);  // the device list starts the listener on the reply socket
    ASSERT_TRUE(rig.host.CloseBox());
    EXPECT_LT(rig.window->ReplySocket(), 0);
    EXPECT_FALSE(rig.host.TimerRunning(setuptool::MainWindow::kAutoSendTimer));
}

// ---- Language button and init_params.txt -------------------------------------------------

// The window writes init_params.txt in text mode: the platform's line end.
#ifdef _WIN32
constexpr const char* kLineEnd = "\r\n";
constexpr const char* kZeroLine = "0\r\n";
#else
constexpr const char* kLineEnd = "\n";
constexpr const char* kZeroLine = "0\n";
#endif

struct LanguageCase {
    const char* name;
    const char* file;  // null: no file
    bool english;
    const char* fileAfterStart;  // null: no file expected
};

// Keeps the listed test names stable (gtest would print the case's raw bytes).
[[maybe_unused]] void PrintTo(const LanguageCase& c, std::ostream* out) {
    *out << c.name;
}

class LanguageStart : public ::testing::TestWithParam<LanguageCase> {};

TEST_P(LanguageStart, FileGivesTheLanguageAndTheButtonToggles) {
    const LanguageCase& c = GetParam();
    WindowRig rig;
    const fs::path file = rig.workDir / "init_params.txt";
    if (c.file) WriteFile(file, c.file);
    ASSERT_TRUE(rig.Start());
    ExpectLanguage(rig, c.english);
    EXPECT_EQ(ReadFile(file), c.fileAfterStart);

    rig.host.Click(id::kLanguage);
    ExpectLanguage(rig, !c.english);
    EXPECT_EQ(ReadFile(file), std::string(c.english ? "0" : "1") + kLineEnd);
    rig.host.Click(id::kLanguage);
    ExpectLanguage(rig, c.english);
    EXPECT_EQ(ReadFile(file), std::string(c.english ? "1" : "0") + kLineEnd);
}

INSTANTIATE_TEST_SUITE_P(InitParams, LanguageStart,
                         ::testing::Values(LanguageCase{"NoFile", nullptr, false, kZeroLine},
                                           LanguageCase{"One", "1\n", true, "1\n"},
                                           LanguageCase{"OneCrLf", "1\r\n", true, "1\r\n"},
                                           LanguageCase{"Seven", "7\n", true, "7\n"},
                                           LanguageCase{"BlankOneText", " 1abc", true, " 1abc"},
                                           LanguageCase{"Letters", "abc", false, "abc"},
                                           LanguageCase{"Zero", "0\n", false, "0\n"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Language, ReadOnlyDirectoryStillSwitchesWithoutError) {
    WindowRig rig;
    const fs::path dir = rig.workDir / "locked";
    fs::create_directory(dir);
    WriteFile(dir / "init_params.txt", "1\n");
    fs::permissions(dir / "init_params.txt", fs::perms::owner_read | fs::perms::group_read);
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
    {
        std::ofstream probe(dir / "init_params.txt");
        if (probe.is_open()) {  // root writes anyway
            fs::permissions(dir, fs::perms::owner_all);
            GTEST_SKIP() << "the directory stays writable for this user";
        }
    }
    auto config = rig.Config();
    config.workDir = dir;
    ASSERT_TRUE(rig.Start(std::move(config)));
    ExpectLanguage(rig, true);
    rig.host.Click(id::kLanguage);
    ExpectLanguage(rig, false);
    EXPECT_EQ(ReadFile(dir / "init_params.txt"), "1\n");
    EXPECT_TRUE(rig.messages.Messages().empty());
    fs::permissions(dir, fs::perms::owner_all);
}

// A file that cannot be written even by root: the name is taken by a directory.
TEST(Language, UnwritableFileIsLeftAndTheLanguageStillSwitches) {
    WindowRig rig;
    fs::create_directory(rig.workDir / "init_params.txt");
    ASSERT_TRUE(rig.Start());
    ExpectLanguage(rig, false);  // nothing readable: the start value 0
    rig.host.Click(id::kLanguage);
    ExpectLanguage(rig, true);
    rig.host.Click(id::kLanguage);
    ExpectLanguage(rig, false);
    EXPECT_TRUE(fs::is_directory(rig.workDir / "init_params.txt"));
    EXPECT_TRUE(rig.messages.Messages().empty());
}

TEST(Language, MissingFileInAReadOnlyDirectoryMeansChinese) {
    WindowRig rig;
    const fs::path dir = rig.workDir / "empty-locked";
    fs::create_directory(dir);
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
    if (std::ofstream(dir / "probe").is_open()) {
        fs::remove(dir / "probe");
        fs::permissions(dir, fs::perms::owner_all);
        GTEST_SKIP() << "the directory stays writable for this user";
    }
    auto config = rig.Config();
    config.workDir = dir;
    ASSERT_TRUE(rig.Start(std::move(config)));
    ExpectLanguage(rig, false);
    EXPECT_FALSE(fs::exists(dir / "init_params.txt"));
    fs::permissions(dir, fs::perms::owner_all);
}

// ---- Commands over TCP -------------------------------------------------------------------

struct NetWindow : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(peer.ok());
        ASSERT_TRUE(rig.Start());
        rig.UseNet();
    }

    Bytes Delivery(std::size_t count) { return rig.Delivery(peer, count); }
    void SetText(const std::string& text) { ASSERT_TRUE(rig.host.Type(id::kPrintInfo, text)); }
    void PrintTest() { rig.host.Click(id::kPrintTest); }

    fakes::TcpPrinterPeer peer;
    WindowRig rig{peer.port()};
};

TEST_F(NetWindow, EachOneClickButtonDeliversExactlyItsBytes) {
    ASSERT_EQ(commands::OneClickCommands().size(), std::size(commandstest::kExpectedOneClick));
    std::size_t delivered = 0;
    for (commandstest::ExpectedOneClick expected : commandstest::kExpectedOneClick) {
        // Right after start the beeper list holds position 0 and the blank-feed list none (FF).
        if (expected.button == 1050) expected.bytes[3] = 0xFF;
        ASSERT_TRUE(rig.host.Click(expected.button)) << expected.button;
        EXPECT_EQ(Delivery(++delivered), expected.bytes) << expected.button;
    }
    EXPECT_EQ(rig.window->SendCount(), 0);  // only test prints count
    EXPECT_TRUE(rig.messages.Messages().empty());
}

TEST_F(NetWindow, ListCommandsSendTheChosenPosition) {
    ASSERT_TRUE(rig.host.Choose(id::kBlankFeedList, 2));
    ASSERT_EQ(rig.host.Text(id::kBlankFeedList), "3行");
    rig.host.Click(1050);
    EXPECT_EQ(Delivery(1), (Bytes{0x1F, 0x1B, 0x6B, 0x02, 0x00, 0x00}));
    // Typed text: an item's text selects it, other text selects nothing.
    ASSERT_TRUE(rig.host.Type(id::kBlankFeedList, "5行"));
    rig.host.Click(1050);
    EXPECT_EQ(Delivery(2), (Bytes{0x1F, 0x1B, 0x6B, 0x04, 0x00, 0x00}));
    ASSERT_TRUE(rig.host.Type(id::kBlankFeedList, "5行x"));
    rig.host.Click(1050);
    EXPECT_EQ(Delivery(3), (Bytes{0x1F, 0x1B, 0x6B, 0xFF, 0x00, 0x00}));
    ASSERT_TRUE(rig.host.Choose(id::kBeeperList, 5));
    rig.host.Click(1048);
    EXPECT_EQ(Delivery(4), (Bytes{0x1F, 0x1B, 0x6A, 0x05, 0x00, 0x00}));
}

TEST_F(NetWindow, PrintTestDeliversTheWelcomeTextAndCounts) {
    PrintTest();
    const Bytes page = Delivery(1);
    EXPECT_EQ(page.size(), 123u);
    EXPECT_EQ(page, ToBytes(setuptool::kWelcomeText));
    EXPECT_EQ(rig.window->SendCount(), 1);
    EXPECT_EQ(rig.window->StatusText(), "send finish count 1 \r\n");
    EXPECT_EQ(rig.host.Text(id::kStatus), "send finish count 1 ");  // no line end
    PrintTest();
    EXPECT_EQ(Delivery(2), page);
    EXPECT_EQ(rig.window->StatusText(), "send finish count 2 \r\n");
}

TEST_F(NetWindow, ChineseTextArrivesAsGbkWithCrLf) {
    SetText("打印测试\nAB");
    PrintTest();
    EXPECT_EQ(Delivery(1),
              (Bytes{0xB4, 0xF2, 0xD3, 0xA1, 0xB2, 0xE2, 0xCA, 0xD4, 0x0D, 0x0A, 'A', 'B'}));
}

TEST_F(NetWindow, EmptyTextStillCountsButSendsNothing) {
    SetText("");
    PrintTest();
    EXPECT_EQ(rig.window->SendCount(), 1);
    EXPECT_EQ(rig.window->StatusText(), "send finish count 1 \r\n");
    rig.host.Thread().PumpFor(300ms);
    EXPECT_EQ(peer.ConnectionCount(), 0u);
    SetText("x");
    PrintTest();
    EXPECT_EQ(Delivery(1), (Bytes{'x'}));  // the next real page is the first delivery
    EXPECT_EQ(rig.window->StatusText(), "send finish count 2 \r\n");
}

TEST_F(NetWindow, LongTextIsCutAt2047BytesWithoutSplittingACharacter) {
    std::string chinese;
    for (int i = 0; i < 1500; ++i) chinese += "中";
    // 'a' + 1500 x "中": 3001 GBK bytes; 2047 = 'a' + 1023 whole characters.
    SetText("a" + chinese);
    PrintTest();
    const Bytes cut = Delivery(1);
    ASSERT_EQ(cut.size(), 2047u);
    EXPECT_EQ(cut[0], 'a');
    EXPECT_EQ(cut[2045], 0xD6);
    EXPECT_EQ(cut[2046], 0xD0);
    // 1500 x "中" = 3000 bytes: 2047 would split the 1024th character, so 2046 go.
    SetText(chinese);
    PrintTest();
    EXPECT_EQ(Delivery(2).size(), 2046u);
    SetText(std::string(3000, 'z'));
    PrintTest();
    EXPECT_EQ(Delivery(3), Bytes(2047, 'z'));
    // The limit falls between CR and LF: the job ends before the CR, never in a lone one.
    SetText(std::string(2046, 'a') + "\nX");
    PrintTest();
    EXPECT_EQ(Delivery(4), Bytes(2046, 'a'));
}

// Timer 1 of the window, ticked by the test: one whole copy per tick while the box is checked
// and the printer idle; unchecking pauses, checking resumes without "print test".
TEST_F(NetWindow, AutoSendRepeatsPausesAndResumes) {
    constexpr int kTimer = setuptool::MainWindow::kAutoSendTimer;
    SetText("auto page");
    ASSERT_TRUE(rig.host.Type(id::kInterval, "40"));
    ASSERT_TRUE(rig.host.Click(id::kAutoSend));
    EXPECT_FALSE(rig.host.TimerRunning(kTimer));  // nothing to repeat yet
    PrintTest();
    ASSERT_TRUE(rig.host.TimerRunning(kTimer));
    EXPECT_EQ(rig.host.TimerPeriod(kTimer), 40ms);
    EXPECT_EQ(Delivery(1), ToBytes("auto page"));
    for (std::size_t copy = 2; copy <= 3; ++copy) {
        ASSERT_TRUE(rig.Pump([&] { return rig.buffer.Idle(); }));
        rig.host.Tick(kTimer);
        EXPECT_EQ(Delivery(copy), ToBytes("auto page"));
    }
    // A tick while a copy is still pending is skipped (the sender waits for the window's
    // thread to read the port controls, so the first copy is still pending at the second tick).
    ASSERT_TRUE(rig.Pump([&] { return rig.buffer.Idle(); }));
    rig.host.Tick(kTimer);
    rig.host.Tick(kTimer);
    EXPECT_EQ(Delivery(4), ToBytes("auto page"));
    ASSERT_TRUE(rig.Pump([&] { return rig.buffer.Idle(); }));
    rig.host.Thread().PumpFor(50ms);
    EXPECT_EQ(fakes::DeliveredCommands(peer).size(), 4u);
    EXPECT_EQ(rig.window->SendCount(), 4);

    // Unchecked: the window sleeps.
    ASSERT_TRUE(rig.host.Click(id::kAutoSend));
    EXPECT_FALSE(rig.host.TimerRunning(kTimer));
    // Checked again: the timer resumes with its interval.
    ASSERT_TRUE(rig.host.Click(id::kAutoSend));
    ASSERT_TRUE(rig.host.TimerRunning(kTimer));
    EXPECT_EQ(rig.host.TimerPeriod(kTimer), 40ms);
    rig.host.Tick(kTimer);
    EXPECT_EQ(Delivery(5), ToBytes("auto page"));
    EXPECT_EQ(rig.window->StatusText(), "send finish count 5 \r\n");

    // A tick that finds the box unchecked sends nothing; an interval below 10 ms is raised.
    ASSERT_TRUE(rig.host.Type(id::kInterval, "abc"));
    PrintTest();
    EXPECT_EQ(rig.host.TimerPeriod(kTimer), 10ms);
    EXPECT_EQ(Delivery(6), ToBytes("auto page"));
}

TEST(AutoSendInterval, ReadsTheEditLikeTheTimerTakesIt) {
    EXPECT_EQ(setuptool::AutoSendIntervalMs("500"), 500);
    EXPECT_EQ(setuptool::AutoSendIntervalMs(" 20ms"), 20);
    EXPECT_EQ(setuptool::AutoSendIntervalMs("0"), 10);  // the timer's minimum
    EXPECT_EQ(setuptool::AutoSendIntervalMs("abc"), 10);
    EXPECT_EQ(setuptool::AutoSendIntervalMs(""), 10);
    EXPECT_EQ(setuptool::AutoSendIntervalMs("-5"), INT_MAX);
}

// ---- The status line and the ports --------------------------------------------------------

TEST(StatusLine, AFailedConnectionShowsInTheStatusLine) {
    WindowRig rig(fakes::UnusedLoopbackPort());
    ASSERT_TRUE(rig.Start());
    rig.UseNet();
    rig.host.Click(1004);
    const std::string expected = "网络连接失败,请确定IP地址是否与电脑同一网段,Fail to connect";
    ASSERT_TRUE(rig.Pump([&] { return rig.window->StatusText() == expected; }));
    EXPECT_EQ(rig.host.Text(id::kStatus), expected);
}

TEST(StatusLine, InnerLineEndsShowAsBlanksAndTheTrailingOneIsLeftOut) {
    WindowRig rig;
    ASSERT_TRUE(rig.Start());
    rig.window->SetStatusText("a\r\nb\nc\rd\r\n\n");
    EXPECT_EQ(rig.window->StatusText(), "a\r\nb\nc\rd\r\n\n");
    EXPECT_EQ(rig.host.Text(id::kStatus), "a b c d");
}

// A network printer that stops taking data: the page is dropped with a notice in the interface
// language, nothing ends, and a window closed while such a send waits closes at once.
TEST(StatusLine, AStalledNetworkPrinterIsReportedAndNeverHoldsTheWindow) {
    fakes::TcpPrinterPeer peer(fakes::TcpPrinterPeer::Mode::StallAfter, 0);
    ASSERT_TRUE(peer.ok());
    for (const auto stall : {std::chrono::milliseconds(300), std::chrono::milliseconds(60000)}) {
        WindowRig rig(peer.port());
        auto config = rig.Config();
        config.endpoints.tcpStall = stall;
        ASSERT_TRUE(rig.Start(config));
        rig.UseNet();
        // Larger than the stalled printer's buffer takes.
        ASSERT_TRUE(rig.host.Type(id::kPrintInfo, std::string(2000, 'x')));
        const std::size_t before = peer.ConnectionCount();
        rig.host.Click(id::kPrintTest);
        if (stall.count() < 1000) {
            const std::string expected = "网络打印机停止接收数据(离线或缺纸?),数据已放弃";
            ASSERT_TRUE(rig.Pump([&] { return rig.window->StatusText() == expected; }));
            EXPECT_TRUE(rig.messages.Messages().empty());
            EXPECT_EQ(rig.exitStatus.load(), -1);
        } else {
            ASSERT_TRUE(rig.Pump([&] { return peer.ConnectionCount() > before; }, 5s));
            const auto started = std::chrono::steady_clock::now();
            rig.window.reset();
            EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
        }
    }
}

// No port chosen: the sender keeps asking; closing the window meanwhile must not hang.
TEST_F(NetWindow, NoPortChosenAsksAgainAndTheWindowStillClosesPromptly) {
    for (int radio : {id::kCom, id::kLpt, id::kUsb, id::kNet}) rig.host.SetChecked(radio, false);
    rig.host.Click(1004);
    ASSERT_TRUE(rig.Pump([&] { return rig.messages.Messages().size() >= 2; }));
    EXPECT_EQ(rig.messages.Messages()[0], "NOT Selet USB OR NET");
    const auto started = std::chrono::steady_clock::now();
    rig.window.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
    EXPECT_EQ(peer.ConnectionCount(), 0u);
}

// USB is the port checked at start-up: the test page goes to the first listed printer in
// 64-byte pieces; without a printer the status line says so.
TEST(UsbWindow, TestPageGoesToTheUsbPrinterByDefault) {
    auto usb = std::make_shared<fakes::FakeUsbBackend>();
    const uint16_t product = printerlink::ProductIds(printerlink::UsbProgram::Tessary)[0];
    usb->SetDevices({{fakes::UsbDevice(0x1234, product, "1-2"), true}});
    WindowRig rig;
    auto config = rig.Config();
    config.usb = usb;
    ASSERT_TRUE(rig.Start(std::move(config)));
    rig.host.Click(id::kPrintTest);
    ASSERT_TRUE(rig.Pump([&] { return usb->BytesOut().size() >= 123 && rig.buffer.Idle(); }));
    EXPECT_EQ(usb->BytesOut(), ToBytes(setuptool::kWelcomeText));
    const auto pieces = usb->Pieces();
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0].asked, 64u);
    EXPECT_EQ(pieces[1].asked, 59u);
    EXPECT_TRUE(rig.window->StatusText().rfind("send finish count 1", 0) == 0);

    // A printer that takes nothing: the status line says why nothing prints, in the interface
    // language, while the command is retried.
    usb->ScriptPieces({{fakes::FakeUsbBackend::Piece::Fail}});
    rig.host.Click(id::kPrintTest);
    ASSERT_TRUE(rig.Pump([&] { return rig.buffer.Idle(); }));
    EXPECT_EQ(rig.window->StatusText(), "USB 打印机没有接收数据(离线或缺纸?),正在重试");

    usb->SetDevices({});
    rig.host.Click(1004);
    ASSERT_TRUE(rig.Pump([&] { return rig.window->StatusText() == "USB OPEN FAIL"; }));
    EXPECT_EQ(rig.host.Text(id::kStatus), "USB OPEN FAIL");
}

#ifndef _WIN32  // pseudo-terminals
// The serial port list is filled through the window's thread and read back for COM commands.
TEST(SerialWindow, ProbedPortIsListedAndUsedForCom) {
    fakes::PtyPeer pty;
    ASSERT_TRUE(pty.ok());
    const std::string& name = pty.slaveName();  // e.g. /dev/pts/7
    const auto slash = name.find_last_of('/');
    const std::string directory = name.substr(0, slash + 1);
    const int number = std::stoi(name.substr(slash + 1));

    WindowRig rig;
    auto config = rig.Config();
    config.serialProbe = printerlink::SerialProbeConfig{{directory + "%d"}, number, number};
    ASSERT_TRUE(rig.Start(std::move(config)));
    ASSERT_TRUE(rig.Pump([&] { return rig.host.Items(id::kSerialPort).size() == 1; }));
    EXPECT_EQ(rig.host.Items(id::kSerialPort)[0], name);
    EXPECT_EQ(rig.host.Position(id::kSerialPort), -1);  // listed, not selected
    EXPECT_EQ(rig.host.Text(id::kSerialPort), "");

    ASSERT_TRUE(rig.host.Choose(id::kSerialPort, 0));
    ASSERT_TRUE(rig.host.Click(id::kCom));
    ASSERT_TRUE(rig.host.Type(id::kPrintInfo, "serial page"));
    rig.host.Click(id::kPrintTest);
    // The page, then the printer's status asked: DLE EOT 1 goes unanswered on this line, so
    // nothing more is asked and the status line stays.
    std::vector<uint8_t> got;
    ASSERT_TRUE(rig.Pump([&] {
        const auto more = pty.DrainMaster(5ms);
        got.insert(got.end(), more.begin(), more.end());
        return got.size() >= 14;
    }));
    rig.host.Thread().PumpFor(50ms);
    const auto more = pty.DrainMaster(5ms);
    got.insert(got.end(), more.begin(), more.end());
    EXPECT_EQ(got, ToBytes(std::string("serial page") + "\x10\x04\x01"));
    EXPECT_EQ(rig.host.Text(id::kStatus), "send finish count 1 ");
    EXPECT_EQ(fakes::ReadLineSettings(pty.slaveFd()).outputBaud, 9600u);
}
#endif

// ---- Network buttons ---------------------------------------------------------------------

TEST_F(NetWindow, AddressDhcpAndMacFramesReachThePrinter) {
    rig.host.Click(1012);  // Set IP from New IP, mask and gateway; 1009 is only where TCP goes
    EXPECT_EQ(Delivery(1),
              netcfg::IpSettingFrame({192, 168, 1, 199}, {255, 255, 255, 0}, {192, 168, 0, 1}));
    rig.host.Click(1015);
    EXPECT_EQ(Delivery(2), (Bytes{0x1F, 0x1B, 0x65, 0x01}));
    rig.host.Click(1016);
    EXPECT_EQ(Delivery(3), (Bytes{0x1F, 0x1B, 0x65, 0x00}));

    const char* boxes[] = {"2", "A5", "0a5", "c", "d4", "F"};
    for (std::size_t i = 0; i < 6; ++i)
        ASSERT_TRUE(rig.host.Type(setuptool::kMacBoxIds[i], boxes[i]));
    rig.clock.Set(rig.clock.SecondsSinceEpoch() + 1);
    rig.host.Click(1043);
    EXPECT_EQ(Delivery(4), (Bytes{0x1F, 0x1B, 0x67, 0x02, 0xA5, 0x0A, 0x0C, 0xD4, 0x0F, 0x00}));
    // The next proposal, for the clock's second, is in the boxes.
    const auto next = setuptool::RandomMac(rig.clock.SecondsSinceEpoch());
    EXPECT_EQ(rig.window->MacProposal(), next);
    for (std::size_t i = 0; i < 6; ++i)
        EXPECT_EQ(rig.host.Text(setuptool::kMacBoxIds[i]), netcfg::FormatMacByte(next[i]));

    // A bad box sends nothing, says which box, and keeps the proposal.
    ASSERT_TRUE(rig.host.Type(setuptool::kMacBoxIds[4], ""));
    rig.host.Click(1043);
    EXPECT_EQ(rig.messages.Messages(), (std::vector<std::string>{netcfg::MacBoxErrorText(5, 0)}));
    EXPECT_EQ(rig.window->MacProposal(), next);
    rig.host.Click(1015);  // the next delivery is this one, not a MAC frame
    EXPECT_EQ(Delivery(5), (Bytes{0x1F, 0x1B, 0x65, 0x01}));
}

TEST_F(NetWindow, ConnectTestReportsOkAndFailureOneAttemptAtATime) {
    rig.host.Click(1018);
    EXPECT_FALSE(rig.host.Enabled(1018));  // one attempt at a time
    ASSERT_TRUE(rig.Pump([&] { return rig.host.Enabled(1018); }));
    EXPECT_EQ(rig.messages.Messages(), std::vector<std::string>{netcfg::kConnectOk});
    EXPECT_TRUE(peer.WaitForClosed(1, 5s));
    EXPECT_TRUE(peer.Connections()[0].bytes.empty());

    rig.host.SetOctets(1009, {127, 0, 0, 2});  // nothing listens
    rig.host.Click(1018);
    EXPECT_FALSE(rig.host.Click(1018));
    ASSERT_TRUE(rig.Pump([&] { return rig.host.Enabled(1018); }));
    ASSERT_EQ(rig.messages.Messages().size(), 2u);
    EXPECT_EQ(rig.messages.Messages()[1], netcfg::kConnectFail);
}

// "Scan Printer" opens the device list on the window's own sockets: its requests go to the
// broadcast address, the answers to the reply port reach its list.
TEST(ScanPrinter, OpensTheDeviceListOnTheWindowsSockets) {
    fakes::UdpPeer segment;
    WindowRig rig;
    auto config = rig.Config();
    config.broadcastAddress = "127.0.0.1";
    config.discoveryPort = segment.port();
    ASSERT_TRUE(rig.Start(config));
    std::vector<std::string> lines;
    rig.host.OnModal([&](fakes::FakeDialogHost& list) {
        EXPECT_TRUE(list.TimerRunning(netcfg::listid::kScanTimer));
        list.Tick(netcfg::listid::kScanTimer);
        ASSERT_TRUE(rig.Pump([&] { return segment.Datagrams().size() == 1; }));
        EXPECT_EQ(segment.Datagrams()[0].bytes.size(), 30u);
        segment.SendTo(rig.window->ReplyPort(),
                       Bytes{1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 10, 0, 0, 9});
        ASSERT_TRUE(rig.Pump([&] { return !list.Items(netcfg::listid::kList).empty(); }));
        lines = list.Items(netcfg::listid::kList);
    });
    rig.host.Click(1014);  // returns once the list has closed
    EXPECT_EQ(rig.host.ModalTitles(), std::vector<std::string>{"Dialog"});
    EXPECT_EQ(lines, std::vector<std::string>{"(1.0)10.0.0.9."});
    ASSERT_TRUE(rig.host.CloseBox());  // the listener lets go of the reply socket: no hang
    EXPECT_LT(rig.window->ReplySocket(), 0);
}

// ---- Sub-dialogs -------------------------------------------------------------------------

// Each dialog button opens its dialog anew, in the language of the moment, on the window's
// command buffer (the frames reach the printer) and clock.
TEST_F(NetWindow, DialogsOpenInTheLanguageOfTheMomentAndSendThroughTheWindow) {
    rig.host.Click(id::kLanguage);  // English now
    rig.host.OnModal([&](fakes::FakeDialogHost& settings) {
        EXPECT_EQ(settings.Text(1043), "Confirm");
        EXPECT_EQ(settings.Text(1104), "Off");
        settings.Click(1079);  // the baud rate at 9600
    });
    rig.host.Click(1006);
    EXPECT_EQ(Delivery(1), (Bytes{0x1F, 0x1B, 0x7F, 0xA4, 0x03, 0x00}));

    rig.host.OnModal([&](fakes::FakeDialogHost& voice) {
        EXPECT_EQ(voice.Text(1003), "Vol+");
        voice.Click(1003);
    });
    rig.host.Click(1091);
    EXPECT_EQ(Delivery(2), (Bytes{0x1F, 0x1B, 0x79, 0x97, 0x00, 0x00, 0x00}));

    rig.clock.Set(1798200000);  // 2026-12-25 12:00 UTC
    rig.host.OnModal([&](fakes::FakeDialogHost& factory) { factory.Click(1); });
    rig.host.Click(1090);
    EXPECT_EQ(Delivery(3), commands::FactoryFrame(commands::FactorySet::Quiet, {2026, 12, 25}));

    rig.host.OnModal([&](fakes::FakeDialogHost& wifi) {
        EXPECT_EQ(wifi.Octets(1009), netcfg::WifiStartAddress());
        EXPECT_EQ(wifi.Text(2), "Quit");
        wifi.Click(1003);
    });
    rig.host.Click(1044);
    EXPECT_EQ(Delivery(4).size(), 40u);
    EXPECT_EQ(rig.messages.Messages(), std::vector<std::string>{"set ok"});

    rig.host.Click(id::kLanguage);  // Chinese again: the next opening follows
    rig.host.OnModal([&](fakes::FakeDialogHost& settings) {
        EXPECT_EQ(settings.Text(1043), "确认");
        EXPECT_EQ(settings.Text(1104), "关");
    });
    rig.host.Click(1006);
    EXPECT_EQ(rig.host.ModalTitles(),
              (std::vector<std::string>{"", "Dialog", "Dialog", "Dialog", ""}));
    EXPECT_TRUE(rig.host.UnknownIds().empty());
}

TEST(AboutBox, TheWindowMenuOpensItAndOkClosesIt) {
    WindowRig rig;
    ASSERT_TRUE(rig.Start());
    int result = 0;
    rig.host.OnModal([&](fakes::FakeDialogHost& about) {
        EXPECT_EQ(about.Layout().initialFocus, 1);
        EXPECT_EQ(about.Text(1201), "Tessary V2.1");
        EXPECT_EQ(about.Text(1), "确定");
        about.Click(1);
        result = about.Result();
    });
    ASSERT_TRUE(rig.host.ChooseAbout());
    EXPECT_EQ(result, platform::kDialogOk);
    EXPECT_EQ(rig.host.ModalTitles(), std::vector<std::string>{setuptool::kAboutTitle});
}

}  // namespace
