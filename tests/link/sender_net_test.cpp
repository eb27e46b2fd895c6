// The TCP branch against a real loopback peer.
#include <gtest/gtest.h>

#include <thread>

#include "tests/fakes/tcp_peer.h"
#include "tests/link/sender_rig.h"

namespace linktest {
namespace {

using fakes::TcpPrinterPeer;

TEST(SenderNet, DeliversExactBytesInOrderOneConnectionPerCommand) {
    TcpPrinterPeer peer;
    ASSERT_TRUE(peer.ok());
    SenderRig rig(FastEndpoints(peer.port()));
    const std::size_t sizes[] = {5, 300, 2047};
    for (std::size_t k = 0; k < 3; ++k) {
        const auto command = Pattern(sizes[k], static_cast<uint8_t>(k));
        rig.Submit(command);
        ASSERT_TRUE(peer.WaitForClosed(k + 1, kWait)) << sizes[k];
        EXPECT_EQ(peer.Connections()[k].bytes, command) << sizes[k];
    }
    EXPECT_TRUE(rig.WaitIdle());
    EXPECT_TRUE(rig.sinks.Statuses().empty());
    EXPECT_TRUE(rig.sinks.Messages().empty());
}

TEST(SenderNet, OverLongCommandKeepsTheFirst2048Bytes) {
    TcpPrinterPeer peer;
    ASSERT_TRUE(peer.ok());
    SenderRig rig(FastEndpoints(peer.port()));
    const auto exact = Pattern(2048, 1);
    rig.Submit(exact);
    ASSERT_TRUE(peer.WaitForClosed(1, kWait));
    const auto tooLong = Pattern(5000, 2);  // on the heap: reading past it would be caught
    rig.Submit(tooLong);
    ASSERT_TRUE(peer.WaitForClosed(2, kWait));
    const auto got = peer.Connections();
    EXPECT_EQ(got[0].bytes, exact);
    EXPECT_EQ(got[1].bytes, std::vector<uint8_t>(tooLong.begin(), tooLong.begin() + 2048));
}

TEST(SenderNet, RefusedConnectionReportsAndDropsTheCommand) {
    TcpPrinterPeer peer;  // listens on 127.0.0.1 only: 127.0.0.2 refuses
    ASSERT_TRUE(peer.ok());
    auto refused = fakes::NetParams();
    refused.printerIp = {127, 0, 0, 2};
    SenderRig rig(FastEndpoints(peer.port()), refused);
    rig.Submit(Pattern(10));
    ASSERT_TRUE(rig.WaitIdle());
    EXPECT_EQ(
        rig.sinks.Statuses(),
        std::vector<std::string>{"网络连接失败,请确定IP地址是否与电脑同一网段,Fail to connect"});
    // Dropped, not retried; the next command reaches the printer once it is reachable.
    rig.source.Set(fakes::NetParams());
    const auto next = Pattern(6, 9);
    rig.Submit(next);
    ASSERT_TRUE(peer.WaitForClosed(1, kWait));
    EXPECT_EQ(peer.ConnectionCount(), 1u);
    EXPECT_EQ(peer.Connections()[0].bytes, next);
    EXPECT_EQ(rig.sinks.Statuses().size(), 1u);

    // An empty address control is no printer (on Linux 0.0.0.0 would reach this PC).
    auto empty = fakes::NetParams();
    empty.printerIp = {0, 0, 0, 0};
    rig.source.Set(empty);
    rig.Submit(Pattern(6));
    ASSERT_TRUE(rig.WaitIdle());
    EXPECT_EQ(rig.sinks.Statuses().size(), 2u);
    EXPECT_EQ(peer.ConnectionCount(), 1u);
}

// A printer that resets the connection fails the command: "Print error" and the program ends.
// Either a send or the wait for the acknowledgement fails, or, where its stack acknowledged every
// byte before its program threw them away, the wait for its side of the connection.
TEST(SenderNet, SendFailureShowsPrintErrorAndEndsTheProgram) {
    const struct {
        const char* name;
        std::size_t resetAfter;
        std::size_t size;
    } cases[] = {
        {"more than its buffer holds unacknowledged", 100, 2048},
        {"after 1 byte, all acknowledged", 1, 123},
        {"one byte short", 122, 123},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TcpPrinterPeer peer(TcpPrinterPeer::Mode::ResetAfter, c.resetAfter);
        ASSERT_TRUE(peer.ok());
        SenderRig rig(FastEndpoints(peer.port()));
        rig.Submit(Pattern(c.size));
        ASSERT_TRUE(fakes::WaitUntil([&] { return !rig.sinks.Exits().empty(); }, kWait));
        EXPECT_EQ(rig.sinks.Messages(), std::vector<std::string>{"Print error"});
        EXPECT_EQ(rig.sinks.Exits(), std::vector<int>{1});
        // The sender does nothing more once it asked the program to end.
        const std::size_t connections = peer.ConnectionCount();
        rig.Submit(Pattern(6));
        std::this_thread::sleep_for(100ms);
        EXPECT_EQ(peer.ConnectionCount(), connections);
        EXPECT_TRUE(rig.sinks.Statuses().empty());
        EXPECT_EQ(rig.sinks.Exits().size(), 1u);
    }
}

// A printer that stops taking data (its small buffer full) drops the command with a notice
// instead of ending the program or hanging; one that reads slowly but steadily gets everything,
// however long that takes beyond the stall time.
TEST(SenderNet, StalledPrinterDropsTheCommandSlowPrinterGetsIt) {
    struct Case {
        TcpPrinterPeer::Mode mode;
        std::size_t limit;
        bool delivered;
    };
    for (const Case c : {Case{TcpPrinterPeer::Mode::StallAfter, 0, false},
                         Case{TcpPrinterPeer::Mode::Slow, 256, true}}) {
        SCOPED_TRACE(static_cast<int>(c.mode));
        TcpPrinterPeer peer(c.mode, c.limit);
        ASSERT_TRUE(peer.ok());
        auto endpoints = FastEndpoints(peer.port());
        endpoints.tcpStall = 1000ms;
        SenderRig rig(endpoints);
        const auto command = Pattern(2048, 3);
        rig.Submit(command);
        ASSERT_TRUE(rig.WaitIdle());
        EXPECT_TRUE(rig.sinks.Messages().empty());
        EXPECT_TRUE(rig.sinks.Exits().empty());
        EXPECT_TRUE(rig.sinks.Statuses().empty());
        if (c.delivered) {
            ASSERT_TRUE(peer.WaitForClosed(1, kWait));
            EXPECT_EQ(peer.Connections()[0].bytes, command);
            EXPECT_TRUE(rig.sinks.Notices().empty());
        } else {
            EXPECT_EQ(rig.sinks.Notices(),
                      std::vector<printerlink::LinkNotice>{printerlink::LinkNotice::NetStalled});
        }
    }
}

// The printer is asked its status after a command that asked for it (the test page) and after a
// failure it was reached for (before the message of one that ends the program), never otherwise.
TEST(SenderNet, AsksThePrinterItsStatusAfterATestPageOrAFailure) {
    using printerlink::AfterCommand;
    const std::vector<std::string> asked{"ask net", "asked"};
    const struct {
        const char* name;
        TcpPrinterPeer::Mode mode;
        std::size_t limit;
        std::size_t size;
        AfterCommand after;
        bool reachable;
        std::vector<std::string> log;
    } cases[] = {
        {"done", TcpPrinterPeer::Mode::Record, 0, 6, AfterCommand::Nothing, true, {}},
        {"test page", TcpPrinterPeer::Mode::Record, 0, 123, AfterCommand::AskStatus, true, asked},
        {"stalled", TcpPrinterPeer::Mode::StallAfter, 0, 2048, AfterCommand::Nothing, true, asked},
        {"reset",
         TcpPrinterPeer::Mode::ResetAfter,
         1,
         123,
         AfterCommand::Nothing,
         true,
         {"ask net", "asked", "message Print error"}},
        {"not reached", TcpPrinterPeer::Mode::Record, 0, 123, AfterCommand::AskStatus, false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TcpPrinterPeer peer(c.mode, c.limit);
        ASSERT_TRUE(peer.ok());
        auto endpoints = FastEndpoints(c.reachable ? peer.port() : fakes::UnusedLoopbackPort());
        endpoints.tcpStall = 300ms;
        SenderRig rig(endpoints);
        rig.Submit(Pattern(c.size), c.after);
        ASSERT_TRUE(fakes::WaitUntil(
            [&] { return rig.buffer.Idle() || !rig.sinks.Exits().empty(); }, kWait));
        rig.sender->Stop();  // the asking, if any, has ended
        EXPECT_EQ(rig.sinks.Log(), c.log);
    }
}

// Asking never holds up the next command: it gives way as soon as one is submitted.
TEST(SenderNet, AStatusAskGivesWayToTheNextCommand) {
    TcpPrinterPeer peer;
    ASSERT_TRUE(peer.ok());
    SenderRig rig(FastEndpoints(peer.port()));
    rig.sinks.HoldAsks();
    rig.Submit(Pattern(100, 1), printerlink::AfterCommand::AskStatus);
    ASSERT_TRUE(fakes::WaitUntil([&] { return rig.sinks.Log().size() == 1; }, kWait));
    const auto next = Pattern(6, 2);
    rig.Submit(next);
    ASSERT_TRUE(peer.WaitForClosed(2, kWait));
    EXPECT_EQ(peer.Connections()[1].bytes, next);
    EXPECT_EQ(rig.sinks.Log(), (std::vector<std::string>{"ask net", "asked"}));
}

TEST(SenderNet, EmptyOrMissingCommandIsIgnored) {
    TcpPrinterPeer peer;
    ASSERT_TRUE(peer.ok());
    SenderRig rig(FastEndpoints(peer.port()));
    const uint8_t byte = 0x1b;
    EXPECT_EQ(printerlink::SubmitCommand(rig.buffer, &byte, 0), 1);
    EXPECT_EQ(printerlink::SubmitCommand(rig.buffer, nullptr, 5), 1);
    EXPECT_TRUE(printerlink::IsIdle(rig.buffer));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(peer.ConnectionCount(), 0u);
    EXPECT_TRUE(rig.sinks.Statuses().empty());
    EXPECT_TRUE(rig.sinks.Messages().empty());
}

}  // namespace
}  // namespace linktest
