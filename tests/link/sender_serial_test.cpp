// The serial and parallel branches against pseudo-terminals, FIFOs and files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>

#include "link/device_io.h"
#include "tests/fakes/pty_peer.h"
#include "tests/link/sender_rig.h"

namespace linktest {
namespace {

using fakes::LineSettings;
using fakes::PtyPeer;

// A command with the bytes a terminal would rewrite if it were not raw.
std::vector<uint8_t> ControlHeavyCommand() {
    return {0x1b, 0x40, 'A',  0x0a, 0x0d, 0x09, 0x03, 0x11, 0x13, 0x1d,
            0x56, 0x01, 0x00, 0xff, 0x7f, 0x0a, 0x0a, 0x1c, 0x1a, 0x04};
}

// 2400, two stop bits, parity checking and XON/XOFF on. (A pseudo-terminal always keeps 8 data
// bits without parity, so only the other line settings show a change.)
LineSettings OddLine() {
    LineSettings s;
    s.outputBaud = 2400;
    s.dataBits = 8;
    s.twoStopBits = true;
    s.parityCheck = true;
    s.xonXoff = true;
    s.outputProcessing = true;
    s.echo = true;
    return s;
}

class SenderSerial : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(pty.ok());
        ASSERT_TRUE(fakes::SetLineSettings(pty.slaveFd(), OddLine()));
    }
    PtyPeer pty;
};

TEST_F(SenderSerial, WritesBytesUnchangedAndAppliesAnyRateAs8N1) {
    SenderRig rig(FastEndpoints(), fakes::ComParams(pty.slaveName(), "128000"));
    const auto command = ControlHeavyCommand();  // 20 bytes: pieces of 8, 8 and 4
    rig.Submit(command);
    EXPECT_EQ(pty.ReadMaster(command.size(), kWait), command);
    ASSERT_TRUE(rig.WaitIdle());
    EXPECT_TRUE(pty.DrainMaster(30ms).empty());  // no CR added to the line feeds
    const LineSettings now = fakes::ReadLineSettings(pty.slaveFd());
    ASSERT_TRUE(now.ok);
    EXPECT_EQ(now.outputBaud, 128000u);
    EXPECT_EQ(now.inputBaud, 128000u);
    EXPECT_EQ(now.dataBits, 8u);
    EXPECT_FALSE(now.parity);
    EXPECT_FALSE(now.twoStopBits);
    EXPECT_FALSE(now.parityCheck);
    EXPECT_TRUE(now.xonXoff);  // flow control is left as the port had it
    EXPECT_FALSE(now.echo);
    EXPECT_TRUE(rig.sinks.Statuses().empty());

    // A second command on the same port: the exclusive use was given back in between.
    rig.source.Set(fakes::ComParams(pty.slaveName(), "9600"));
    rig.Submit({1, 2, 3, 4, 5});
    EXPECT_EQ(pty.ReadMaster(5, kWait), (std::vector<uint8_t>{1, 2, 3, 4, 5}));
    ASSERT_TRUE(rig.WaitIdle());
    EXPECT_EQ(fakes::ReadLineSettings(pty.slaveFd()).outputBaud, 9600u);
}

// The test page has the printer asked its status once it is written; other commands do not.
TEST_F(SenderSerial, TestPageHasThePrinterAskedItsStatus) {
    SenderRig rig(FastEndpoints(), fakes::ComParams(pty.slaveName(), "9600"));
    const auto command = Pattern(10, 1);
    rig.Submit(command);
    EXPECT_EQ(pty.ReadMaster(command.size(), kWait), command);
    ASSERT_TRUE(rig.WaitIdle());
    rig.Submit(command, printerlink::AfterCommand::AskStatus);
    EXPECT_EQ(pty.ReadMaster(command.size(), kWait), command);
    ASSERT_TRUE(fakes::WaitUntil([&] { return rig.sinks.Log().size() == 2; }, kWait));
    EXPECT_EQ(rig.sinks.Log(), (std::vector<std::string>{"ask com", "asked"}));
}

TEST_F(SenderSerial, BaudThatIsNotANumberLeavesTheLineAndStillWrites) {
    for (const char* baud : {"abc", "", "0", "-9600", "99999999999"}) {
        SenderRig rig(FastEndpoints(), fakes::ComParams(pty.slaveName(), baud));
        const auto command = Pattern(13, static_cast<uint8_t>(baud[0]));
        rig.Submit(command);
        EXPECT_EQ(pty.ReadMaster(command.size(), kWait), command) << baud;
        ASSERT_TRUE(rig.WaitIdle());
        const LineSettings now = fakes::ReadLineSettings(pty.slaveFd());
        EXPECT_EQ(now.outputBaud, 2400u) << baud;
        EXPECT_TRUE(now.twoStopBits) << baud;
        EXPECT_TRUE(now.parityCheck) << baud;
    }
}

TEST_F(SenderSerial, OpenFailureKeepsTheCommandUntilAPortOpens) {
    const std::string dir =
        std::filesystem::temp_directory_path() / ("link-serial-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string plainFile = dir + "/not-a-port";
    { std::ofstream(plainFile) << ""; }
    // The same terminal held by another program.
    const int other = ::open(pty.slaveName().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);

    SenderRig rig(FastEndpoints(), fakes::ComParams("", "9600"));
    const auto command = Pattern(20, 3);
    rig.Submit(command);
    for (const std::string& name :
         {std::string(), std::string("/nonexistent/ttyUSB0"), plainFile, pty.slaveName()}) {
        rig.source.Set(fakes::ComParams(name, "9600"));
        ASSERT_TRUE(rig.WaitReads(2)) << name;
        EXPECT_FALSE(printerlink::IsIdle(rig.buffer)) << name;
    }
    EXPECT_GE(rig.sinks.CountStatus(" COM OPEN FAIL"), 4u);
    EXPECT_EQ(rig.sinks.CountStatus(" COM OPEN FAIL"), rig.sinks.Statuses().size());
    EXPECT_EQ(std::filesystem::file_size(plainFile), 0u);  // a plain file is never written
    EXPECT_TRUE(pty.DrainMaster(20ms).empty());

    ::close(other);  // the port becomes free: the pending command goes out there, once
    EXPECT_EQ(pty.ReadMaster(command.size(), kWait), command);
    ASSERT_TRUE(rig.WaitIdle());
    EXPECT_TRUE(pty.DrainMaster(30ms).empty());
    std::filesystem::remove_all(dir);
}

TEST_F(SenderSerial, NewCommandReplacesOneKeptForRetry) {
    SenderRig rig(FastEndpoints(), fakes::ComParams("", "9600"));
    rig.Submit(Pattern(8, 1));
    ASSERT_TRUE(rig.WaitReads(2));
    const auto newer = Pattern(9, 2);
    rig.Submit(newer);
    rig.source.Set(fakes::ComParams(pty.slaveName(), "9600"));
    EXPECT_EQ(pty.ReadMaster(newer.size(), kWait), newer);
    ASSERT_TRUE(rig.WaitIdle());
    EXPECT_TRUE(pty.DrainMaster(30ms).empty());
}

// A line whose flow control never releases (output stopped, as after an XOFF) must not hold
// the sender: the write gives up after twice the wire time plus 2 s, nothing goes out late, and
// a stop ends a long write at once.
TEST_F(SenderSerial, HeldLineTimesOutAndAStopEndsTheWrite) {
    EXPECT_EQ(printerlink::SerialWriteTimeout(9600, 20), 2042ms);
    EXPECT_EQ(printerlink::SerialWriteTimeout(0, 10), 2668ms);  // unknown rate: 300 baud
    ASSERT_EQ(::tcflow(pty.slaveFd(), TCOOFF), 0);
    {
        SenderRig rig(FastEndpoints(), fakes::ComParams(pty.slaveName(), "9600"));
        rig.Submit(Pattern(20));
        ASSERT_TRUE(rig.WaitIdle());
        EXPECT_EQ(rig.sinks.Notices(),
                  std::vector<printerlink::LinkNotice>{printerlink::LinkNotice::SerialTimedOut});
        // The printer is asked what holds the line (once the command is done).
        EXPECT_TRUE(fakes::WaitUntil([&] { return rig.sinks.Log().size() == 2; }, kWait));
        EXPECT_EQ(rig.sinks.Log(), (std::vector<std::string>{"ask com", "asked"}));
    }
    {
        // 2047 bytes at 300 baud would be allowed well over two minutes.
        SenderRig rig(FastEndpoints(), fakes::ComParams(pty.slaveName(), "300"));
        rig.Submit(Pattern(2047));
        ASSERT_TRUE(fakes::WaitUntil([&] { return rig.source.Reads() >= 1; }, kWait));
        auto stopped = std::async(std::launch::async, [&] { rig.sender->Stop(); });
        EXPECT_EQ(stopped.wait_for(kWait), std::future_status::ready);
        stopped.wait();
        EXPECT_TRUE(rig.sinks.Notices().empty());  // a stop is no time-out
    }
    ASSERT_EQ(::tcflow(pty.slaveFd(), TCOON), 0);
    EXPECT_TRUE(pty.DrainMaster(50ms).empty());  // what did not go out was thrown away
}

TEST(SenderParallel, MissingPortReportsOnceAndDrops) {
    SenderRig rig(FastEndpoints(), fakes::LptParams());
    rig.Submit(Pattern(10));
    ASSERT_TRUE(rig.WaitIdle());
    EXPECT_EQ(rig.sinks.Statuses(), std::vector<std::string>{"LPT OPEN FAIL"});
}

TEST(SenderParallel, FifoWithoutReaderFailsInsteadOfWaiting) {
    const std::string fifo =
        std::filesystem::temp_directory_path() / ("link-lp-" + std::to_string(::getpid()));
    ::unlink(fifo.c_str());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto endpoints = FastEndpoints();
    endpoints.lptPath = fifo;
    SenderRig rig(endpoints, fakes::LptParams());
    rig.Submit(Pattern(10));
    EXPECT_TRUE(rig.WaitIdle());
    EXPECT_EQ(rig.sinks.Statuses(), std::vector<std::string>{"LPT OPEN FAIL"});
    ::unlink(fifo.c_str());
}

TEST(SenderParallel, WholeCommandReachesThePort) {
    PtyPeer pty;
    ASSERT_TRUE(pty.ok());
    LineSettings raw = fakes::ReadLineSettings(pty.slaveFd());
    raw.outputProcessing = false;  // a parallel port has no line discipline
    ASSERT_TRUE(fakes::SetLineSettings(pty.slaveFd(), raw));
    auto endpoints = FastEndpoints();
    endpoints.lptPath = pty.slaveName();
    SenderRig rig(endpoints, fakes::LptParams());
    const auto command = Pattern(300, 5);
    rig.Submit(command);
    EXPECT_EQ(pty.ReadMaster(command.size(), kWait), command);
    ASSERT_TRUE(rig.WaitIdle());
    EXPECT_TRUE(rig.sinks.Statuses().empty());
}

}  // namespace
}  // namespace linktest
