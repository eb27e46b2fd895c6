#include "netcfg/udp_socket.h"

#include <utility>

#include "platform/decimal.h"

namespace netcfg {
namespace {

printerlink::Ipv4Address Octets(uint32_t address) {
    return {static_cast<uint8_t>(address >> 24), static_cast<uint8_t>(address >> 16),
            static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)};
}

}  // namespace

UdpSocket::~UdpSocket() {
    Close();
}

UdpSocket::UdpSocket(UdpSocket&& other) noexcept
    : handle_(std::exchange(other.handle_, printerlink::kNoSocket)) {}

UdpSocket& UdpSocket::operator=(UdpSocket&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = std::exchange(other.handle_, printerlink::kNoSocket);
    }
    return *this;
}

UdpSocket UdpSocket::BindAny(uint16_t port) {
    int error = 0;
    return UdpSocket(printerlink::BindUdpSocket({0, 0, 0, 0}, port, error));
}

UdpSocket UdpSocket::Broadcast() {
    int error = 0;
    return UdpSocket(printerlink::OpenBroadcastSocket(error));
}

uint16_t UdpSocket::LocalPort() const {
    return printerlink::LocalSocketPort(handle_);
}

std::optional<Ipv4Endpoint> Ipv4Endpoint::Parse(const std::string& dotted, uint16_t port) {
    const auto octets = platform::ParseDottedQuad(dotted);
    if (!octets) return std::nullopt;
    const auto& o = *octets;
    return Ipv4Endpoint{uint32_t{o[0]} << 24 | uint32_t{o[1]} << 16 | uint32_t{o[2]} << 8 | o[3],
                        port};
}

bool UdpSocket::SendTo(const Ipv4Endpoint& to, std::span<const uint8_t> bytes) const {
    if (!IsValid()) return false;
    return printerlink::SendDatagram(handle_, {Octets(to.address), to.port}, bytes) == 0;
}

void UdpSocket::Shutdown() const {
    printerlink::ShutdownSocket(handle_);
}

void UdpSocket::Close() {
    printerlink::CloseSocket(std::exchange(handle_, printerlink::kNoSocket), false);
}

}  // namespace netcfg
