#include "tests/fakes/tcp_peer.h"

#include <algorithm>

namespace fakes {
namespace {

using printerlink::kNoSocket;
using printerlink::SocketHandle;

constexpr printerlink::Ipv4Address kLoopback{127, 0, 0, 1};

}  // namespace

std::vector<std::vector<uint8_t>> DeliveredCommands(const TcpPrinterPeer& peer) {
    static constexpr uint8_t kStatusQuestions[] = {0x10, 0x04, 0x01, 0x10, 0x04, 0x02,
                                                   0x10, 0x04, 0x03, 0x10, 0x04, 0x04};
    std::vector<std::vector<uint8_t>> commands;
    for (const TcpPrinterPeer::Connection& c : peer.Connections()) {
        const bool asked = c.bytes.size() <= sizeof kStatusQuestions &&
                           std::equal(c.bytes.begin(), c.bytes.end(), kStatusQuestions);
        if (c.closed && !asked) commands.push_back(c.bytes);
    }
    return commands;
}

uint16_t UnusedLoopbackPort() {
    int error = 0;
    const SocketHandle socket = printerlink::ListenTcpSocket(kLoopback, 0, 1, 0, error);
    const uint16_t port = printerlink::LocalSocketPort(socket);
    printerlink::CloseSocket(socket, false);
    return port;
}

SilentLoopbackPort::SilentLoopbackPort() {
    int error = 0;
    // Backlog 0: the queue holds one connection; further handshakes are not answered.
    listener_ = printerlink::ListenTcpSocket(kLoopback, 0, 0, 0, error);
    if (listener_ == kNoSocket) return;
    const uint16_t port = printerlink::LocalSocketPort(listener_);
    filler_ = printerlink::ConnectTcpSocket(kLoopback, port, std::chrono::seconds(5), error);
    if (filler_ != kNoSocket) port_ = port;
}

SilentLoopbackPort::~SilentLoopbackPort() {
    printerlink::CloseSocket(filler_, false);
    printerlink::CloseSocket(listener_, false);
}

TcpPrinterPeer::TcpPrinterPeer(Mode mode, std::size_t limit) : mode_(mode), limit_(limit) {
    Listen(kLoopback, 0);
}

TcpPrinterPeer::TcpPrinterPeer(const printerlink::Ipv4Address& address, uint16_t port)
    : mode_(Mode::Record), limit_(0) {
    Listen(address, port);
}

void TcpPrinterPeer::Listen(const printerlink::Ipv4Address& address, uint16_t port) {
    // Any peer but a plain recorder gets the smallest window the system allows (inherited by
    // accepted sockets; about 1 KiB on Linux), so it fills soon after reading stops, also for
    // one command of 2 KiB.
    const int receiveBuffer = mode_ == Mode::Record ? 0 : 1;
    int error = 0;
    if (wake_.ok())
        listener_ = printerlink::ListenTcpSocket(address, port, 128, receiveBuffer, error);
    if (listener_ == kNoSocket) return;
    port_ = printerlink::LocalSocketPort(listener_);
    thread_ = std::thread([this] { Loop(); });
}

TcpPrinterPeer::~TcpPrinterPeer() {
    if (thread_.joinable()) {
        wake_.Wake();
        thread_.join();
    }
    printerlink::CloseSocket(listener_, false);
}

void TcpPrinterPeer::Loop() {
    using Clock = std::chrono::steady_clock;
    using printerlink::Received;
    constexpr auto kSlowPause = std::chrono::milliseconds(20);
    std::vector<SocketHandle> open;     // client sockets still read
    std::vector<std::size_t> at;        // their connection index
    std::vector<SocketHandle> stalled;  // StallAfter, Hold: open but no longer read
    constexpr std::size_t kMaxHeld = 64;
    Clock::time_point nextSlowRead{};
    for (;;) {
        // A slow peer leaves its connections alone until its pause is over.
        const bool resting = mode_ == Mode::Slow && Clock::now() < nextSlowRead;
        std::vector<printerlink::SocketReadable> fds{{wake_.Handle()}, {listener_}};
        if (!resting) {
            for (SocketHandle socket : open) fds.push_back({socket});
        }
        const auto timeout =
            resting ? std::chrono::ceil<std::chrono::milliseconds>(nextSlowRead - Clock::now())
                    : std::chrono::milliseconds(1000);
        if (printerlink::WaitReadable(fds, std::max(timeout, std::chrono::milliseconds(0))) < 0)
            break;
        if (fds[0].ready) break;
        if (fds[1].ready) {
            const printerlink::AcceptStep client = printerlink::AcceptTcpSocket(listener_);
            if (client.socket != kNoSocket) {
                std::lock_guard lock(mutex_);
                connections_.emplace_back();
                open.push_back(client.socket);
                at.push_back(connections_.size() - 1);
                changed_.notify_all();
            }
        }
        for (std::size_t i = 2; i < fds.size(); ++i) {
            if (!fds[i].ready) continue;
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
            printerlink::ReceiveStep step{Received::Closed, 0, {}, 0};
            if (want > 0) step = printerlink::ReceiveOnSocket(open[k], chunk, want);
            if (step.what == Received::WouldBlock) continue;
            std::lock_guard lock(mutex_);
            Connection& c = connections_[at[k]];
            if (step.what == Received::Data) {
                c.bytes.insert(c.bytes.end(), chunk, chunk + step.length);
                c.lastByte = std::chrono::steady_clock::now();
            }
            if (limited && c.bytes.size() >= limit_) {
                if (mode_ == Mode::ResetAfter) {
                    printerlink::CloseSocket(open[k], true);
                    c.closed = true;
                } else {
                    stalled.push_back(open[k]);  // kept open, never read again
                }
                open[k] = kNoSocket;
            } else if (step.what != Received::Data) {
                c.closed = true;
                if (mode_ == Mode::Hold && step.what == Received::Closed) {
                    stalled.push_back(open[k]);
                    if (stalled.size() > kMaxHeld) {
                        printerlink::CloseSocket(stalled.front(), false);
                        stalled.erase(stalled.begin());
                    }
                } else {
                    printerlink::CloseSocket(open[k], false);
                }
                open[k] = kNoSocket;
            }
            changed_.notify_all();
        }
        for (std::size_t k = open.size(); k-- > 0;) {
            if (open[k] == kNoSocket) {
                open.erase(open.begin() + static_cast<long>(k));
                at.erase(at.begin() + static_cast<long>(k));
            }
        }
    }
    for (SocketHandle socket : open) printerlink::CloseSocket(socket, false);
    for (SocketHandle socket : stalled) printerlink::CloseSocket(socket, false);
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
