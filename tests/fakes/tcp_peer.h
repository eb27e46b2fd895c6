#pragma once
// A printer on loopback TCP: accepts connections on 127.0.0.1 (or another loopback address) and
// records, per connection, the
// bytes received, whether the client closed it and when the last byte arrived. A peer that
// stalls, resets part-way or reads slowly has a small receive buffer, as a printer has, so what
// it does not read soon stops being acknowledged.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "link/socket_io.h"

namespace fakes {

class TcpPrinterPeer {
  public:
    enum class Mode {
        Record,      // read everything until the client closes
        ResetAfter,  // read `limit` bytes of each connection, then reset it
        StallAfter,  // read `limit` bytes of each connection, then stop reading (kept open)
        Slow,        // read at most `limit` bytes of a connection every 20 ms, to the end
        Hold,        // read everything; after the client's end keep this side open (as a
                     // printer that closes only when the sender does), until the peer ends or
                     // more than 64 are held
    };
    struct Connection {
        std::vector<uint8_t> bytes;
        bool closed = false;  // end of stream or reset seen (Hold: its side still open)
        std::chrono::steady_clock::time_point lastByte{};
    };

    explicit TcpPrinterPeer(Mode mode = Mode::Record, std::size_t limit = 0);
    // A recorder on `address`:`port` of loopback (a printer's fixed port on an address of its
    // own, as a program under test reaches it).
    TcpPrinterPeer(const printerlink::Ipv4Address& address, uint16_t port);
    ~TcpPrinterPeer();
    TcpPrinterPeer(const TcpPrinterPeer&) = delete;
    TcpPrinterPeer& operator=(const TcpPrinterPeer&) = delete;

    bool ok() const { return listener_ != printerlink::kNoSocket; }
    uint16_t port() const { return port_; }

    std::size_t ConnectionCount() const;
    std::vector<Connection> Connections() const;
    // All waits give up after `timeout` and then return false.
    bool WaitForConnections(std::size_t count, std::chrono::milliseconds timeout) const;
    bool WaitForClosed(std::size_t count, std::chrono::milliseconds timeout) const;

  private:
    void Listen(const printerlink::Ipv4Address& address, uint16_t port);
    void Loop();

    Mode mode_;
    std::size_t limit_;
    printerlink::SocketHandle listener_ = printerlink::kNoSocket;
    printerlink::SocketWaker wake_;  // ends the loop
    uint16_t port_ = 0;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<Connection> connections_;
    std::thread thread_;
};

// The commands that arrived whole: the bytes of each connection that has ended, in order, leaving
// out those that carried only (a part of) the status questions a window asks after a job
// (DLE EOT 1 to 4), or nothing at all.
std::vector<std::vector<uint8_t>> DeliveredCommands(const TcpPrinterPeer& peer);

// A loopback port with nothing listening on it (bound once and released).
uint16_t UnusedLoopbackPort();

// A loopback port whose listener never accepts and whose queue is already full, so a connect
// gets no answer and times out, as to a switched-off printer.
class SilentLoopbackPort {
  public:
    SilentLoopbackPort();
    ~SilentLoopbackPort();
    SilentLoopbackPort(const SilentLoopbackPort&) = delete;
    SilentLoopbackPort& operator=(const SilentLoopbackPort&) = delete;
    bool ok() const { return port_ != 0; }
    uint16_t port() const { return port_; }

  private:
    printerlink::SocketHandle listener_ = printerlink::kNoSocket;
    printerlink::SocketHandle filler_ = printerlink::kNoSocket;  // the one connection queued
    uint16_t port_ = 0;
};

}  // namespace fakes
