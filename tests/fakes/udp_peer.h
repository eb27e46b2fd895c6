#pragma once
// A UDP endpoint on 127.0.0.1 that records the datagrams it receives and sends only to loopback.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "link/socket_io.h"

namespace fakes {

class UdpPeer {
  public:
    struct Datagram {
        std::vector<uint8_t> bytes;
        uint32_t fromAddress = 0;  // host order
        uint16_t fromPort = 0;
    };

    // Binds 127.0.0.1:`port` (0 = any free port).
    explicit UdpPeer(uint16_t port = 0);
    ~UdpPeer();
    UdpPeer(const UdpPeer&) = delete;
    UdpPeer& operator=(const UdpPeer&) = delete;

    bool ok() const { return socket_ != printerlink::kNoSocket; }
    uint16_t port() const { return port_; }

    std::vector<Datagram> Datagrams() const;
    bool WaitForDatagrams(std::size_t count, std::chrono::milliseconds timeout) const;
    // Sends from this peer's socket; refuses (false) any address outside 127.0.0.0/8.
    bool SendTo(uint16_t port, const std::vector<uint8_t>& bytes,
                uint32_t address = 0x7f000001) const;

  private:
    void Loop();

    printerlink::SocketHandle socket_ = printerlink::kNoSocket;
    printerlink::SocketWaker wake_;
    uint16_t port_ = 0;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<Datagram> datagrams_;
    std::thread thread_;
};

}  // namespace fakes
