// POSIX stream sockets for the portable socket interface.
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

#include "link/socket_io.h"
#include "link/tcp_link.h"

namespace printerlink {
namespace {

int Fd(SocketHandle socket) {
    return static_cast<int>(socket);
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

SocketHandle ConnectTcpSocket(const std::array<uint8_t, 4>& ip, uint16_t port,
                              std::chrono::milliseconds timeout, int& error) {
    error = 0;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = errno;
        return kNoSocket;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    std::memcpy(&addr.sin_addr, ip.data(), ip.size());  // first octet first
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

bool CloseLingering(SocketHandle socket, std::chrono::milliseconds limit) {
    const int fd = Fd(socket);
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    const auto seconds = std::chrono::ceil<std::chrono::seconds>(limit);
    const linger wait{1, static_cast<int>(std::max<long long>(1, seconds.count()))};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &wait, sizeof wait);
    const auto start = std::chrono::steady_clock::now();
    ::close(fd);
    return std::chrono::steady_clock::now() - start < seconds;
}

void CloseSocket(SocketHandle socket, bool abortive) {
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
            return TcpFault::Reset;
        default:
            return TcpFault::Other;
    }
}

std::string SocketErrorText(int error) {
    return std::strerror(error);
}

}  // namespace printerlink
