#pragma once
// Discovery and the address-set packet for tessary-cli: Tessary's discovery request broadcast
// once a second while the replies are collected by the shared listener into a device table.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/text_args.h"
#include "netcfg/device_table.h"
#include "netcfg/udp_socket.h"

namespace cli {

// The CLI lists every printer that answers, beyond the windows' 16; the bound only keeps a flood of
// forged replies from taking all memory (1.7 MB at most).
inline constexpr std::size_t kMostPrinters = 65536;

struct DiscoveryEndpoints {
    netcfg::Ipv4Endpoint broadcast{0xFFFFFFFFu, netcfg::kDiscoveryPort};
    uint16_t replyPort = netcfg::kReplyPort;
    std::chrono::milliseconds interval{1000};  // between requests
};

// "ADDR[:PORT]" for --broadcast; the port defaults to 9000.
std::optional<netcfg::Ipv4Endpoint> ParseBroadcast(const std::string& text);

struct DiscoveryResult {
    std::vector<netcfg::DeviceEntry> devices;  // in the order they first answered, all of them
    std::string error;                         // a socket could not be set up
};

// Broadcasts requests for `duration` (the first at once) and collects the distinct printers
// that answer. Ends early when `enough` (if given) holds for the devices found so far.
DiscoveryResult Discover(
    const DiscoveryEndpoints& endpoints, std::chrono::milliseconds duration,
    const std::function<bool(const std::vector<netcfg::DeviceEntry>&)>& enough = {});

// One device per line: "IP MASK GATEWAY MAC B0 B1", bytes 0 and 1 of the reply in hex.
std::string DeviceLine(const netcfg::DeviceEntry& device);
// All devices as one JSON array of objects {ip, mask, gateway, mac, byte0, byte1}.
std::string DevicesJson(const std::vector<netcfg::DeviceEntry>& devices);

// Broadcasts one datagram from a fresh broadcast socket; the error names the cause.
std::string BroadcastPacket(const netcfg::Ipv4Endpoint& to, const std::vector<uint8_t>& bytes);

}  // namespace cli
