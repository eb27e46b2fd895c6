#pragma once
// The virtual printers running on loopback in a thread of their own, every line recorded. Ports
// left at their defaults are replaced by ports the system chooses.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/socket_io.h"
#include "sim/sim_server.h"
#include "tests/fakes/send_all.h"

namespace simtest {

// A connected, non-blocking socket to a printer on loopback; kNoSocket when the connect failed.
inline printerlink::SocketHandle Connect(uint16_t port,
                                         printerlink::Ipv4Address address = {127, 0, 0, 1}) {
    int error = 0;
    return printerlink::ConnectTcpSocket(address, port, std::chrono::seconds(5), error);
}

using fakes::SendAll;

// Reads until `count` bytes came, the peer closed or `limit` passed.
inline std::vector<uint8_t> Read(printerlink::SocketHandle socket, std::size_t count,
                                 std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    std::vector<uint8_t> out;
    const auto until = std::chrono::steady_clock::now() + limit;
    while (out.size() < count) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left <= std::chrono::milliseconds(0)) break;
        printerlink::SocketReadable readable{socket};
        if (printerlink::WaitReadable(std::span(&readable, 1), left) <= 0) break;
        uint8_t buffer[256];
        const auto step = printerlink::ReceiveOnSocket(socket, buffer,
                                                       std::min(sizeof buffer, count - out.size()));
        if (step.what != printerlink::Received::Data) {
            if (step.what == printerlink::Received::WouldBlock) continue;
            break;
        }
        out.insert(out.end(), buffer, buffer + step.length);
    }
    return out;
}

// Whatever else arrives within `quiet` (bytes a printer must not have sent).
inline std::vector<uint8_t> Extra(
    printerlink::SocketHandle socket,
    std::chrono::milliseconds quiet = std::chrono::milliseconds(100)) {
    return Read(socket, 64, quiet);
}

class SimRig {
  public:
    explicit SimRig(sim::SimOptions options)
        : server_(Loopback(std::move(options)), [this](const sim::SimLine& line) {
              std::lock_guard lock(mutex_);
              lines_.push_back(sim::FormatLine(line, false));
          }) {
        std::string error;
        const bool started = server_.Start(&error);
        EXPECT_TRUE(started) << error;
        if (started) thread_ = std::thread([this] { server_.Run(); });
    }
    ~SimRig() {
        server_.Stop();
        if (thread_.joinable()) thread_.join();
    }
    SimRig(const SimRig&) = delete;
    SimRig& operator=(const SimRig&) = delete;

    sim::SimServer& server() { return server_; }
    std::vector<std::string> Lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    bool HasLineWith(const std::string& part) const {
        const auto lines = Lines();
        return std::any_of(lines.begin(), lines.end(),
                           [&](const std::string& l) { return l.find(part) != std::string::npos; });
    }

  private:
    static sim::SimOptions Loopback(sim::SimOptions o) {
        if (o.tcpPort == 9100) o.tcpPort = 0;
        if (o.udpPort == 9000) o.udpPort = 0;
        return o;
    }

    sim::SimServer server_;
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
    std::thread thread_;
};

}  // namespace simtest
