// The TCP connection at real loopback printers: delivery means acknowledged, a printer that stops
// reading fails after the stall time while a slow one is waited for, and connect failures say why.
#include "link/tcp_link.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/fakes/tcp_peer.h"

namespace linktest {
namespace {

using namespace std::chrono_literals;
using fakes::TcpPrinterPeer;
using printerlink::TcpConnection;
using printerlink::TcpFault;
using printerlink::TcpLimits;

constexpr std::array<uint8_t, 4> kLoopback{127, 0, 0, 1};

std::vector<uint8_t> Pattern(std::size_t length) {
    std::vector<uint8_t> bytes(length);
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(i * 13 + i / 251);
    return bytes;
}

TEST(TcpLink, DeliveryIsWhatThePrinterAcknowledged) {
    struct Case {
        const char* name;
        TcpPrinterPeer::Mode mode;
        std::size_t limit;
        std::size_t size;
        TcpFault fault;
    };
    const Case cases[] = {
        {"healthy", TcpPrinterPeer::Mode::Record, 0, 300000, TcpFault::None},
        {"closes at the end", TcpPrinterPeer::Mode::Record, 0, 123, TcpFault::None},
        // Done once the grace for its side has passed.
        {"keeps its side open", TcpPrinterPeer::Mode::Hold, 0, 123, TcpFault::None},
        // 256 bytes every 20 ms: about 2.5 s in all, far beyond the stall time, with progress
        // all along.
        {"slow", TcpPrinterPeer::Mode::Slow, 256, 32768, TcpFault::None},
        {"stalled", TcpPrinterPeer::Mode::StallAfter, 1000, 65536, TcpFault::Stalled},
        {"stalled, all in buffers", TcpPrinterPeer::Mode::StallAfter, 1000, 3000,
         TcpFault::Stalled},
        {"reset", TcpPrinterPeer::Mode::ResetAfter, 1000, 1 << 20, TcpFault::Reset},
        // Its stack acknowledged every byte before its program read them and went: only the
        // wait for its side of the connection sees the reset.
        {"reset after one byte, all acknowledged", TcpPrinterPeer::Mode::ResetAfter, 1, 123,
         TcpFault::Reset},
        {"reset one byte short", TcpPrinterPeer::Mode::ResetAfter, 122, 123, TcpFault::Reset},
        {"reset after the last byte", TcpPrinterPeer::Mode::ResetAfter, 123, 123, TcpFault::Reset},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TcpPrinterPeer peer(c.mode, c.limit);
        ASSERT_TRUE(peer.ok());
        const TcpLimits limits{1000ms, 1000ms, {}};
        TcpConnection connection = TcpConnection::Connect(kLoopback, peer.port(), limits);
        ASSERT_TRUE(connection.IsOpen());
        const auto bytes = Pattern(c.size);
        const bool ok = connection.SendAll(bytes.data(), bytes.size(), 256) && connection.Finish();
        const printerlink::TcpResult& result = connection.Result();
        EXPECT_EQ(ok, c.fault == TcpFault::None);
        EXPECT_EQ(result.fault, c.fault);
        EXPECT_FALSE(connection.IsOpen());
        if (c.fault == TcpFault::None) {
            EXPECT_EQ(result.sent, c.size);
            EXPECT_EQ(result.acknowledged, c.size);
            ASSERT_TRUE(peer.WaitForClosed(1, 5s));
            EXPECT_EQ(peer.Connections()[0].bytes, bytes);
        } else {
            // The printer took what it read and what its small buffer holds, never more than
            // was sent (where the system cannot tell, `acknowledged` is what was sent: at most
            // that); a large job never fits.
            EXPECT_LE(result.acknowledged, result.sent);
            if (!result.acknowledgedAtMost && c.size > 65536) {
                EXPECT_LT(result.acknowledged, c.size);
            }
            if (c.fault == TcpFault::Stalled) {
                EXPECT_GE(result.acknowledged, c.limit);
                EXPECT_EQ(printerlink::FaultText(result, limits), "stopped taking data for 1 s");
            }
        }
    }
}

TEST(TcpLink, ConnectFailuresNameTheirCause) {
    const TcpLimits limits{300ms, 1000ms, {}};
    fakes::SilentLoopbackPort silent;
    ASSERT_TRUE(silent.ok());
    struct Case {
        std::array<uint8_t, 4> ip;
        uint16_t port;
        TcpFault fault;
        const char* text;
    };
    const Case cases[] = {
        {kLoopback, fakes::UnusedLoopbackPort(), TcpFault::Refused, "connection refused"},
        {kLoopback, silent.port(), TcpFault::TimedOut, "timed out after 0.3 s"},
        {{0, 0, 0, 0}, 9100, TcpFault::NoAddress, "0.0.0.0 is no printer's address"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TcpConnection connection = TcpConnection::Connect(c.ip, c.port, limits);
        EXPECT_FALSE(connection.IsOpen());
        EXPECT_EQ(connection.Result().fault, c.fault);
        EXPECT_EQ(printerlink::FaultText(connection.Result(), limits), c.text);
        const uint8_t byte = 0x0A;
        EXPECT_EQ(connection.SendSome(&byte, 1), 0u);
        EXPECT_FALSE(connection.Finish());
    }
}

TEST(TcpLink, CancelEndsAWaitForAStalledPrinter) {
    TcpPrinterPeer peer(TcpPrinterPeer::Mode::StallAfter, 0);
    ASSERT_TRUE(peer.ok());
    std::atomic<bool> cancel{false};
    const TcpLimits limits{1000ms, 60s, [&] { return cancel.load(); }};
    TcpConnection connection = TcpConnection::Connect(kLoopback, peer.port(), limits);
    ASSERT_TRUE(connection.IsOpen());
    std::thread canceller([&] {
        std::this_thread::sleep_for(100ms);
        cancel = true;
    });
    const auto bytes = Pattern(1 << 20);
    EXPECT_FALSE(connection.SendAll(bytes.data(), bytes.size(), bytes.size()) &&
                 connection.Finish());
    canceller.join();
    EXPECT_EQ(connection.Result().fault, TcpFault::Cancelled);
}

}  // namespace
}  // namespace linktest
