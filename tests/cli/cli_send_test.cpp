// tessary-cli's frames: dry runs against the windows' expected bytes, the name list against the
// setting-frame table, usage errors, and real writes to a loopback TCP peer and a scripted USB
// printer.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/send_names.h"
#include "cli/text_args.h"
#include "commands/factory_frames.h"
#include "commands/setting_frames.h"
#include "platform/text_codec.h"
#include "tests/cli/cli_rig.h"
#include "tests/commands/one_click_expected.h"
#include "tests/fakes/tcp_peer.h"

namespace clitest {
namespace {

using namespace std::chrono_literals;
using Args = std::vector<std::string>;

std::string Hex(const std::vector<uint8_t>& bytes) {
    return cli::HexBytes(bytes) + "\n";
}

std::vector<uint8_t> ExpectedOneClick(int button) {
    for (const auto& e : commandstest::kExpectedOneClick)
        if (e.button == button) return e.bytes;
    return {};
}

TEST(CliDryRun, OneClickNamesSendTheWindowsBytes) {
    const struct {
        Args args;
        int button;
    } cases[] = {
        {{"cut"}, 1004},
        {{"drawer"}, 1005},
        {{"beep", "0"}, 1048},
        {{"feed", "0"}, 1050},
        {{"factory-restore"}, 1079},
        {{"width-58"}, 1080},
        {{"light", "on"}, 1081},
        {{"light", "off"}, 1082},
        {{"sound", "on"}, 1083},
        {{"sound", "OFF"}, 1084},
        {{"feed-after-cut", "on"}, 1086},
        {{"feed-after-cut", "off"}, 1087},
        {{"router-auto", "on"}, 1099},
        {{"router-auto", "off"}, 1100},
        {{"self-test"}, 1103},
    };
    Rig rig;
    for (const auto& c : cases) {
        Args args{"--dry-run", "send"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        SCOPED_TRACE(c.args[0]);
        const Outcome o = rig.Run(args);
        EXPECT_EQ(o.status, 0) << o.err;
        EXPECT_EQ(o.out, Hex(ExpectedOneClick(c.button)));
    }
}

TEST(CliDryRun, OneCommandOfEachFamily) {
    std::vector<uint8_t> factory =
        commands::FactoryFrame(commands::FactorySet::Quiet, {2026, 12, 25});
    const struct {
        Args args;
        std::string hex;
    } cases[] = {
        // settings dialog: position 25 of the code-page list goes as FF
        {{"code-page", "25"}, "1F 1B 05 FF 00 00"},
        {{"density", "3"}, "1F 1B 01 00 00 00 03"},
        {{"cutter", "on"}, "1F 1B 75 9A 00 00"},
        {{"auto-cut", "On"}, "1F 1B 81 AB 01 00"},
        // voice dialog
        {{"volume", "up"}, "1F 1B 79 97 00 00 00"},
        {{"alarm-interval", "6"}, "1F 1B 7D CB 06 00 00"},
        // address frames of the main window
        {{"set-ip", "192.168.1.199", "255.255.255.0", "192.168.0.1"},
         "1F 1B 64 00 C0 A8 01 C7 FF FF FF 00 00 00 00 00 00 00 C0 A8 00 01 00 00 00 00"},
        {{"dhcp", "on"}, "1F 1B 65 01"},
        {{"mac", "00:1a:2B:c:d4:05"}, "1F 1B 67 00 1A 2B 0C D4 05 00"},
        // factory dialog, dated by the clock
        {{"factory", "quiet"}, cli::HexBytes(factory)},
    };
    Rig rig;
    for (const auto& c : cases) {
        Args args{"send", "--dry-run"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        SCOPED_TRACE(c.args[0]);
        const Outcome o = rig.Run(args);
        EXPECT_EQ(o.status, 0) << o.err;
        EXPECT_EQ(o.out, c.hex + "\n");
    }
}

TEST(CliNames, EveryFunctionCodeOfTheFrameTableHasANameInTheList) {
    const std::string list = cli::SendListText();
    for (const commands::FrameLayout& frame : commands::SettingFrameTable()) {
        bool named = false;
        for (const cli::SendName& name : cli::SendNames()) {
            for (const uint8_t code : name.codes) named = named || code == frame.code;
            if (!named) continue;
            EXPECT_NE(list.find(name.name), std::string::npos);
            EXPECT_NE(list.find(frame.setting), std::string::npos);
            break;
        }
        EXPECT_TRUE(named) << frame.setting;
    }
}

TEST(CliUsage, BadCommandLinesGiveStatusTwoAndSendNothing) {
    const Args cases[] = {
        {},
        {"bogus"},
        {"send"},
        {"send", "bogus"},
        {"send", "beep"},
        {"send", "beep", "6"},
        {"send", "cutter", "maybe"},
        {"send", "cut", "1"},
        {"send", "mac", "00:11:22:33:44"},
        {"send", "mac", "00:11:22:33:44:GG"},
        {"send", "set-ip", "192.168.1", "255.255.255.0", "192.168.0.1"},
        {"send", "wifi", std::string(64, 'a'), "secret"},
        {"send", "bluetooth-names", std::string(40, 'a'), std::string(20, 'b')},
        {"send", "--to", "net:1.2.3", "cut"},
        {"send", "--to", "serial:", "cut"},
        {"--dry-run", "send", "--to", "com1", "cut"},
        {"print", ""},
        {"discover", "--seconds", "-1"},
        {"set-address", "--ip", "192.168.1.50"},
        {"set-address", "--mac", "00:11:22:33:44:55", "--ip", "300.1.1.1"},
        {"firmware"},
        {"firmware", "--to", "lpt", "image.bin"},
        {"firmware", "--gb2312", "--to", "net:127.0.0.1", "gb2312"},
    };
    Rig rig;
    for (const Args& args : cases) {
        SCOPED_TRACE(args.empty() ? std::string("(none)") : args.back());
        const Outcome o = rig.Run(args);
        EXPECT_EQ(o.status, 2);
        EXPECT_FALSE(o.err.empty());
        EXPECT_TRUE(o.out.empty());
    }
    EXPECT_TRUE(rig.usb->OpenAttempts().empty());
}

TEST(CliPrint, LongFileGoesAsSeveralCommandsWithoutSplittingACharacter) {
    // 1500 two-byte characters with a line end in between: 3000 bytes and CR LF.
    std::string text;
    for (int i = 0; i < 1500; ++i) text += i == 700 ? "\n" : "汉";
    const auto path = std::filesystem::temp_directory_path() / "tessary_cli_print.txt";
    std::ofstream(path, std::ios::binary) << text;

    Rig rig;
    const Outcome o = rig.Run({"print", "--dry-run", "--file", path.string()});
    std::filesystem::remove(path);
    ASSERT_EQ(o.status, 0) << o.err;
    const std::string gbk = platform::Utf8ToGbk(text.replace(text.find('\n'), 1, "\r\n"));
    const std::size_t first = 2046;  // 2047 would split a character
    const std::vector<uint8_t> bytes(gbk.begin(), gbk.end());
    EXPECT_EQ(o.out, Hex({bytes.begin(), bytes.begin() + first}) +
                         Hex({bytes.begin() + first, bytes.end()}));
}

TEST(CliWrite, CommandsReachALoopbackPrinterOrNameTheFailure) {
    fakes::TcpPrinterPeer peer;
    ASSERT_TRUE(peer.ok());
    Rig rig;
    const std::string to = "net:127.0.0.1:" + std::to_string(peer.port());
    Outcome o = rig.Run({"send", "--to", to, "code-page", "25"});
    EXPECT_EQ(o.status, 0) << o.err;
    ASSERT_TRUE(peer.WaitForClosed(1, 2s));
    EXPECT_EQ(peer.Connections()[0].bytes, (std::vector<uint8_t>{0x1F, 0x1B, 0x05, 0xFF, 0, 0}));

    const std::string refused = "net:127.0.0.1:" + std::to_string(fakes::UnusedLoopbackPort());
    o = rig.Run({"print", "--to", refused, "hello"});
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("Fail to connect"), std::string::npos) << o.err;
}

// Over TCP a job is done once the printer acknowledged its last byte: a printer that stops
// reading is a failure naming how much it took, a slow one is waited for, a connect failure
// names its cause.
TEST(CliWrite, TcpJobIsDoneOnlyWhenThePrinterTookIt) {
    const std::string text(10000, 'x');  // five commands on one connection
    Rig rig;
    rig.env.netPacing.stall = 300ms;
    const Outcome dry = rig.Run({"print", "--dry-run", text});
    ASSERT_EQ(dry.status, 0);
    std::vector<uint8_t> job;  // the hex lines of the dry run, one after another
    std::istringstream hex(dry.out);
    for (std::string byte; hex >> byte;)
        job.push_back(static_cast<uint8_t>(std::stoi(byte, nullptr, 16)));
    const auto to = [](uint16_t port) { return "net:127.0.0.1:" + std::to_string(port); };

    fakes::TcpPrinterPeer slow(fakes::TcpPrinterPeer::Mode::Slow, 512);
    ASSERT_TRUE(slow.ok());
    Outcome o = rig.Run({"print", "--to", to(slow.port()), text});
    EXPECT_EQ(o.status, 0) << o.err;
    ASSERT_TRUE(slow.WaitForClosed(1, 5s));
    EXPECT_EQ(slow.ConnectionCount(), 1u);
    EXPECT_EQ(slow.Connections()[0].bytes, job);

    fakes::TcpPrinterPeer stalled(fakes::TcpPrinterPeer::Mode::StallAfter, 1000);
    ASSERT_TRUE(stalled.ok());
    o = rig.Run({"print", "--to", to(stalled.port()), text});
    EXPECT_EQ(o.status, 1);
    const std::string prefix = "tessary-cli: printer at 127.0.0.1 stopped taking data after ";
    ASSERT_EQ(o.err.rfind(prefix, 0), 0u) << o.err;
    // Windows cannot tell what the printer acknowledged: what was sent bounds it.
    std::string count = o.err.substr(prefix.size());
    if (count.rfind("at most ", 0) == 0) count = count.substr(8);
    const std::size_t took = std::stoul(count);
    EXPECT_GE(took, 1000u);
    EXPECT_LT(took, job.size());
    EXPECT_NE(o.err.find(" of " + std::to_string(job.size()) + " bytes\n"), std::string::npos);

    fakes::SilentLoopbackPort silent;
    ASSERT_TRUE(silent.ok());
    const struct {
        uint16_t port;
        const char* cause;
    } failures[] = {{fakes::UnusedLoopbackPort(), "): connection refused\n"},
                    {silent.port(), "): timed out after 1 s\n"}};
    for (const auto& f : failures) {
        o = rig.Run({"send", "--to", to(f.port), "cut"});
        EXPECT_EQ(o.status, 1);
        EXPECT_NE(o.err.find("Fail to connect (" + to(f.port) + f.cause), std::string::npos)
            << o.err;
    }
}

// The end of a TCP job waits for the printer's side: its close or its silence is done, a reset
// is a failure naming what its stack took, also when that was every byte.
TEST(CliWrite, TcpJobEndsWithThePrintersSide) {
    Rig rig;
    const Outcome dry = rig.Run({"print", "--dry-run"});  // the test page
    ASSERT_EQ(dry.status, 0);
    const std::size_t length = (dry.out.size() + 1) / 3;  // "XX " per byte
    const struct {
        const char* name;
        fakes::TcpPrinterPeer::Mode mode;
        std::size_t limit;
        int status;
    } cases[] = {
        {"closes", fakes::TcpPrinterPeer::Mode::Record, 0, 0},
        {"keeps its side open", fakes::TcpPrinterPeer::Mode::Hold, 0, 0},
        {"reset after 1 byte", fakes::TcpPrinterPeer::Mode::ResetAfter, 1, 1},
        {"reset one byte short", fakes::TcpPrinterPeer::Mode::ResetAfter, length - 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fakes::TcpPrinterPeer peer(c.mode, c.limit);
        ASSERT_TRUE(peer.ok());
        const std::string to = "net:127.0.0.1:" + std::to_string(peer.port());
        const Outcome o = rig.Run({"print", "--to", to});
        EXPECT_EQ(o.status, c.status) << o.err;
        if (c.status == 0) {
            EXPECT_EQ(o.err, "");
            ASSERT_TRUE(peer.WaitForClosed(1, 2s));
            EXPECT_EQ(peer.Connections()[0].bytes.size(), length);
            continue;
        }
        // Windows cannot tell what the printer acknowledged: what was sent bounds it.
        const std::string took = " reset the connection after taking ";
        const std::string count = std::to_string(length) + " of " + std::to_string(length) +
                                  " bytes: it may not have printed them\n";
        EXPECT_TRUE(o.err == "tessary-cli: Print error: the printer at " + to + took + count ||
                    o.err == "tessary-cli: Print error: the printer at " + to + took + "at most " +
                                 count)
            << o.err;
    }
}

TEST(CliWrite, UsbWritesAreWaitedForAndTimeOutsReported) {
    Rig rig;
    Outcome o = rig.Run({"send", "cut"});
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("USB OPEN FAIL"), std::string::npos) << o.err;

    rig.usb->SetDevices({{fakes::UsbDevice(0x1FC9, 0x2016, "1-2")}});
    o = rig.Run({"send", "drawer"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(rig.usb->BytesOut(), ExpectedOneClick(1005));

    rig.usb->ScriptPieces({{fakes::FakeUsbBackend::Piece::TimeOutAfter, 2}});
    o = rig.Run({"send", "cut"});
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("after 2 of 6 bytes"), std::string::npos) << o.err;
}

TEST(CliPorts, ListsPrintersOnEitherProductListAndTheParallelPort) {
    const auto lpt = std::filesystem::temp_directory_path() / "tessary_cli_lp0";
    std::ofstream{lpt};
    Rig rig;
    rig.env.lptPath = lpt.string();
    rig.usb->SetDevices({{fakes::UsbDevice(0x1FC9, 0x2016, "1-2")},
                         {fakes::UsbDevice(0x046D, 0xC077, "1-3")},  // a mouse
                         {fakes::UsbDevice(0x0483, 0x0600, "2-1")},
                         {fakes::UsbDevice(0x0483, 0x2021, "2-2")}});
    const Outcome o = rig.Run({"ports"});
    std::filesystem::remove(lpt);
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out,
              "usb usb:1-2 vid_1fc9&pid_2016 (Tessary and Brindel)\n"
              "usb usb:2-1 vid_0483&pid_0600 (Tessary only)\n"
              "usb usb:2-2 vid_0483&pid_2021 (Brindel only)\n"
              "lpt:" +
                  lpt.string() + "\n");
}

}  // namespace
}  // namespace clitest
