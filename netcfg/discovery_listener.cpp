#include "netcfg/discovery_listener.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <vector>

namespace netcfg {

DiscoveryListener::DiscoveryListener(const UdpSocket& socket, DeviceTable& table,
                                     std::function<void()> onStored)
    : socket_(socket), table_(table), onStored_(std::move(onStored)) {}

DiscoveryListener::~DiscoveryListener() {
    Stop();
}

bool DiscoveryListener::Start() {
    if (started_ || !socket_.IsValid()) return false;
    started_ = true;
    thread_ = std::thread([this] { Loop(); });
    return true;
}

void DiscoveryListener::Stop() {
    stopping_.store(true);
    if (!thread_.joinable()) return;
    socket_.Shutdown();
    thread_.join();
}

void DiscoveryListener::Loop() {
    const int fd = socket_.Fd();
    std::vector<uint8_t> buffer(table_.Policy().receiveLength);
    while (!stopping_.load()) {
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        // A longer datagram is cut to the buffer; the rest of it is dropped by the kernel.
        const ssize_t n = ::recvfrom(fd, buffer.data(), buffer.size(), 0,
                                     reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EBADF || errno == ENOTSOCK) return;
            // Any other failure yields no reply; a short pause keeps a failing socket from
            // turning the loop into a spin.
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }
        // Zero bytes from no sender: the socket was shut down. An empty datagram names its
        // sender and is simply no reply.
        if (n == 0 && fromLength == 0) return;
        if (n == 0) continue;
        received_.fetch_add(1, std::memory_order_relaxed);
        const auto offer = table_.OfferReply({buffer.data(), static_cast<std::size_t>(n)});
        if (offer != DeviceTable::Offer::Stored) continue;
        stored_.fetch_add(1, std::memory_order_relaxed);
        if (onStored_) onStored_();
    }
}

}  // namespace netcfg
