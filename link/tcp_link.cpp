#include "link/tcp_link.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace printerlink {
namespace {

using Clock = std::chrono::steady_clock;

// While blocked, the printer's progress is looked at this often.
constexpr std::chrono::milliseconds kProgressCheck{100};
// A wait for the printer's answer or for its side's end looks at the caller's cancel this often.
constexpr std::chrono::milliseconds kCancelCheck{20};
// The wait for the last acknowledgements starts short (a healthy printer answers within a
// millisecond or two) and backs off to this.
constexpr std::chrono::milliseconds kDrainCheckMax{50};
constexpr std::chrono::milliseconds kZero{0};

std::string Seconds(std::chrono::milliseconds duration) {
    char text[32];
    const long long ms = duration.count();
    if (ms % 1000 == 0) {
        std::snprintf(text, sizeof text, "%lld s", ms / 1000);
    } else {
        std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(ms) / 1000.0);
    }
    return text;
}

std::string LowerFirst(std::string text) {
    if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z')
        text[0] = static_cast<char>(text[0] + 32);
    return text;
}

}  // namespace

std::string FaultText(const TcpResult& result, const TcpLimits& limits) {
    switch (result.fault) {
        case TcpFault::None:
            return "ok";
        case TcpFault::NoAddress:
            return "0.0.0.0 is no printer's address";
        case TcpFault::TimedOut:
            return "timed out after " + Seconds(limits.connect);
        case TcpFault::Stalled:
            return "stopped taking data for " + Seconds(limits.stall);
        case TcpFault::Cancelled:
            return "cancelled";
        case TcpFault::Reset:
            if (result.error == 0) return "the printer closed the connection";
            break;
        case TcpFault::Refused:
        case TcpFault::Unreachable:
        case TcpFault::Other:
            break;
    }
    return LowerFirst(SocketErrorText(result.error));
}

TcpConnection::TcpConnection(TcpConnection&& other) noexcept
    : socket_(std::exchange(other.socket_, kNoSocket)),
      limits_(other.limits_),
      result_(other.result_),
      lastUnacknowledged_(other.lastUnacknowledged_),
      lastProgress_(other.lastProgress_),
      queueVisible_(other.queueVisible_) {}

TcpConnection& TcpConnection::operator=(TcpConnection&& other) noexcept {
    if (this != &other) {
        Close();
        socket_ = std::exchange(other.socket_, kNoSocket);
        limits_ = other.limits_;
        result_ = other.result_;
        lastUnacknowledged_ = other.lastUnacknowledged_;
        lastProgress_ = other.lastProgress_;
        queueVisible_ = other.queueVisible_;
    }
    return *this;
}

TcpConnection::~TcpConnection() {
    Close();
}

void TcpConnection::Close() {
    if (socket_ == kNoSocket) return;
    CloseSocket(std::exchange(socket_, kNoSocket), !result_.Ok());
}

TcpConnection TcpConnection::Connect(const std::array<uint8_t, 4>& ip, uint16_t port,
                                     const TcpLimits& limits) {
    TcpConnection connection;
    connection.limits_ = limits;
    if (ip == std::array<uint8_t, 4>{0, 0, 0, 0}) {
        connection.result_.fault = TcpFault::NoAddress;
        return connection;
    }
    int error = 0;
    connection.socket_ = ConnectTcpSocket(ip, port, limits.connect, error);
    if (connection.socket_ == kNoSocket) {
        connection.result_.fault = ClassifySocketError(error);
        if (connection.result_.fault == TcpFault::None) connection.result_.fault = TcpFault::Other;
        connection.result_.error = error;
        return connection;
    }
    connection.result_.connected = true;
    connection.queueVisible_ = UnacknowledgedBytes(connection.socket_).has_value();
    connection.lastProgress_ = Clock::now();
    return connection;
}

bool TcpConnection::Fail(TcpFault fault, int error) {
    // A system time-out after the connection stood is the printer not answering: a stall; a
    // hang-up without an error is the printer closing the connection.
    if (fault == TcpFault::TimedOut) fault = TcpFault::Stalled;
    if (fault == TcpFault::None) fault = TcpFault::Reset;
    if (result_.Ok()) {
        result_.fault = fault;
        result_.error = error;
        result_.acknowledged = result_.sent - std::min<uint64_t>(result_.sent, lastUnacknowledged_);
        // Without a view of the queue nothing is known to be acknowledged: at most all of it.
        if (!queueVisible_) result_.acknowledged = result_.sent;
        result_.acknowledgedAtMost = !queueVisible_;
    }
    Close();
    return false;
}

bool TcpConnection::CheckProgress() {
    const auto now = Clock::now();
    if (const auto queued = UnacknowledgedBytes(socket_)) {
        if (*queued == 0 || *queued < lastUnacknowledged_) lastProgress_ = now;
        lastUnacknowledged_ = *queued;
    }
    if (now - lastProgress_ >= limits_.stall) return Fail(TcpFault::Stalled, 0);
    if (limits_.cancelled && limits_.cancelled()) return Fail(TcpFault::Cancelled, 0);
    return true;
}

bool TcpConnection::AwaitRoom() {
    for (;;) {
        if (!CheckProgress()) return false;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            lastProgress_ + limits_.stall - Clock::now());
        switch (WaitOnSocket(socket_, true, std::clamp(left, kZero, kProgressCheck))) {
            case SocketWait::Ready:
                return true;
            case SocketWait::Failed: {
                const int error = PendingSocketError(socket_);
                return Fail(ClassifySocketError(error), error);
            }
            case SocketWait::TimedOut:
                break;
        }
    }
}

std::size_t TcpConnection::SendSome(const uint8_t* bytes, std::size_t length) {
    if (!IsOpen() || length == 0) return 0;
    for (;;) {
        // A printer that stopped acknowledging fails here even while this PC's buffer still
        // takes the bytes.
        if (!CheckProgress()) return 0;
        const SendStep step = SendOnSocket(socket_, bytes, length);
        if (step.taken > 0) {
            result_.sent += step.taken;
            lastUnacknowledged_ += step.taken;
            if (!queueVisible_) lastProgress_ = Clock::now();  // all there is to go by
            return step.taken;
        }
        if (!step.wouldBlock) {
            Fail(ClassifySocketError(step.error), step.error);
            return 0;
        }
        if (!AwaitRoom()) return 0;
    }
}

std::chrono::milliseconds TcpConnection::ReadSlice() const {
    return limits_.cancelled ? kCancelCheck : kProgressCheck;
}

std::size_t TcpConnection::Receive(uint8_t* buffer, std::size_t capacity,
                                   std::chrono::milliseconds timeout) {
    if (!IsOpen() || capacity == 0) return 0;
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const ReceiveStep step = ReceiveOnSocket(socket_, buffer, capacity);
        switch (step.what) {
            case Received::Data:
                return step.length;
            case Received::Closed:
                Fail(TcpFault::Reset, 0);
                return 0;
            case Received::Failed:
            case Received::Shut:
                Fail(ClassifySocketError(step.error), step.error);
                return 0;
            case Received::WouldBlock:
                break;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return 0;
        if (limits_.cancelled && limits_.cancelled()) {
            Fail(TcpFault::Cancelled, 0);
            return 0;
        }
        SocketReadable readable[] = {{socket_, false}};
        if (WaitReadable(readable, std::min(left, ReadSlice())) < 0) {
            const int error = LastSocketError();
            Fail(ClassifySocketError(error), error);
            return 0;
        }
    }
}

bool TcpConnection::SendAll(const uint8_t* bytes, std::size_t length, std::size_t piece) {
    if (piece == 0) return false;
    std::size_t done = 0;
    while (done < length) {
        const std::size_t n = SendSome(bytes + done, std::min(piece, length - done));
        if (n == 0) return false;
        done += n;
    }
    return IsOpen();
}

int TcpConnection::CloseLingeringCancellable() {
    // That close cannot be interrupted, so it runs on a thread of its own, and a cancel (the
    // program ending) does not wait for it. The outcome comes back under a plain mutex, not
    // through a promise: a promise's thread-local state, in a short-lived thread while others
    // start and end, can hang MinGW's thread library (its thread-specific data lock).
    struct Outcome {
        std::mutex mutex;
        std::condition_variable done;
        std::optional<int> error;
    };
    auto outcome = std::make_shared<Outcome>();
    std::thread([socket = std::exchange(socket_, kNoSocket), stall = limits_.stall, outcome] {
        const int error = CloseLingering(socket, stall);
        const std::lock_guard lock(outcome->mutex);
        outcome->error = error;
        outcome->done.notify_all();
    }).detach();
    std::unique_lock lock(outcome->mutex);
    while (
        !outcome->done.wait_for(lock, kProgressCheck, [&] { return outcome->error.has_value(); })) {
        if (limits_.cancelled()) return kCancelledClose;
    }
    return *outcome->error;
}

bool TcpConnection::AwaitAcknowledged() {
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        if (!CheckProgress()) return false;
        if (lastUnacknowledged_ == 0) {
            // A reset empties the queue too: an error pending on the socket means the bytes
            // were thrown away, not acknowledged.
            if (const int error = PendingSocketError(socket_); error != 0)
                return Fail(ClassifySocketError(error), error);
            return true;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            lastProgress_ + limits_.stall - Clock::now());
        // Sleeps, waking early when the connection breaks.
        if (WaitOnSocket(socket_, false, std::clamp(left, kZero, pause)) == SocketWait::Failed) {
            const int error = PendingSocketError(socket_);
            return Fail(ClassifySocketError(error), error);
        }
        pause = std::min(pause * 2, kDrainCheckMax);
    }
}

bool TcpConnection::AwaitPrinterEnd() {
    if (const int error = EndSending(socket_); error != 0)
        return Fail(ClassifySocketError(error), error);
    const auto end = Clock::now() + kFinishGrace;
    uint8_t dropped[512];
    for (;;) {
        const ReceiveStep step = ReceiveOnSocket(socket_, dropped, sizeof dropped);
        switch (step.what) {
            case Received::Data:  // a status answer or status report nobody asked for
            case Received::WouldBlock:
                break;
            case Received::Closed:  // its program read every byte and closed
                return true;
            case Received::Failed:
            case Received::Shut:
                return Fail(ClassifySocketError(step.error), step.error);
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now());
        if (left <= kZero) return true;  // still connected: at work on what it took
        if (step.what == Received::Data) continue;
        if (limits_.cancelled && limits_.cancelled()) return Fail(TcpFault::Cancelled, 0);
        SocketReadable readable[] = {{socket_, false}};
        if (WaitReadable(readable, std::min(left, ReadSlice())) < 0) {
            const int error = LastSocketError();
            return Fail(ClassifySocketError(error), error);
        }
    }
}

bool TcpConnection::Finish() {
    if (!IsOpen()) return false;
    if (queueVisible_ && !AwaitAcknowledged()) return false;
    if (!AwaitPrinterEnd()) return false;
    if (!queueVisible_) {
        // No way to look at the queue: the system's lingering close waits for what is left.
        const int error = limits_.cancelled
                              ? CloseLingeringCancellable()
                              : CloseLingering(std::exchange(socket_, kNoSocket), limits_.stall);
        if (error == kCancelledClose) return Fail(TcpFault::Cancelled, 0);
        if (error != 0) return Fail(ClassifySocketError(error), error);
    }
    result_.acknowledged = result_.sent;
    Close();
    return true;
}

}  // namespace printerlink
