#include "tests/fakes/udp_peer.h"

namespace fakes {

UdpPeer::UdpPeer(uint16_t port) {
    int error = 0;
    if (wake_.ok()) socket_ = printerlink::BindUdpSocket({127, 0, 0, 1}, port, error);
    if (!ok()) return;
    port_ = printerlink::LocalSocketPort(socket_);
    thread_ = std::thread([this] { Loop(); });
}

UdpPeer::~UdpPeer() {
    if (thread_.joinable()) {
        wake_.Wake();
        thread_.join();
    }
    printerlink::CloseSocket(socket_, false);
}

void UdpPeer::Loop() {
    std::vector<uint8_t> buffer(65536);
    for (;;) {
        printerlink::SocketReadable fds[2] = {{wake_.Handle()}, {socket_}};
        if (printerlink::WaitReadable(fds, std::chrono::milliseconds(1000)) < 0) return;
        if (fds[0].ready) return;
        if (!fds[1].ready) continue;
        const printerlink::ReceiveStep step =
            printerlink::ReceiveDatagram(socket_, buffer.data(), buffer.size());
        if (step.what != printerlink::Received::Data) continue;
        const auto& ip = step.from.ip;
        std::lock_guard lock(mutex_);
        datagrams_.push_back(
            {{buffer.begin(), buffer.begin() + static_cast<long>(step.length)},
             uint32_t{ip[0]} << 24 | uint32_t{ip[1]} << 16 | uint32_t{ip[2]} << 8 | ip[3],
             step.from.port});
        changed_.notify_all();
    }
}

std::vector<UdpPeer::Datagram> UdpPeer::Datagrams() const {
    std::lock_guard lock(mutex_);
    return datagrams_;
}

bool UdpPeer::WaitForDatagrams(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return datagrams_.size() >= count; });
}

bool UdpPeer::SendTo(uint16_t port, const std::vector<uint8_t>& bytes, uint32_t address) const {
    if (!ok() || (address >> 24) != 127) return false;
    const printerlink::SocketAddress to{
        {static_cast<uint8_t>(address >> 24), static_cast<uint8_t>(address >> 16),
         static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)},
        port};
    return printerlink::SendDatagram(socket_, to, bytes) == 0;
}

}  // namespace fakes
