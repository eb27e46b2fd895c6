#pragma once
// A TCP connection to a printer's raw port that reports delivery honestly: a send is done when
// the printer has acknowledged every byte, not when the bytes reached this PC's socket buffer.
// Every wait is bounded by the no-progress rule: the count of bytes the printer has not yet
// acknowledged must fall (or be 0) at least once per `stall`, so a printer that stops reading
// makes the send fail within that time, even while this PC's buffer still takes bytes, and never
// blocks it for ever; one that reads slowly but steadily is waited for however long it takes.
// Where the system cannot tell that count, a send call that takes bytes is the progress, and the
// last acknowledgements are left to a lingering close.
//
// Acknowledged is not printed: a printer's TCP stack acknowledges what fits in its buffer before
// its program reads it, and a program that closes with bytes unread (a printer that restarts or
// gives up) makes its stack reset the connection. So the end of a job ends this side's sending
// and waits, up to kFinishGrace, for the printer's side: its orderly close means its program read
// every byte; a reset means it threw some away; silence is a printer still at work, which only
// its own close can end, so the grace is all a healthy printer that keeps its side open costs.

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "link/socket_io.h"

namespace printerlink {

// How long the end of a job waits for the printer's side of the connection after this side
// ended its sending (see above).
inline constexpr std::chrono::milliseconds kFinishGrace{500};

struct TcpLimits {
    std::chrono::milliseconds connect{3000};  // connection time-out
    std::chrono::milliseconds stall{10000};   // no progress this long: a failed send
    std::function<bool()> cancelled;          // asked while waiting; true ends the wait
};

// Why a connection or a send did not succeed.
enum class TcpFault {
    None,
    NoAddress,    // 0.0.0.0: no printer's address (on Linux it would reach this PC itself)
    Refused,      // nothing listens on the port
    Unreachable,  // no route to the host, network down
    TimedOut,     // no answer to the connect within the time-out
    Reset,        // the printer broke the connection
    Stalled,      // the printer took nothing for the stall time
    Cancelled,    // the caller gave up waiting (the program is ending)
    Other,        // another system error (`error`)
};

struct TcpResult {
    bool connected = false;  // the connect succeeded
    TcpFault fault = TcpFault::None;
    int error = 0;              // the system's error code behind the fault, 0 when none
    uint64_t sent = 0;          // bytes handed to the system
    uint64_t acknowledged = 0;  // of those, bytes the printer acknowledged (known after Finish
                                // or a failure; equals `sent` once Finish succeeded)
    // After a failure where the system cannot tell acknowledgements (Windows): `acknowledged`
    // is only what was sent, an upper bound.
    bool acknowledgedAtMost = false;
    bool Ok() const { return fault == TcpFault::None; }
};

// The fault in a few words for logs and the command line: "connection refused", "no route to
// host", "timed out after 3 s", "connection reset by peer", "stopped taking data", ...
std::string FaultText(const TcpResult& result, const TcpLimits& limits);

class TcpConnection {
  public:
    TcpConnection() = default;
    TcpConnection(TcpConnection&& other) noexcept;
    TcpConnection& operator=(TcpConnection&& other) noexcept;
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;
    // Closes; after a failure abortively (the printer sees a reset, nothing stays queued).
    ~TcpConnection();

    // Connects to ip:port within limits.connect. Check IsOpen(); Result() says why not.
    [[nodiscard]] static TcpConnection Connect(const std::array<uint8_t, 4>& ip, uint16_t port,
                                               const TcpLimits& limits);

    bool IsOpen() const { return socket_ != kNoSocket; }
    // The connect's outcome, then the first failure and the byte counts.
    const TcpResult& Result() const { return result_; }

    // One send call of up to `length` bytes once there is room, under the no-progress rule.
    // Returns the count taken; 0 means the send failed and Result() says why.
    [[nodiscard]] std::size_t SendSome(const uint8_t* bytes, std::size_t length);
    // All bytes, in send calls of at most `piece` bytes. False on failure.
    [[nodiscard]] bool SendAll(const uint8_t* bytes, std::size_t length, std::size_t piece);
    // What the printer answers on the connection: up to `capacity` bytes, returning as soon as
    // some came or after `timeout`. The count read; 0 when nothing came (the connection stays
    // usable) or it failed (Result() says why; a printer closing its side is a reset here).
    [[nodiscard]] std::size_t Receive(uint8_t* buffer, std::size_t capacity,
                                      std::chrono::milliseconds timeout);
    // Waits until the printer has acknowledged every byte sent, ends this side's sending, waits
    // up to kFinishGrace for the printer's side to end (bytes it sends meanwhile are read and
    // dropped: ask with Receive before), then closes the connection. False when the printer
    // stopped taking data or reset the connection first; Result() has the counts.
    [[nodiscard]] bool Finish();

  private:
    bool Fail(TcpFault fault, int error);
    // Looks at the printer's progress; false (failed) once it made none for the stall time.
    bool CheckProgress();
    // Waits for room to send under the no-progress rule; false on a failure.
    bool AwaitRoom();
    // How long one wait to read lasts before the cancel is looked at again.
    std::chrono::milliseconds ReadSlice() const;
    // Waits until the printer acknowledged every byte, where the system can tell; false on a
    // failure.
    bool AwaitAcknowledged();
    // Ends this side's sending and waits up to kFinishGrace for the printer's side: false when
    // it reset the connection (or the wait was cancelled).
    bool AwaitPrinterEnd();
    // The lingering close on a thread of its own, so that a cancel need not wait for it: its
    // error, or kCancelledClose. Without a cancel the caller's thread closes, starting no thread.
    static constexpr int kCancelledClose = -1;
    int CloseLingeringCancellable();
    void Close();

    SocketHandle socket_ = kNoSocket;
    TcpLimits limits_;
    TcpResult result_;
    // Progress is this count falling (or reaching 0); where the system cannot tell it, a send
    // that takes bytes.
    std::size_t lastUnacknowledged_ = 0;
    std::chrono::steady_clock::time_point lastProgress_{};
    bool queueVisible_ = false;
};

}  // namespace printerlink
