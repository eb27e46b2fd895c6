#pragma once
// The system's stream sockets behind a small portable interface: the one place that knows
// whether they are POSIX sockets or Winsock. Sockets made here are non-blocking; error codes are
// the system's own (errno values on POSIX).

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace printerlink {

enum class TcpFault;

using SocketHandle = std::uintptr_t;
inline constexpr SocketHandle kNoSocket = ~SocketHandle{0};

// Connects a TCP socket to ip:port, giving up after `timeout`. Returns the connected,
// non-blocking socket, or kNoSocket with `error` set (the system's time-out code when the
// time-out passed).
SocketHandle ConnectTcpSocket(const std::array<uint8_t, 4>& ip, uint16_t port,
                              std::chrono::milliseconds timeout, int& error);

struct SendStep {
    std::size_t taken = 0;
    bool wouldBlock = false;  // no room now: nothing was taken, no error
    int error = 0;            // the failure when neither of the above
};
// One non-blocking send call (never raises SIGPIPE).
SendStep SendOnSocket(SocketHandle socket, const uint8_t* bytes, std::size_t length);

enum class SocketWait { Ready, TimedOut, Failed };
// Waits at most `limit` for room to send (`writable`), or only for an error or hang-up. Failed
// means the connection has an error pending (see PendingSocketError).
SocketWait WaitOnSocket(SocketHandle socket, bool writable, std::chrono::milliseconds limit);

// The error pending on the socket (SO_ERROR), 0 when none.
int PendingSocketError(SocketHandle socket);

// Bytes sent but not yet acknowledged by the peer; nullopt where the system cannot tell.
std::optional<std::size_t> UnacknowledgedBytes(SocketHandle socket);

// Closes after handing the queued bytes to the system, waiting at most `limit` for the peer to
// acknowledge them. False when the wait took the whole time (the peer did not take them).
bool CloseLingering(SocketHandle socket, std::chrono::milliseconds limit);
// Closes at once; `abortive` resets the connection and discards anything still queued.
void CloseSocket(SocketHandle socket, bool abortive);

// How a connect or send error is reported.
TcpFault ClassifySocketError(int error);
// The system's text for an error code, e.g. "Connection refused".
std::string SocketErrorText(int error);

}  // namespace printerlink
