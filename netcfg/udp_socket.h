#pragma once
// The two UDP sockets of both programs: the reply socket bound to port 8999 on all local addresses
// (only one copy of the program can hold it) and the broadcast socket.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "link/socket_io.h"

namespace netcfg {

// An IPv4 UDP destination, address in host order.
struct Ipv4Endpoint {
    uint32_t address = 0;
    uint16_t port = 0;

    // Dotted-quad text ("255.255.255.255") and a port; nullopt when the text is no address.
    static std::optional<Ipv4Endpoint> Parse(const std::string& dotted, uint16_t port);
};

class UdpSocket {
  public:
    UdpSocket() = default;
    ~UdpSocket();
    UdpSocket(UdpSocket&& other) noexcept;
    UdpSocket& operator=(UdpSocket&& other) noexcept;
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // IPv4 datagram socket bound to `port` on INADDR_ANY (0: any free port). No address reuse:
    // the bind fails while another socket holds the port. Invalid on failure.
    static UdpSocket BindAny(uint16_t port);
    // IPv4 UDP socket with SO_BROADCAST enabled. Invalid when no socket can be created.
    static UdpSocket Broadcast();

    bool IsValid() const { return handle_ != printerlink::kNoSocket; }
    printerlink::SocketHandle Handle() const { return handle_; }
    // The handle as a number for checks, -1 when invalid.
    int Fd() const { return IsValid() ? static_cast<int>(handle_) : -1; }
    // The bound local port, 0 when unbound or invalid.
    uint16_t LocalPort() const;
    // Sends `bytes` as one datagram; true when all of it left.
    bool SendTo(const Ipv4Endpoint& to, std::span<const uint8_t> bytes) const;
    // Wakes a thread blocked in a receive on this socket (it then receives Shut); the socket
    // stays open until Close.
    void Shutdown() const;
    void Close();

  private:
    explicit UdpSocket(printerlink::SocketHandle handle) : handle_(handle) {}
    printerlink::SocketHandle handle_ = printerlink::kNoSocket;
};

}  // namespace netcfg
