#include "netcfg/discovery_listener.h"

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
    std::vector<uint8_t> buffer(table_.Policy().receiveLength);
    while (!stopping_.load()) {
        // A longer datagram is cut to the buffer; the rest of it is dropped.
        const printerlink::ReceiveStep step =
            printerlink::ReceiveDatagram(socket_.Handle(), buffer.data(), buffer.size());
        switch (step.what) {
            case printerlink::Received::Data:
                break;
            case printerlink::Received::Shut:
            case printerlink::Received::Closed:
                return;
            case printerlink::Received::WouldBlock:
            case printerlink::Received::Failed:
                // A failure yields no reply; a short pause keeps a failing socket from turning
                // the loop into a spin.
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                continue;
        }
        // An empty datagram is no reply.
        if (step.length == 0) continue;
        received_.fetch_add(1, std::memory_order_relaxed);
        const auto offer = table_.OfferReply({buffer.data(), step.length});
        if (offer != DeviceTable::Offer::Stored) continue;
        stored_.fetch_add(1, std::memory_order_relaxed);
        if (onStored_) onStored_();
    }
}

}  // namespace netcfg
