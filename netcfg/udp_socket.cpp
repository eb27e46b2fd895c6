#include "netcfg/udp_socket.h"

#include <utility>

namespace netcfg {
namespace {

printerlink::Ipv4Address Octets(uint32_t address) {
    return {static_cast<uint8_t>(address >> 24), static_cast<uint8_t>(address >> 16),
            static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)};
}

// One decimal octet of a dotted quad: 1 to 3 digits, no leading zero, at most 255.
std::optional<uint8_t> Octet(std::string_view text) {
    if (text.empty() || text.size() > 3 || (text.size() > 1 && text[0] == '0')) return std::nullopt;
    unsigned value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > 255) return std::nullopt;
    return static_cast<uint8_t>(value);
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
    uint32_t address = 0;
    std::string_view rest = dotted;
    for (int i = 0; i < 4; ++i) {
        const std::size_t dot = i < 3 ? rest.find('.') : rest.size();
        if (dot == std::string_view::npos) return std::nullopt;
        const auto octet = Octet(rest.substr(0, dot));
        if (!octet) return std::nullopt;
        address = address << 8 | *octet;
        rest = i < 3 ? rest.substr(dot + 1) : std::string_view();
    }
    return Ipv4Endpoint{address, port};
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
