#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "link/device_io.h"

namespace printerlink {

int ConnectTcp(const std::array<uint8_t, 4>& ip, uint16_t port, std::chrono::milliseconds timeout) {
    // 0.0.0.0 (an address control left empty) would reach this PC itself on Linux.
    if (ip == std::array<uint8_t, 4>{0, 0, 0, 0}) return -1;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr =
        htonl(static_cast<uint32_t>(ip[0]) << 24 | static_cast<uint32_t>(ip[1]) << 16 |
              static_cast<uint32_t>(ip[2]) << 8 | ip[3]);
    int rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    if (rc != 0 && (errno == EINPROGRESS || errno == EINTR)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd p{fd, POLLOUT, 0};
            const int ready = ::poll(&p, 1, static_cast<int>(std::max<long long>(0, left.count())));
            if (ready < 0 && errno == EINTR) continue;
            if (ready <= 0) break;  // time-out or poll failure
            int error = 0;
            socklen_t size = sizeof error;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0) rc = 0;
            break;
        }
    }
    if (rc != 0) {
        ::close(fd);
        return -1;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool SendAllTcp(int fd, const uint8_t* bytes, std::size_t length, std::size_t pieceLimit) {
    if (pieceLimit == 0) return false;
    std::size_t done = 0;
    while (done < length) {
        const std::size_t piece = std::min(pieceLimit, length - done);
        const ssize_t n = ::send(fd, bytes + done, piece, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace printerlink
