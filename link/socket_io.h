#pragma once
// The system's sockets behind a small portable interface: the one place that knows whether they
// are POSIX sockets or Winsock. Error codes are the system's own (errno values on POSIX, WSA codes
// on Windows); every function that makes a socket starts the sockets library first where the
// system has one (Winsock: once per program), so callers never do.

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace printerlink {

enum class TcpFault;

using SocketHandle = std::uintptr_t;
inline constexpr SocketHandle kNoSocket = ~SocketHandle{0};
using Ipv4Address = std::array<uint8_t, 4>;  // first octet first

struct SocketAddress {
    Ipv4Address ip{};
    uint16_t port = 0;
};

// Starts the system's sockets library where it has one (Winsock, once per program); 0 or the
// error. Every function here that makes a socket calls it; other callers of the system's
// network functions (host-name lookups) call it first.
int StartSockets();

// The error code of the last failed socket call on this thread. The functions here that fail
// leave their error there too.
int LastSocketError();

// ---- Stream sockets to a printer

// Connects a TCP socket to ip:port, giving up after `timeout`. Returns the connected,
// non-blocking socket, or kNoSocket with `error` set (the system's time-out code when the
// time-out passed). Where the system cannot tell how much the peer acknowledged (see
// UnacknowledgedBytes), the socket's send buffer is kept small, so a peer that stops reading
// soon stops the sends.
SocketHandle ConnectTcpSocket(const Ipv4Address& ip, uint16_t port,
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

// Ends this side's sending (a FIN after the queued bytes); the peer can still send. 0 or the
// error.
int EndSending(SocketHandle socket);
// Closes after handing the queued bytes to the system, waiting at most `limit` for the peer to
// acknowledge them. 0 when it did; else the system's time-out code when the wait took the whole
// time (the peer did not take them), or the code of a reset that was seen.
int CloseLingering(SocketHandle socket, std::chrono::milliseconds limit);
// Closes at once; `abortive` resets the connection and discards anything still queued. Nothing
// happens for kNoSocket.
void CloseSocket(SocketHandle socket, bool abortive);

// How a connect or send error is reported.
TcpFault ClassifySocketError(int error);
// The error in words, the same on every system for the errors a printer link meets
// ("Connection refused", "Connection reset by peer", ...), else the system's own text.
std::string SocketErrorText(int error);

// ---- Listening and reading (the virtual printer, test peers)

// A TCP socket listening on ip:port (port 0: any free one), non-blocking, with a receive buffer
// of `receiveBuffer` bytes (0: the system's) that accepted connections inherit. kNoSocket with
// `error` set on failure.
SocketHandle ListenTcpSocket(const Ipv4Address& ip, uint16_t port, int backlog, int receiveBuffer,
                             int& error);

struct AcceptStep {
    SocketHandle socket = kNoSocket;  // the connection, non-blocking
    SocketAddress peer;
    bool again = false;  // nothing to accept now, or the connection went before it was taken
    int error = 0;       // any other failure (out of descriptors, memory)
};
AcceptStep AcceptTcpSocket(SocketHandle listener);

enum class Received {
    Data,        // `length` bytes
    WouldBlock,  // nothing there now (non-blocking socket)
    Closed,      // a stream's end: the peer closed it
    Shut,        // a datagram socket was shut down (ShutdownSocket), or is gone
    Failed,      // `error` says why
};
struct ReceiveStep {
    Received what = Received::Failed;
    std::size_t length = 0;
    SocketAddress from;  // datagrams only
    int error = 0;
};
// One receive on a connected stream socket.
ReceiveStep ReceiveOnSocket(SocketHandle socket, uint8_t* buffer, std::size_t capacity);
// Bytes that arrived on a stream socket (its stack acknowledged them) and were not read yet;
// nullopt when the system does not say.
std::optional<std::size_t> UnreadBytes(SocketHandle socket);

// Waits for the first of `sockets` that is readable: data, a connection to accept, a closed or
// failed connection (on POSIX any descriptor may stand in the list). A negative `limit` waits
// without end. Sets `ready` on each; returns how many are ready, or -1 on failure.
struct SocketReadable {
    SocketHandle socket = kNoSocket;
    bool ready = false;
};
int WaitReadable(std::span<SocketReadable> sockets, std::chrono::milliseconds limit);

// Something that makes a WaitReadable return: Wake() from any thread, also from a POSIX signal
// handler, makes Handle() readable until Drain().
class SocketWaker {
  public:
    SocketWaker();
    ~SocketWaker();
    SocketWaker(const SocketWaker&) = delete;
    SocketWaker& operator=(const SocketWaker&) = delete;

    bool ok() const { return read_ != kNoSocket; }
    SocketHandle Handle() const { return read_; }
    void Wake() const;
    void Drain() const;

  private:
    SocketHandle read_ = kNoSocket;
    SocketHandle write_ = kNoSocket;
};

// ---- Datagram sockets

// An IPv4 datagram socket bound to ip:port (0.0.0.0: every local address; port 0: any free
// port), blocking. No address reuse: the bind fails while another socket holds the port.
// kNoSocket with `error` set on failure.
SocketHandle BindUdpSocket(const Ipv4Address& ip, uint16_t port, int& error);
// An unbound IPv4 datagram socket with broadcast permission (SO_BROADCAST), blocking.
SocketHandle OpenBroadcastSocket(int& error);
// The bound local port, 0 when unbound.
uint16_t LocalSocketPort(SocketHandle socket);
// Sends `bytes` as one datagram; 0 when all of it left, else the error.
int SendDatagram(SocketHandle socket, const SocketAddress& to, std::span<const uint8_t> bytes);
// Receives one datagram, waiting for it on a blocking socket. A longer datagram is cut to
// `capacity`; the rest of it is lost. Shut once ShutdownSocket was called.
ReceiveStep ReceiveDatagram(SocketHandle socket, uint8_t* buffer, std::size_t capacity);
// Wakes a thread blocked in ReceiveDatagram on this socket, which then returns Shut, as every
// later receive does; the socket stays open until CloseSocket.
void ShutdownSocket(SocketHandle socket);

}  // namespace printerlink
