// POSIX sockets for the portable socket interface.
#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "link/socket_io.h"
#include "link/tcp_link.h"

namespace printerlink {
namespace {

int Fd(SocketHandle socket) {
    return static_cast<int>(socket);
}

SocketHandle FromFd(int fd) {
    return fd < 0 ? kNoSocket : static_cast<SocketHandle>(fd);
}

sockaddr_in Address(const Ipv4Address& ip, uint16_t port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    std::memcpy(&addr.sin_addr, ip.data(), ip.size());  // first octet first
    return addr;
}

SocketAddress FromAddress(const sockaddr_in& addr) {
    SocketAddress out;
    std::memcpy(out.ip.data(), &addr.sin_addr, out.ip.size());
    out.port = ntohs(addr.sin_port);
    return out;
}

// A socket bound to ip:port; -1 with `error` set on failure.
int BoundSocket(int type, const Ipv4Address& ip, uint16_t port, int& error) {
    const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = errno;
        return -1;
    }
    const sockaddr_in addr = Address(ip, port);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    error = 0;
    return fd;
}

// poll() for up to `limit`, resumed after signals with the time left.
int PollFor(pollfd& p, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        const int ready = ::poll(
            &p, 1, static_cast<int>(std::clamp<long long>(left.count(), 0, 24LL * 3600 * 1000)));
        if (ready >= 0 || errno != EINTR) return ready;
    }
}

}  // namespace

int StartSockets() {
    return 0;
}

int LastSocketError() {
    return errno;
}

SocketHandle ConnectTcpSocket(const Ipv4Address& ip, uint16_t port,
                              std::chrono::milliseconds timeout, int& error) {
    error = 0;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = errno;
        return kNoSocket;
    }
    const sockaddr_in addr = Address(ip, port);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        error = errno;
        if (error == EINPROGRESS || error == EINTR) {
            pollfd p{fd, POLLOUT, 0};
            const int ready = PollFor(p, timeout);
            if (ready == 0) {
                error = ETIMEDOUT;
            } else if (ready < 0) {
                error = errno;
            } else {
                socklen_t size = sizeof error;
                if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) error = errno;
            }
        }
    }
    if (error != 0) {
        ::close(fd);
        errno = error;
        return kNoSocket;
    }
    return static_cast<SocketHandle>(fd);
}

SendStep SendOnSocket(SocketHandle socket, const uint8_t* bytes, std::size_t length) {
    for (;;) {
        const ssize_t n = ::send(Fd(socket), bytes, length, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n >= 0) return {static_cast<std::size_t>(n), n == 0 && length > 0, 0};
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return {0, true, 0};
        return {0, false, errno};
    }
}

SocketWait WaitOnSocket(SocketHandle socket, bool writable, std::chrono::milliseconds limit) {
    pollfd p{Fd(socket), static_cast<short>(writable ? POLLOUT : 0), 0};
    const int ready = PollFor(p, limit);
    if (ready == 0) return SocketWait::TimedOut;
    if (ready < 0 || (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) return SocketWait::Failed;
    return SocketWait::Ready;
}

int PendingSocketError(SocketHandle socket) {
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(Fd(socket), SOL_SOCKET, SO_ERROR, &error, &size) != 0) return errno;
    return error;
}

std::optional<std::size_t> UnacknowledgedBytes(SocketHandle socket) {
    int queued = 0;
    if (::ioctl(Fd(socket), SIOCOUTQ, &queued) != 0 || queued < 0) return std::nullopt;
    return static_cast<std::size_t>(queued);
}

int EndSending(SocketHandle socket) {
    return ::shutdown(Fd(socket), SHUT_WR) == 0 ? 0 : errno;
}

int CloseLingering(SocketHandle socket, std::chrono::milliseconds limit) {
    const int fd = Fd(socket);
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    const auto seconds = std::chrono::ceil<std::chrono::seconds>(limit);
    const linger wait{1, static_cast<int>(std::max<long long>(1, seconds.count()))};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &wait, sizeof wait);
    const auto start = std::chrono::steady_clock::now();
    ::close(fd);
    return std::chrono::steady_clock::now() - start < seconds ? 0 : ETIMEDOUT;
}

void CloseSocket(SocketHandle socket, bool abortive) {
    if (socket == kNoSocket) return;
    const int fd = Fd(socket);
    if (abortive) {
        const linger hard{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    }
    ::close(fd);
}

TcpFault ClassifySocketError(int error) {
    switch (error) {
        case 0:
            return TcpFault::None;
        case ECONNREFUSED:
            return TcpFault::Refused;
        case EHOSTUNREACH:
        case ENETUNREACH:
        case EHOSTDOWN:
        case ENETDOWN:
            return TcpFault::Unreachable;
        case ETIMEDOUT:
            return TcpFault::TimedOut;
        case ECONNRESET:
        case EPIPE:
        case ECONNABORTED:
        case ENOTCONN:  // a reset already taken from the socket
            return TcpFault::Reset;
        default:
            return TcpFault::Other;
    }
}

std::string SocketErrorText(int error) {
    return std::strerror(error);
}

SocketHandle ListenTcpSocket(const Ipv4Address& ip, uint16_t port, int backlog, int receiveBuffer,
                             int& error) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        error = errno;
        return kNoSocket;
    }
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    // Before listen, so accepted connections inherit it and announce a small window.
    if (receiveBuffer > 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    const sockaddr_in addr = Address(ip, port);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(fd, backlog) != 0) {
        error = errno;
        ::close(fd);
        errno = error;
        return kNoSocket;
    }
    error = 0;
    return FromFd(fd);
}

AcceptStep AcceptTcpSocket(SocketHandle listener) {
    AcceptStep step;
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    const int fd = ::accept4(Fd(listener), reinterpret_cast<sockaddr*>(&peer), &length,
                             SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
        step.again =
            errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR || errno == ECONNABORTED;
        step.error = step.again ? 0 : errno;
        return step;
    }
    step.socket = FromFd(fd);
    step.peer = FromAddress(peer);
    return step;
}

ReceiveStep ReceiveOnSocket(SocketHandle socket, uint8_t* buffer, std::size_t capacity) {
    for (;;) {
        const ssize_t n = ::recv(Fd(socket), buffer, capacity, 0);
        if (n > 0) return {Received::Data, static_cast<std::size_t>(n), {}, 0};
        if (n == 0) return {Received::Closed, 0, {}, 0};
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return {Received::WouldBlock, 0, {}, 0};
        return {Received::Failed, 0, {}, errno};
    }
}

std::optional<std::size_t> UnreadBytes(SocketHandle socket) {
    int unread = 0;
    if (::ioctl(Fd(socket), FIONREAD, &unread) != 0 || unread < 0) return std::nullopt;
    return static_cast<std::size_t>(unread);
}

int WaitReadable(std::span<SocketReadable> sockets, std::chrono::milliseconds limit) {
    std::vector<pollfd> fds;
    fds.reserve(sockets.size());
    for (const SocketReadable& s : sockets) fds.push_back({Fd(s.socket), POLLIN, 0});
    int ready = 0;
    if (limit.count() < 0) {
        do {
            ready = ::poll(fds.data(), fds.size(), -1);
        } while (ready < 0 && errno == EINTR);
    } else {
        // A signal ends the wait early, with nothing ready: callers look again.
        ready = ::poll(fds.data(), fds.size(),
                       static_cast<int>(std::min<long long>(limit.count(), 24LL * 3600 * 1000)));
        if (ready < 0 && errno == EINTR) ready = 0;
    }
    for (std::size_t i = 0; i < sockets.size(); ++i)
        sockets[i].ready = ready > 0 && fds[i].revents != 0;
    return ready;
}

SocketWaker::SocketWaker() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    read_ = FromFd(fds[0]);
    write_ = FromFd(fds[1]);
}

SocketWaker::~SocketWaker() {
    if (read_ != kNoSocket) ::close(Fd(read_));
    if (write_ != kNoSocket) ::close(Fd(write_));
}

void SocketWaker::Wake() const {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(Fd(write_), &byte, 1);  // async-signal-safe
}

void SocketWaker::Drain() const {
    char bytes[64];
    while (::read(Fd(read_), bytes, sizeof bytes) > 0) {
    }
}

SocketHandle BindUdpSocket(const Ipv4Address& ip, uint16_t port, int& error) {
    return FromFd(BoundSocket(SOCK_DGRAM, ip, port, error));
}

SocketHandle OpenBroadcastSocket(int& error) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd < 0) {
        error = errno;
        return kNoSocket;
    }
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);  // a refusal shows on sending
    error = 0;
    return FromFd(fd);
}

uint16_t LocalSocketPort(SocketHandle socket) {
    if (socket == kNoSocket) return 0;
    sockaddr_in addr{};
    socklen_t length = sizeof addr;
    if (::getsockname(Fd(socket), reinterpret_cast<sockaddr*>(&addr), &length) != 0) return 0;
    return ntohs(addr.sin_port);
}

int SendDatagram(SocketHandle socket, const SocketAddress& to, std::span<const uint8_t> bytes) {
    const sockaddr_in addr = Address(to.ip, to.port);
    for (;;) {
        const ssize_t sent = ::sendto(Fd(socket), bytes.data(), bytes.size(), MSG_NOSIGNAL,
                                      reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
        if (sent == static_cast<ssize_t>(bytes.size())) return 0;
        if (sent >= 0) return EMSGSIZE;
        if (errno != EINTR) return errno;
    }
}

ReceiveStep ReceiveDatagram(SocketHandle socket, uint8_t* buffer, std::size_t capacity) {
    for (;;) {
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t n = ::recvfrom(Fd(socket), buffer, capacity, 0,
                                     reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EBADF || errno == ENOTSOCK) return {Received::Shut, 0, {}, errno};
            if (errno == EAGAIN || errno == EWOULDBLOCK) return {Received::WouldBlock, 0, {}, 0};
            return {Received::Failed, 0, {}, errno};
        }
        // Zero bytes from no sender: the socket was shut down. An empty datagram names its
        // sender.
        if (n == 0 && fromLength == 0) return {Received::Shut, 0, {}, 0};
        return {Received::Data, static_cast<std::size_t>(n), FromAddress(from), 0};
    }
}

void ShutdownSocket(SocketHandle socket) {
    // An unconnected datagram socket reports ENOTCONN but still marks itself shut and wakes its
    // readers.
    if (socket != kNoSocket) ::shutdown(Fd(socket), SHUT_RDWR);
}

}  // namespace printerlink
