// The handoff between submitting threads and the sender: replacement, waiting, idle, no port.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/fakes/tcp_peer.h"
#include "tests/link/sender_rig.h"

namespace linktest {
namespace {

using fakes::TcpPrinterPeer;

TEST(SenderFlow, SubmissionsDuringAWriteWaitAndTheLatestOneWins) {
    TcpPrinterPeer peer;
    ASSERT_TRUE(peer.ok());
    SenderRig rig(FastEndpoints(peer.port()));
    rig.source.HoldNextRead();  // keeps the sender inside the first command's cycle
    const auto first = Pattern(700, 1);
    rig.Submit(first);
    ASSERT_TRUE(rig.source.WaitUntilHeld(kWait));
    rig.Submit(Pattern(500, 2));  // replaced before it starts
    const auto last = Pattern(300, 3);
    rig.Submit(last);
    EXPECT_FALSE(printerlink::IsIdle(rig.buffer));
    rig.source.Release();
    ASSERT_TRUE(rig.WaitIdle());
    ASSERT_TRUE(peer.WaitForClosed(2, kWait));
    const auto got = peer.Connections();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].bytes, first);
    EXPECT_EQ(got[1].bytes, last);
}

TEST(SenderFlow, BurstFromAnotherThreadNeverMixesCommands) {
    TcpPrinterPeer peer;
    ASSERT_TRUE(peer.ok());
    SenderRig rig(FastEndpoints(peer.port()));
    constexpr int kCommands = 300;
    // Command k: k+1 repeated, its length varying up to the full buffer.
    auto commandFor = [](int k) {
        return std::vector<uint8_t>(static_cast<std::size_t>(1 + (k * 613) % 2048),
                                    static_cast<uint8_t>(k + 1));
    };
    std::thread submitter([&] {
        for (int k = 0; k < kCommands; ++k) {
            const auto c = commandFor(k);
            printerlink::SubmitCommand(rig.buffer, c.data(), c.size());
            if (k % 16 == 0) std::this_thread::yield();
        }
    });
    submitter.join();
    ASSERT_TRUE(rig.WaitIdle());
    // The peer may still be accepting the last connection when the sender is already idle.
    ASSERT_TRUE(fakes::WaitUntil(
        [&] {
            const auto all = peer.Connections();
            return !all.empty() && all.back().closed &&
                   all.back().bytes == commandFor(kCommands - 1);
        },
        kWait));
    const auto got = peer.Connections();
    ASSERT_GE(got.size(), 1u);
    int previous = -1;
    for (const auto& connection : got) {
        ASSERT_FALSE(connection.bytes.empty());
        // Identify the command by its first byte (modulo 256 within order) and compare whole.
        int k = previous + 1;
        while (k < kCommands && commandFor(k) != connection.bytes) ++k;
        ASSERT_LT(k, kCommands) << "a connection carried bytes of no single whole command";
        previous = k;
    }
    EXPECT_EQ(got.back().bytes, commandFor(kCommands - 1));
}

TEST(SenderFlow, IdleMeansNothingPendingAndNothingBeingWritten) {
    // The auto-send pattern: submit only when idle. Every command must arrive.
    TcpPrinterPeer peer;
    ASSERT_TRUE(peer.ok());
    SenderRig rig(FastEndpoints(peer.port()));
    constexpr std::size_t kRounds = 40;
    std::atomic<bool> timedOut{false};
    std::thread ui([&] {
        for (std::size_t k = 0; k < kRounds; ++k) {
            if (!fakes::WaitUntil([&] { return printerlink::IsIdle(rig.buffer); }, kWait)) {
                timedOut = true;
                return;
            }
            const auto c = Pattern(200, static_cast<uint8_t>(k));
            printerlink::SubmitCommand(rig.buffer, c.data(), c.size());
        }
    });
    ui.join();
    ASSERT_FALSE(timedOut);
    ASSERT_TRUE(rig.WaitIdle());
    EXPECT_TRUE(rig.sinks.Statuses().empty());
    ASSERT_TRUE(peer.WaitForClosed(kRounds, kWait));
    const auto got = peer.Connections();
    ASSERT_EQ(got.size(), kRounds);
    for (std::size_t k = 0; k < kRounds; ++k) {
        EXPECT_EQ(got[k].bytes, Pattern(200, static_cast<uint8_t>(k))) << k;
    }
}

TEST(SenderFlow, NoPortChosenAsksAgainUntilOneIs) {
    TcpPrinterPeer peer;
    ASSERT_TRUE(peer.ok());
    SenderRig rig(FastEndpoints(peer.port()), printerlink::PortParams{});
    const auto command = Pattern(6);
    rig.Submit(command);
    ASSERT_TRUE(fakes::WaitUntil(
        [&] { return rig.sinks.CountMessage("NOT Selet USB OR NET") >= 3; }, kWait));
    EXPECT_FALSE(printerlink::IsIdle(rig.buffer));
    rig.source.Set(fakes::NetParams());
    ASSERT_TRUE(rig.WaitIdle());
    ASSERT_TRUE(peer.WaitForClosed(1, kWait));
    EXPECT_EQ(peer.Connections()[0].bytes, command);
    const std::size_t shown = rig.sinks.Messages().size();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(rig.sinks.Messages().size(), shown);
    EXPECT_EQ(rig.sinks.CountMessage("NOT Selet USB OR NET"), shown);
}

TEST(SenderFlow, StopEndsWaitsAndKeepsAPendingCommand) {
    SenderRig rig(FastEndpoints(), printerlink::PortParams{});
    rig.Submit(Pattern(6));
    ASSERT_TRUE(rig.WaitReads(1));
    rig.sender->Stop();  // interrupts the retry pause
    EXPECT_FALSE(printerlink::IsIdle(rig.buffer));
    rig.sender->Stop();  // twice is harmless
    SenderRig idle;      // and a sender waiting for work stops at once (destructor)
}

}  // namespace
}  // namespace linktest
