#include "netcfg/udp_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <utility>

namespace netcfg {

UdpSocket::~UdpSocket() {
    Close();
}

UdpSocket::UdpSocket(UdpSocket&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

UdpSocket& UdpSocket::operator=(UdpSocket&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

UdpSocket UdpSocket::BindAny(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return UdpSocket();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(port);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return UdpSocket();
    }
    return UdpSocket(fd);
}

UdpSocket UdpSocket::Broadcast() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd < 0) return UdpSocket();
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);  // a refusal shows on sending
    return UdpSocket(fd);
}

uint16_t UdpSocket::LocalPort() const {
    if (fd_ < 0) return 0;
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
    return ntohs(address.sin_port);
}

std::optional<Ipv4Endpoint> Ipv4Endpoint::Parse(const std::string& dotted, uint16_t port) {
    in_addr address{};
    if (::inet_pton(AF_INET, dotted.c_str(), &address) != 1) return std::nullopt;
    return Ipv4Endpoint{ntohl(address.s_addr), port};
}

bool UdpSocket::SendTo(const Ipv4Endpoint& to, std::span<const uint8_t> bytes) const {
    if (fd_ < 0) return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(to.address);
    address.sin_port = htons(to.port);
    const ssize_t sent = ::sendto(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL,
                                  reinterpret_cast<const sockaddr*>(&address), sizeof address);
    return sent == static_cast<ssize_t>(bytes.size());
}

void UdpSocket::Shutdown() const {
    // An unconnected datagram socket reports ENOTCONN but still marks itself shut and wakes
    // its readers.
    if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
}

void UdpSocket::Close() {
    if (fd_ >= 0) ::close(std::exchange(fd_, -1));
}

}  // namespace netcfg
