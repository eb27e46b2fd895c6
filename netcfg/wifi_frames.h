#pragma once
// The WiFi dialog's frames (dialog 133): credentials (68), static address (69) and WiFi factory
// restore (6F 12), and the dialog's starting address.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace netcfg {

using Ipv4 = std::array<uint8_t, 4>;

// Which limit a text broke; nothing is sent then.
enum class WifiTooLong {
    None,
    Ssid,      // the SSID alone exceeds 63 bytes
    Password,  // the password alone exceeds 63 bytes
    Together,  // both together exceed the 124 bytes the frame holds
};

struct WifiFrame {
    WifiTooLong tooLong;
    std::vector<uint8_t> bytes;  // empty unless tooLong is None
};

inline constexpr std::size_t kWifiFieldLimit = 63;
inline constexpr std::size_t kWifiTogetherLimit = 124;

// Credentials, 128 bytes: SSID as UTF-8 and password as GBK, each trimmed of spaces (20 only) at
// both ends, a 00 between them. Both texts are given as UTF-8.
[[nodiscard]] WifiFrame CredentialsFrame(std::string_view ssid, std::string_view password);
// WiFi factory restore, 128 bytes: SSID and password exactly as typed, as GBK, no separator.
[[nodiscard]] WifiFrame WifiRestoreFrame(std::string_view ssid, std::string_view password);
// Static address, 40 bytes: address, mask, six 00, gateway, first octet first.
std::vector<uint8_t> StaticAddressFrame(const Ipv4& address, const Ipv4& mask, const Ipv4& gate);

// The message for a broken limit in the interface language (0 Chinese), UTF-8; "" for None.
const char* WifiTooLongMessage(WifiTooLong which, int languageFlag);

// One IPv4 address of a network interface.
struct InterfaceAddress {
    Ipv4 address;
    bool up;
    bool loopback;
};

// The starting address of the static-address field: the first address of an interface that is
// up and not loopback, else the host-name lookup's answer unless it is a loopback address, else
// 192.168.0.199; its last octet replaced by 199.
Ipv4 PickWifiStartAddress(std::span<const InterfaceAddress> interfaces,
                          std::optional<Ipv4> hostLookup);
// The same from this PC's interfaces and host name.
Ipv4 WifiStartAddress();

}  // namespace netcfg
