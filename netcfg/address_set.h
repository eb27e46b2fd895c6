#pragma once
// Changing a network printer's addresses: the UDP address-set packet for a device picked from the
// discovery list, the IP/DHCP/MAC setting frames sent through the printer link, the reading of
// the six MAC boxes, and the TCP connect test.

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "netcfg/device_table.h"

namespace netcfg {

using Ipv4Octets = std::array<uint8_t, 4>;  // first octet first
using MacBytes = std::array<uint8_t, 6>;    // first byte first

inline constexpr uint16_t kPrinterTcpPort = 9100;
inline constexpr std::chrono::milliseconds kConnectTimeout{3000};

inline constexpr const char* kConnectOk = "connect ok";
inline constexpr const char* kConnectFail =
    "网络连接失败,请确定IP地址是否与电脑同一网段,Fail to connect";

// 5A, new address, mask, new MAC, gateway, the selected device's MAC and identity bytes as it
// replied (entry bytes 2-13), DHCP flag (01 on, 00 off).
std::array<uint8_t, 32> AddressSetPacket(const Ipv4Octets& address, const Ipv4Octets& mask,
                                         const MacBytes& mac, const Ipv4Octets& gateway,
                                         const DeviceEntry& selected, bool dhcp);

// Setting frame 64 (26 bytes): byte 3 00, address at 4, mask at 8, gateway at 18.
std::vector<uint8_t> IpSettingFrame(const Ipv4Octets& address, const Ipv4Octets& mask,
                                    const Ipv4Octets& gateway);
// Setting frame 65 (4 bytes): 01 on, 00 off.
std::vector<uint8_t> DhcpFrame(bool on);
// Setting frame 67 (10 bytes): the MAC at bytes 3-8.
std::vector<uint8_t> MacSettingFrame(const MacBytes& mac);

// One MAC box: its first two characters as hexadecimal digits of either case, or its only
// character as one digit ("a" -> 0A, "A5" -> A5, "0a5" -> 0A). Empty text, or a character other
// than a hexadecimal digit among the ones read, gives nullopt.
std::optional<uint8_t> ReadMacBox(std::string_view text);

// A MAC box's text: lower-case hexadecimal without leading zeros ("%x": 0x0A → "a", 0 → "0").
std::string FormatMacByte(uint8_t byte);

struct MacBoxesRead {
    std::optional<MacBytes> mac;
    int badBox = 0;  // 1..6: the first box that holds no byte; 0 when mac is set
};
// The six boxes, left to right.
MacBoxesRead ReadMacBoxes(std::span<const std::string, 6> texts);
// The message for a bad box (1..6) in the interface language (0 Chinese, other English).
std::string MacBoxErrorText(int box, int languageFlag);

// Opens a TCP connection to address:port, waiting at most `timeout`; closes it again at once.
// Nothing is sent. True when the connection was accepted.
bool ConnectTest(const Ipv4Octets& address, uint16_t port = kPrinterTcpPort,
                 std::chrono::milliseconds timeout = kConnectTimeout);

}  // namespace netcfg
