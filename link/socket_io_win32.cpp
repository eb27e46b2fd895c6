// Winsock 2.2 sockets for the portable socket interface.
#include <winsock2.h>
// After winsock2.h:
#include <mswsock.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <mutex>
#include <vector>

#include "link/socket_io.h"
#include "link/tcp_link.h"
#include "platform/win32/system_text.h"

namespace printerlink {
namespace {

using Clock = std::chrono::steady_clock;

// Windows cannot tell how much of a connection's data the peer acknowledged, so the send buffer
// is kept this small: a peer that stops reading stops the sends soon, and the no-progress rule
// sees it.
constexpr int kSendBuffer = 4096;

// Winsock is started once per program, on first use, and released at its end.
struct SocketsLibrary {
    int error = 0;
    SocketsLibrary() {
        WSADATA data;
        error = ::WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~SocketsLibrary() {
        if (error == 0) ::WSACleanup();
    }
    SocketsLibrary(const SocketsLibrary&) = delete;
    SocketsLibrary& operator=(const SocketsLibrary&) = delete;
};

SOCKET Native(SocketHandle socket) {
    return static_cast<SOCKET>(socket);
}

SocketHandle FromNative(SOCKET socket) {
    return socket == INVALID_SOCKET ? kNoSocket : static_cast<SocketHandle>(socket);
}

// A socket not inherited by child programs; INVALID_SOCKET with `error` set on failure.
SOCKET NewSocket(int type, int protocol, int& error) {
    error = StartSockets();
    if (error != 0) return INVALID_SOCKET;
    SOCKET s = ::WSASocketW(AF_INET, type, protocol, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    // Windows 7 without its first service pack does not know the flag.
    if (s == INVALID_SOCKET && ::WSAGetLastError() == WSAEINVAL)
        s = ::WSASocketW(AF_INET, type, protocol, nullptr, 0, 0);
    error = s == INVALID_SOCKET ? ::WSAGetLastError() : 0;
    return s;
}

bool MakeNonBlocking(SOCKET s, bool on) {
    u_long value = on ? 1 : 0;
    return ::ioctlsocket(s, FIONBIO, &value) == 0;
}

template <typename T>
void SetOption(SOCKET s, int level, int name, const T& value) {
    ::setsockopt(s, level, name, reinterpret_cast<const char*>(&value), sizeof value);
}

// A datagram socket does not report an earlier send's "port unreachable" as a receive error.
void IgnorePortUnreachable(SOCKET s) {
    BOOL off = FALSE;
    DWORD returned = 0;
    ::WSAIoctl(s, SIO_UDP_CONNRESET, &off, sizeof off, nullptr, 0, &returned, nullptr, nullptr);
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

timeval ToTimeval(std::chrono::milliseconds limit) {
    const long long ms = std::clamp<long long>(limit.count(), 0, 24LL * 3600 * 1000);
    return timeval{static_cast<long>(ms / 1000), static_cast<long>(ms % 1000) * 1000};
}

// Datagram sockets that ShutdownSocket marked: Winsock has no shutdown that wakes a blocked
// receive, so a marked socket is woken by a datagram of its own and then reports Shut.
std::mutex shutMutex;
std::vector<SocketHandle> shutSockets;

bool IsShut(SocketHandle socket) {
    const std::lock_guard lock(shutMutex);
    return std::find(shutSockets.begin(), shutSockets.end(), socket) != shutSockets.end();
}

void Forget(SocketHandle socket) {
    const std::lock_guard lock(shutMutex);
    std::erase(shutSockets, socket);
}

}  // namespace

int StartSockets() {
    static SocketsLibrary library;
    return library.error;
}

int LastSocketError() {
    return ::WSAGetLastError();
}

SocketHandle ConnectTcpSocket(const Ipv4Address& ip, uint16_t port,
                              std::chrono::milliseconds timeout, int& error) {
    const SOCKET s = NewSocket(SOCK_STREAM, IPPROTO_TCP, error);
    if (s == INVALID_SOCKET) return kNoSocket;
    SetOption(s, SOL_SOCKET, SO_SNDBUF, kSendBuffer);
    if (!MakeNonBlocking(s, true)) {
        error = ::WSAGetLastError();
        ::closesocket(s);
        ::WSASetLastError(error);
        return kNoSocket;
    }
    const sockaddr_in addr = Address(ip, port);
    if (::connect(s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == SOCKET_ERROR) {
        error = ::WSAGetLastError();
        if (error == WSAEWOULDBLOCK) {
            // A failed connect shows in the exception set, a made one in the write set.
            fd_set writable, failed;
            FD_ZERO(&writable);
            FD_ZERO(&failed);
            FD_SET(s, &writable);
            FD_SET(s, &failed);
            timeval limit = ToTimeval(timeout);
            const int ready = ::select(0, nullptr, &writable, &failed, &limit);
            if (ready == 0) {
                error = WSAETIMEDOUT;
            } else if (ready == SOCKET_ERROR) {
                error = ::WSAGetLastError();
            } else {
                error = PendingSocketError(static_cast<SocketHandle>(s));
                if (error == 0 && FD_ISSET(s, &failed)) error = WSAECONNREFUSED;
            }
        }
    }
    if (error != 0) {
        ::closesocket(s);
        ::WSASetLastError(error);
        return kNoSocket;
    }
    return FromNative(s);
}

SendStep SendOnSocket(SocketHandle socket, const uint8_t* bytes, std::size_t length) {
    const int piece = static_cast<int>(std::min<std::size_t>(length, INT_MAX));
    for (;;) {
        const int n = ::send(Native(socket), reinterpret_cast<const char*>(bytes), piece, 0);
        if (n != SOCKET_ERROR) return {static_cast<std::size_t>(n), n == 0 && length > 0, 0};
        const int error = ::WSAGetLastError();
        if (error == WSAEINTR) continue;
        if (error == WSAEWOULDBLOCK) return {0, true, 0};
        return {0, false, error};
    }
}

SocketWait WaitOnSocket(SocketHandle socket, bool writable, std::chrono::milliseconds limit) {
    const SOCKET s = Native(socket);
    fd_set room, failed;
    FD_ZERO(&room);
    FD_ZERO(&failed);
    FD_SET(s, &room);
    FD_SET(s, &failed);
    timeval wait = ToTimeval(limit);
    const int ready = ::select(0, nullptr, writable ? &room : nullptr, &failed, &wait);
    if (ready == 0) return SocketWait::TimedOut;
    if (ready == SOCKET_ERROR || FD_ISSET(s, &failed)) return SocketWait::Failed;
    return SocketWait::Ready;
}

int PendingSocketError(SocketHandle socket) {
    int error = 0;
    int size = sizeof error;
    if (::getsockopt(Native(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error),
                     &size) != 0)
        return ::WSAGetLastError();
    return error;
}

std::optional<std::size_t> UnacknowledgedBytes(SocketHandle) {
    return std::nullopt;
}

int EndSending(SocketHandle socket) {
    return ::shutdown(Native(socket), SD_SEND) == 0 ? 0 : ::WSAGetLastError();
}

int CloseLingering(SocketHandle socket, std::chrono::milliseconds limit) {
    const SOCKET s = Native(socket);
    // The system's close waits for the acknowledgement of what is still queued.
    Forget(socket);
    MakeNonBlocking(s, false);
    const auto seconds =
        std::clamp<long long>(std::chrono::ceil<std::chrono::seconds>(limit).count(), 1, USHRT_MAX);
    const linger wait{1, static_cast<u_short>(seconds)};
    SetOption(s, SOL_SOCKET, SO_LINGER, wait);
    const auto start = Clock::now();
    const int closed = ::closesocket(s);
    // A close that took the whole linger time was cut off with a reset. The system's timer is
    // coarse: a close ending just short of the time counts as cut off too.
    const auto took = Clock::now() - start;
    if (closed == 0 && took < std::chrono::seconds(seconds) - std::chrono::milliseconds(50))
        return 0;
    return WSAETIMEDOUT;
}

void CloseSocket(SocketHandle socket, bool abortive) {
    if (socket == kNoSocket) return;
    Forget(socket);
    if (abortive) SetOption(Native(socket), SOL_SOCKET, SO_LINGER, linger{1, 0});
    ::closesocket(Native(socket));
}

TcpFault ClassifySocketError(int error) {
    switch (error) {
        case 0:
            return TcpFault::None;
        case WSAECONNREFUSED:
            return TcpFault::Refused;
        case WSAEHOSTUNREACH:
        case WSAENETUNREACH:
        case WSAEHOSTDOWN:
        case WSAENETDOWN:
            return TcpFault::Unreachable;
        case WSAETIMEDOUT:
            return TcpFault::TimedOut;
        case WSAECONNRESET:
        case WSAECONNABORTED:
        case WSAENETRESET:
        case WSAESHUTDOWN:
        case WSAENOTCONN:  // a reset already taken from the socket
            return TcpFault::Reset;
        default:
            return TcpFault::Other;
    }
}

std::string SocketErrorText(int error) {
    // The words a Linux build uses, whatever the language of this Windows.
    switch (error) {
        case WSAECONNREFUSED:
            return "Connection refused";
        case WSAEHOSTUNREACH:
            return "No route to host";
        case WSAENETUNREACH:
            return "Network is unreachable";
        case WSAEHOSTDOWN:
            return "Host is down";
        case WSAENETDOWN:
            return "Network is down";
        case WSAETIMEDOUT:
            return "Connection timed out";
        case WSAECONNRESET:
            return "Connection reset by peer";
        case WSAECONNABORTED:
            return "Software caused connection abort";
        case WSAEADDRINUSE:
            return "Address already in use";
        case WSAEADDRNOTAVAIL:
            return "Cannot assign requested address";
        case WSAEACCES:
            return "Permission denied";
        case WSAEMSGSIZE:
            return "Message too long";
        case WSANOTINITIALISED:
            return "The sockets library could not be started";
        default:
            break;
    }
    return platform::SystemErrorText(static_cast<unsigned long>(error));
}

SocketHandle ListenTcpSocket(const Ipv4Address& ip, uint16_t port, int backlog, int receiveBuffer,
                             int& error) {
    const SOCKET s = NewSocket(SOCK_STREAM, IPPROTO_TCP, error);
    if (s == INVALID_SOCKET) return kNoSocket;
    // No SO_REUSEADDR: on Windows it would let another program take the port.
    if (receiveBuffer > 0) SetOption(s, SOL_SOCKET, SO_RCVBUF, receiveBuffer);
    const sockaddr_in addr = Address(ip, port);
    if (!MakeNonBlocking(s, true) ||
        ::bind(s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == SOCKET_ERROR ||
        ::listen(s, backlog) == SOCKET_ERROR) {
        error = ::WSAGetLastError();
        ::closesocket(s);
        ::WSASetLastError(error);
        return kNoSocket;
    }
    return FromNative(s);
}

AcceptStep AcceptTcpSocket(SocketHandle listener) {
    AcceptStep step;
    sockaddr_in peer{};
    int length = sizeof peer;
    const SOCKET s = ::accept(Native(listener), reinterpret_cast<sockaddr*>(&peer), &length);
    if (s == INVALID_SOCKET) {
        const int error = ::WSAGetLastError();
        step.again = error == WSAEWOULDBLOCK || error == WSAEINTR || error == WSAECONNRESET;
        step.error = step.again ? 0 : error;
        return step;
    }
    MakeNonBlocking(s, true);
    step.socket = FromNative(s);
    step.peer = FromAddress(peer);
    return step;
}

ReceiveStep ReceiveOnSocket(SocketHandle socket, uint8_t* buffer, std::size_t capacity) {
    const int want = static_cast<int>(std::min<std::size_t>(capacity, INT_MAX));
    for (;;) {
        const int n = ::recv(Native(socket), reinterpret_cast<char*>(buffer), want, 0);
        if (n > 0) return {Received::Data, static_cast<std::size_t>(n), {}, 0};
        if (n == 0) {
            // Wine's receive reports a reset as the stream's end; its poll still tells them
            // apart (an error beside the hang-up).
            WSAPOLLFD state{Native(socket), POLLRDNORM, 0};
            if (::WSAPoll(&state, 1, 0) == 1 && (state.revents & POLLERR) != 0)
                return {Received::Failed, 0, {}, WSAECONNRESET};
            return {Received::Closed, 0, {}, 0};
        }
        const int error = ::WSAGetLastError();
        if (error == WSAEINTR) continue;
        if (error == WSAEWOULDBLOCK) return {Received::WouldBlock, 0, {}, 0};
        return {Received::Failed, 0, {}, error};
    }
}

std::optional<std::size_t> UnreadBytes(SocketHandle socket) {
    u_long unread = 0;
    if (::ioctlsocket(Native(socket), FIONREAD, &unread) != 0) return std::nullopt;
    return static_cast<std::size_t>(unread);
}

int WaitReadable(std::span<SocketReadable> sockets, std::chrono::milliseconds limit) {
    std::vector<WSAPOLLFD> fds;
    fds.reserve(sockets.size());
    for (const SocketReadable& s : sockets) fds.push_back({Native(s.socket), POLLRDNORM, 0});
    const int wait = limit.count() < 0
                         ? -1
                         : static_cast<int>(std::min<long long>(limit.count(), 24LL * 3600 * 1000));
    const int ready = ::WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), wait);
    if (ready == SOCKET_ERROR) return -1;
    for (std::size_t i = 0; i < sockets.size(); ++i)
        sockets[i].ready = ready > 0 && fds[i].revents != 0;
    return ready;
}

// A datagram socket on loopback that sends to itself.
SocketWaker::SocketWaker() {
    int error = 0;
    const SocketHandle s = BindUdpSocket({127, 0, 0, 1}, 0, error);
    if (s == kNoSocket) return;
    MakeNonBlocking(Native(s), true);
    read_ = write_ = s;
}

SocketWaker::~SocketWaker() {
    CloseSocket(read_, false);  // write_ is the same socket
}

void SocketWaker::Wake() const {
    const char byte = 1;
    const sockaddr_in self = Address({127, 0, 0, 1}, LocalSocketPort(write_));
    ::sendto(Native(write_), &byte, 1, 0, reinterpret_cast<const sockaddr*>(&self), sizeof self);
}

void SocketWaker::Drain() const {
    char bytes[64];
    while (::recv(Native(read_), bytes, sizeof bytes, 0) != SOCKET_ERROR) {
    }
}

SocketHandle BindUdpSocket(const Ipv4Address& ip, uint16_t port, int& error) {
    const SOCKET s = NewSocket(SOCK_DGRAM, IPPROTO_UDP, error);
    if (s == INVALID_SOCKET) return kNoSocket;
    IgnorePortUnreachable(s);
    // Nobody else may share the port, not even with SO_REUSEADDR.
    SetOption(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, BOOL{TRUE});
    const sockaddr_in addr = Address(ip, port);
    if (::bind(s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == SOCKET_ERROR) {
        error = ::WSAGetLastError();
        ::closesocket(s);
        ::WSASetLastError(error);
        return kNoSocket;
    }
    return FromNative(s);
}

SocketHandle OpenBroadcastSocket(int& error) {
    const SOCKET s = NewSocket(SOCK_DGRAM, IPPROTO_UDP, error);
    if (s == INVALID_SOCKET) return kNoSocket;
    IgnorePortUnreachable(s);
    SetOption(s, SOL_SOCKET, SO_BROADCAST, BOOL{TRUE});  // a refusal shows on sending
    return FromNative(s);
}

uint16_t LocalSocketPort(SocketHandle socket) {
    if (socket == kNoSocket) return 0;
    sockaddr_in addr{};
    int length = sizeof addr;
    if (::getsockname(Native(socket), reinterpret_cast<sockaddr*>(&addr), &length) != 0) return 0;
    return ntohs(addr.sin_port);
}

int SendDatagram(SocketHandle socket, const SocketAddress& to, std::span<const uint8_t> bytes) {
    const sockaddr_in addr = Address(to.ip, to.port);
    const int sent = ::sendto(Native(socket), reinterpret_cast<const char*>(bytes.data()),
                              static_cast<int>(std::min<std::size_t>(bytes.size(), INT_MAX)), 0,
                              reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    if (sent == SOCKET_ERROR) return ::WSAGetLastError();
    return static_cast<std::size_t>(sent) == bytes.size() ? 0 : WSAEMSGSIZE;
}

ReceiveStep ReceiveDatagram(SocketHandle socket, uint8_t* buffer, std::size_t capacity) {
    if (IsShut(socket)) return {Received::Shut, 0, {}, 0};
    sockaddr_in from{};
    int fromLength = sizeof from;
    const int n = ::recvfrom(Native(socket), reinterpret_cast<char*>(buffer),
                             static_cast<int>(std::min<std::size_t>(capacity, INT_MAX)), 0,
                             reinterpret_cast<sockaddr*>(&from), &fromLength);
    const int error = n == SOCKET_ERROR ? ::WSAGetLastError() : 0;
    if (IsShut(socket)) return {Received::Shut, 0, {}, 0};
    if (n != SOCKET_ERROR)
        return {Received::Data, static_cast<std::size_t>(n), FromAddress(from), 0};
    switch (error) {
        case WSAEMSGSIZE:  // longer than the buffer: cut, as on POSIX
            return {Received::Data, capacity, FromAddress(from), 0};
        case WSAEWOULDBLOCK:
            return {Received::WouldBlock, 0, {}, 0};
        case WSAENOTSOCK:
        case WSAEINTR:  // closed under the receive
        case WSAESHUTDOWN:
            return {Received::Shut, 0, {}, error};
        default:
            return {Received::Failed, 0, {}, error};
    }
}

void ShutdownSocket(SocketHandle socket) {
    if (socket == kNoSocket) return;
    {
        const std::lock_guard lock(shutMutex);
        if (std::find(shutSockets.begin(), shutSockets.end(), socket) == shutSockets.end())
            shutSockets.push_back(socket);
    }
    // Wake a receive waiting on it with an empty datagram to its own port (on loopback when it
    // listens on every address).
    sockaddr_in self{};
    int length = sizeof self;
    if (::getsockname(Native(socket), reinterpret_cast<sockaddr*>(&self), &length) != 0 ||
        self.sin_port == 0)
        return;  // unbound: nothing can be waiting on it
    if (self.sin_addr.s_addr == htonl(INADDR_ANY)) self.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int error = 0;
    const SOCKET waker = NewSocket(SOCK_DGRAM, IPPROTO_UDP, error);
    if (waker == INVALID_SOCKET) return;
    ::sendto(waker, "", 0, 0, reinterpret_cast<const sockaddr*>(&self), sizeof self);
    ::closesocket(waker);
}

}  // namespace printerlink
