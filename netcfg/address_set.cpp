#include "netcfg/address_set.h"

#include <algorithm>
#include <cstdio>

#include "commands/setting_frames.h"
#include "link/tcp_link.h"

namespace netcfg {
namespace {

std::optional<uint8_t> HexDigit(char c) {
    if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<uint8_t>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<uint8_t>(c - 'A' + 10);
    return std::nullopt;
}

template <std::size_t N>
uint8_t* Put(uint8_t* at, const std::array<uint8_t, N>& bytes) {
    return std::copy(bytes.begin(), bytes.end(), at);
}

}  // namespace

std::array<uint8_t, 32> AddressSetPacket(const Ipv4Octets& address, const Ipv4Octets& mask,
                                         const MacBytes& mac, const Ipv4Octets& gateway,
                                         const DeviceEntry& selected, bool dhcp) {
    std::array<uint8_t, 32> packet{};
    uint8_t* at = packet.data();
    *at++ = 0x5A;
    at = Put(at, address);
    at = Put(at, mask);
    at = Put(at, mac);
    at = Put(at, gateway);
    at = Put(at, selected.Mac());
    at = Put(at, selected.Identity());
    *at = dhcp ? 0x01 : 0x00;
    return packet;
}

std::vector<uint8_t> IpSettingFrame(const Ipv4Octets& address, const Ipv4Octets& mask,
                                    const Ipv4Octets& gateway) {
    // Parameters from byte 3 on: 00, address, mask, six zeros, gateway.
    std::array<uint8_t, 19> params{};
    Put(params.data() + 1, address);
    Put(params.data() + 5, mask);
    Put(params.data() + 15, gateway);
    return commands::BuildSettingFrame(0x64, params);
}

std::vector<uint8_t> DhcpFrame(bool on) {
    return commands::BuildSettingFrame(0x65, {static_cast<uint8_t>(on ? 0x01 : 0x00)});
}

std::vector<uint8_t> MacSettingFrame(const MacBytes& mac) {
    return commands::BuildSettingFrame(0x67, mac);
}

std::optional<uint8_t> ReadMacBox(std::string_view text) {
    if (text.empty()) return std::nullopt;
    const auto high = HexDigit(text[0]);
    if (!high) return std::nullopt;
    if (text.size() == 1) return high;
    const auto low = HexDigit(text[1]);
    if (!low) return std::nullopt;
    return static_cast<uint8_t>(*high << 4 | *low);
}

std::string FormatMacByte(uint8_t byte) {
    char text[4];
    std::snprintf(text, sizeof text, "%x", static_cast<unsigned>(byte));
    return text;
}

MacBoxesRead ReadMacBoxes(std::span<const std::string, 6> texts) {
    MacBytes mac{};
    for (std::size_t i = 0; i < mac.size(); ++i) {
        const auto byte = ReadMacBox(texts[i]);
        if (!byte) return {std::nullopt, static_cast<int>(i) + 1};
        mac[i] = *byte;
    }
    return {mac, 0};
}

std::string MacBoxErrorText(int box, int languageFlag) {
    char text[128];
    if (languageFlag != 0) {
        std::snprintf(text, sizeof text,
                      "MAC box %d: enter one or two hexadecimal digits (0-9, a-f).", box);
    } else {
        std::snprintf(text, sizeof text, "MAC 第%d格：请输入一位或两位十六进制数字(0-9, a-f)。",
                      box);
    }
    return text;
}

bool ConnectTest(const Ipv4Octets& address, uint16_t port, std::chrono::milliseconds timeout) {
    printerlink::TcpLimits limits;
    limits.connect = timeout;
    return printerlink::TcpConnection::Connect(address, port, limits).IsOpen();
}

}  // namespace netcfg
