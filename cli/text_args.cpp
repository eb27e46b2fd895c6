#include "cli/text_args.h"

#include <cstdio>

#include "netcfg/address_set.h"
#include "netcfg/udp_socket.h"

namespace cli {

std::optional<Ipv4> ParseIpv4(std::string_view text) {
    const auto endpoint = netcfg::Ipv4Endpoint::Parse(std::string(text), 0);
    if (!endpoint) return std::nullopt;
    return Ipv4OfNumber(endpoint->address);
}

uint32_t Ipv4Number(const Ipv4& a) {
    return static_cast<uint32_t>(a[0]) << 24 | static_cast<uint32_t>(a[1]) << 16 |
           static_cast<uint32_t>(a[2]) << 8 | a[3];
}

Ipv4 Ipv4OfNumber(uint32_t a) {
    return {static_cast<uint8_t>(a >> 24), static_cast<uint8_t>(a >> 16),
            static_cast<uint8_t>(a >> 8), static_cast<uint8_t>(a)};
}

std::string FormatIpv4(const Ipv4& address) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", address[0], address[1], address[2], address[3]);
    return text;
}

std::optional<Mac> ParseMac(std::string_view text) {
    Mac mac{};
    for (std::size_t i = 0; i < mac.size(); ++i) {
        const std::size_t colon = text.find(':');
        const bool last = i + 1 == mac.size();
        if (last != (colon == std::string_view::npos)) return std::nullopt;
        const std::string_view group = text.substr(0, colon);
        // A group is read like a MAC box of the windows, but only one or two digits are allowed.
        const auto byte = group.size() <= 2 ? netcfg::ReadMacBox(group) : std::nullopt;
        if (!byte) return std::nullopt;
        mac[i] = *byte;
        text.remove_prefix(last ? text.size() : colon + 1);
    }
    return mac;
}

std::string FormatMac(const Mac& mac) {
    char text[18];
    std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2],
                  mac[3], mac[4], mac[5]);
    return text;
}

std::string LowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string SecondsText(std::chrono::milliseconds duration) {
    char text[32];
    std::snprintf(text, sizeof text, "%g s", static_cast<double>(duration.count()) / 1000.0);
    return text;
}

std::optional<unsigned> ParseUnsigned(std::string_view text, unsigned max) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    unsigned long long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > max) return std::nullopt;
    return static_cast<unsigned>(value);
}

}  // namespace cli
