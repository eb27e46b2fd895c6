#include "tests/fakes/tcp_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace fakes {
namespace {

int BindLoopback(int type, uint16_t port) {
    const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

uint16_t LocalPort(int fd) {
    sockaddr_in addr{};
    socklen_t size = sizeof addr;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &size) != 0) return 0;
    return ntohs(addr.sin_port);
}

}  // namespace

uint16_t UnusedLoopbackPort() {
    const int fd = BindLoopback(SOCK_STREAM, 0);
    if (fd < 0) return 0;
    const uint16_t port = LocalPort(fd);
    ::close(fd);
    return port;
}

SilentLoopbackPort::SilentLoopbackPort() {
    listener_ = BindLoopback(SOCK_STREAM, 0);
    // Backlog 0: the queue holds one connection; further handshakes are not answered.
    if (listener_ < 0 || ::listen(listener_, 0) != 0) return;
    const uint16_t port = LocalPort(listener_);
    filler_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (filler_ >= 0 && ::connect(filler_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0)
        port_ = port;
}

SilentLoopbackPort::~SilentLoopbackPort() {
    if (filler_ >= 0) ::close(filler_);
    if (listener_ >= 0) ::close(listener_);
}

TcpPrinterPeer::TcpPrinterPeer(Mode mode, std::size_t limit) : mode_(mode), limit_(limit) {
    listener_ = BindLoopback(SOCK_STREAM, 0);
    if (listener_ >= 0 && mode_ != Mode::Record && mode_ != Mode::ResetOnAccept) {
        // The smallest window the system allows (inherited by accepted sockets; about 1 KiB on
        // Linux), so it fills soon after reading stops, also for one command of 2 KiB.
        const int size = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    }
    wake_ = ::eventfd(0, EFD_CLOEXEC);
    if (listener_ >= 0 && (wake_ < 0 || ::listen(listener_, SOMAXCONN) != 0)) {
        ::close(listener_);
        listener_ = -1;
    }
    if (listener_ < 0) return;
    port_ = LocalPort(listener_);
    thread_ = std::thread([this] { Loop(); });
}

TcpPrinterPeer::~TcpPrinterPeer() {
    if (thread_.joinable()) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wake_, &one, sizeof one);
        thread_.join();
    }
    if (listener_ >= 0) ::close(listener_);
    if (wake_ >= 0) ::close(wake_);
}

void TcpPrinterPeer::Loop() {
    using Clock = std::chrono::steady_clock;
    constexpr auto kSlowPause = std::chrono::milliseconds(20);
    std::vector<int> open;        // client sockets still read
    std::vector<std::size_t> at;  // their connection index
    std::vector<int> stalled;     // StallAfter: open but no longer read
    Clock::time_point nextSlowRead{};
    for (;;) {
        // A slow peer leaves its connections alone until its pause is over.
        const bool resting = mode_ == Mode::Slow && Clock::now() < nextSlowRead;
        std::vector<pollfd> fds{{wake_, POLLIN, 0}, {listener_, POLLIN, 0}};
        for (int fd : open) fds.push_back({resting ? -1 : fd, POLLIN, 0});  // -1: not polled
        const int timeout = resting ? static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(
                                                           nextSlowRead - Clock::now())
                                                           .count())
                                    : 1000;
        if (::poll(fds.data(), fds.size(), std::max(timeout, 0)) < 0 && errno != EINTR) break;
        if (fds[0].revents) break;
        if (fds[1].revents & POLLIN) {
            const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0) {
                std::lock_guard lock(mutex_);
                connections_.emplace_back();
                if (mode_ == Mode::ResetOnAccept) {
                    linger hard{1, 0};
                    ::setsockopt(client, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
                    ::close(client);
                    connections_.back().closed = true;
                } else {
                    open.push_back(client);
                    at.push_back(connections_.size() - 1);
                }
                changed_.notify_all();
            }
        }
        for (std::size_t i = 2; i < fds.size(); ++i) {
            if (!fds[i].revents) continue;
            const std::size_t k = i - 2;
            const bool limited = mode_ == Mode::ResetAfter || mode_ == Mode::StallAfter;
            std::size_t want = 4096;
            if (mode_ == Mode::Slow) {
                want = std::min(want, limit_);
                nextSlowRead = Clock::now() + kSlowPause;
            }
            if (limited) {
                std::lock_guard lock(mutex_);
                want = std::min(want, limit_ - connections_[at[k]].bytes.size());
            }
            uint8_t chunk[4096];
            const ssize_t n = want == 0 ? 0 : ::recv(open[k], chunk, want, 0);
            if (n < 0 && errno == EINTR) continue;
            std::lock_guard lock(mutex_);
            Connection& c = connections_[at[k]];
            if (n > 0) {
                c.bytes.insert(c.bytes.end(), chunk, chunk + n);
                c.lastByte = std::chrono::steady_clock::now();
            }
            if (limited && c.bytes.size() >= limit_) {
                if (mode_ == Mode::ResetAfter) {
                    linger hard{1, 0};
                    ::setsockopt(open[k], SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
                    ::close(open[k]);
                    c.closed = true;
                } else {
                    stalled.push_back(open[k]);  // kept open, never read again
                }
                open[k] = -1;
            } else if (n <= 0) {
                c.closed = true;
                ::close(open[k]);
                open[k] = -1;
            }
            changed_.notify_all();
        }
        for (std::size_t k = open.size(); k-- > 0;) {
            if (open[k] < 0) {
                open.erase(open.begin() + static_cast<long>(k));
                at.erase(at.begin() + static_cast<long>(k));
            }
        }
    }
    for (int fd : open) ::close(fd);
    for (int fd : stalled) ::close(fd);
}

std::size_t TcpPrinterPeer::ConnectionCount() const {
    std::lock_guard lock(mutex_);
    return connections_.size();
}

std::vector<TcpPrinterPeer::Connection> TcpPrinterPeer::Connections() const {
    std::lock_guard lock(mutex_);
    return connections_;
}

bool TcpPrinterPeer::WaitForConnections(std::size_t count,
                                        std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return connections_.size() >= count; });
}

bool TcpPrinterPeer::WaitForClosed(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] {
        std::size_t closed = 0;
        for (const Connection& c : connections_) closed += c.closed ? 1 : 0;
        return closed >= count;
    });
}

}  // namespace fakes
