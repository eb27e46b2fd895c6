#include "tests/fakes/udp_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace fakes {

UdpPeer::UdpPeer(uint16_t port) {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    wake_ = ::eventfd(0, EFD_CLOEXEC);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof addr;
    if (fd_ >= 0 && (wake_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), size) != 0 ||
                     ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &size) != 0)) {
        ::close(fd_);
        fd_ = -1;
    }
    if (fd_ < 0) return;
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { Loop(); });
}

UdpPeer::~UdpPeer() {
    if (thread_.joinable()) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wake_, &one, sizeof one);
        thread_.join();
    }
    if (fd_ >= 0) ::close(fd_);
    if (wake_ >= 0) ::close(wake_);
}

void UdpPeer::Loop() {
    for (;;) {
        pollfd fds[2] = {{wake_, POLLIN, 0}, {fd_, POLLIN, 0}};
        if (::poll(fds, 2, 1000) < 0 && errno != EINTR) return;
        if (fds[0].revents) return;
        if (!(fds[1].revents & POLLIN)) continue;
        uint8_t buffer[65536];
        sockaddr_in from{};
        socklen_t size = sizeof from;
        const ssize_t n =
            ::recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &size);
        if (n < 0) continue;
        std::lock_guard lock(mutex_);
        datagrams_.push_back(
            {{buffer, buffer + n}, ntohl(from.sin_addr.s_addr), ntohs(from.sin_port)});
        changed_.notify_all();
    }
}

std::vector<UdpPeer::Datagram> UdpPeer::Datagrams() const {
    std::lock_guard lock(mutex_);
    return datagrams_;
}

bool UdpPeer::WaitForDatagrams(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return datagrams_.size() >= count; });
}

bool UdpPeer::SendTo(uint16_t port, const std::vector<uint8_t>& bytes, uint32_t address) const {
    if (fd_ < 0 || (address >> 24) != 127) return false;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(address);
    const ssize_t n = ::sendto(fd_, bytes.data(), bytes.size(), 0,
                               reinterpret_cast<const sockaddr*>(&to), sizeof to);
    return n == static_cast<ssize_t>(bytes.size());
}

}  // namespace fakes
