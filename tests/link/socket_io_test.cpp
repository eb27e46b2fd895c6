// The portable socket layer on real loopback sockets: a shut-down datagram socket wakes its
// blocked reader and stays shut, datagrams name their sender, and a waker ends a wait.
#include "link/socket_io.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace linktest {
namespace {

using namespace std::chrono_literals;
using printerlink::kNoSocket;
using printerlink::Received;
using printerlink::SocketHandle;

constexpr printerlink::Ipv4Address kLoopback{127, 0, 0, 1};

struct Udp {
    Udp() { socket = printerlink::BindUdpSocket(kLoopback, 0, error); }
    ~Udp() { printerlink::CloseSocket(socket, false); }
    int error = 0;
    SocketHandle socket = kNoSocket;
};

TEST(SocketIo, ShutdownWakesABlockedReceiveAndEveryLaterOne) {
    for (const bool early : {false, true}) {
        SCOPED_TRACE(early ? "shut before the receive" : "shut during the receive");
        Udp udp;
        ASSERT_NE(udp.socket, kNoSocket) << printerlink::SocketErrorText(udp.error);
        const uint16_t port = printerlink::LocalSocketPort(udp.socket);
        EXPECT_NE(port, 0);
        if (early) printerlink::ShutdownSocket(udp.socket);
        std::atomic<int> outcome{-1};
        std::thread reader([&] {
            uint8_t buffer[64];
            outcome = static_cast<int>(
                printerlink::ReceiveDatagram(udp.socket, buffer, sizeof buffer).what);
        });
        std::this_thread::sleep_for(50ms);  // let it block
        if (!early) printerlink::ShutdownSocket(udp.socket);
        reader.join();
        EXPECT_EQ(outcome.load(), static_cast<int>(Received::Shut));
        uint8_t byte = 0;
        EXPECT_EQ(printerlink::ReceiveDatagram(udp.socket, &byte, 1).what, Received::Shut);
        EXPECT_EQ(printerlink::LocalSocketPort(udp.socket), port);  // still open
    }
}

TEST(SocketIo, DatagramsArriveWholeAndNameTheirSender) {
    Udp from, to;
    ASSERT_NE(from.socket, kNoSocket);
    ASSERT_NE(to.socket, kNoSocket);
    const std::vector<uint8_t> bytes{0x00, 0x11, 0xFF, 0x0A, 0x0D};
    ASSERT_EQ(printerlink::SendDatagram(
                  from.socket, {kLoopback, printerlink::LocalSocketPort(to.socket)}, bytes),
              0);
    printerlink::SocketReadable ready[1] = {{to.socket}};
    ASSERT_EQ(printerlink::WaitReadable(ready, 5s), 1);
    EXPECT_TRUE(ready[0].ready);
    uint8_t buffer[16] = {};
    const printerlink::ReceiveStep step =
        printerlink::ReceiveDatagram(to.socket, buffer, sizeof buffer);
    ASSERT_EQ(step.what, Received::Data);
    EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + step.length), bytes);
    EXPECT_EQ(step.from.ip, kLoopback);
    EXPECT_EQ(step.from.port, printerlink::LocalSocketPort(from.socket));
}

TEST(SocketIo, WakerEndsAWaitFromAnotherThreadUntilDrained) {
    printerlink::SocketWaker waker;
    ASSERT_TRUE(waker.ok());
    Udp quiet;
    printerlink::SocketReadable set[2] = {{quiet.socket}, {waker.Handle()}};
    EXPECT_EQ(printerlink::WaitReadable(set, 20ms), 0);
    std::thread waking([&] {
        std::this_thread::sleep_for(30ms);
        waker.Wake();
    });
    EXPECT_EQ(printerlink::WaitReadable(set, 5s), 1);
    waking.join();
    EXPECT_FALSE(set[0].ready);
    EXPECT_TRUE(set[1].ready);
    waker.Drain();
    EXPECT_EQ(printerlink::WaitReadable(set, 20ms), 0);
}

}  // namespace
}  // namespace linktest
