#include "cli/network.h"

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <nlohmann/json.hpp>

#include "netcfg/discovery_listener.h"
#include "platform/hex_text.h"

namespace cli {

std::optional<netcfg::Ipv4Endpoint> ParseBroadcast(const std::string& text) {
    const std::size_t colon = text.find(':');
    uint16_t port = netcfg::kDiscoveryPort;
    if (colon != std::string::npos) {
        const auto n = ParseUnsigned(std::string_view(text).substr(colon + 1), 65535);
        if (!n || *n == 0) return std::nullopt;
        port = static_cast<uint16_t>(*n);
    }
    return netcfg::Ipv4Endpoint::Parse(text.substr(0, colon), port);
}

DiscoveryResult Discover(
    const DiscoveryEndpoints& endpoints, std::chrono::milliseconds duration,
    const std::function<bool(const std::vector<netcfg::DeviceEntry>&)>& enough) {
    DiscoveryResult result;
    netcfg::UdpSocket replies = netcfg::UdpSocket::BindAny(endpoints.replyPort);
    if (!replies.IsValid()) {
        result.error = "cannot bind UDP port " + std::to_string(endpoints.replyPort) + ": " +
                       printerlink::SocketErrorText(printerlink::LastSocketError()) +
                       " (Tessary or Brindel holds it while running; --reply-port picks another)";
        return result;
    }
    const netcfg::UdpSocket sender = netcfg::UdpSocket::Broadcast();
    if (!sender.IsValid()) {
        result.error = "cannot create the broadcast socket: " +
                       printerlink::SocketErrorText(printerlink::LastSocketError());
        return result;
    }

    netcfg::DeviceTable table(netcfg::TessaryPolicy(), kMostPrinters);
    std::mutex mutex;
    std::condition_variable stored;
    unsigned generation = 0;
    netcfg::DiscoveryListener listener(replies, table, [&] {
        {
            const std::lock_guard lock(mutex);
            ++generation;
        }
        stored.notify_all();
    });
    listener.Start();

    const std::vector<uint8_t> request = netcfg::DiscoveryRequest(netcfg::TessaryPolicy());
    const auto end = std::chrono::steady_clock::now() + duration;
    auto nextRequest = std::chrono::steady_clock::now();
    unsigned seen = 0;
    for (bool first = true;; first = false) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= end && !first) break;  // one request goes out even for a zero duration
        if (now >= nextRequest) {
            sender.SendTo(endpoints.broadcast, request);  // as in the windows, a failure is ignored
            nextRequest = now + endpoints.interval;
        }
        {
            std::unique_lock lock(mutex);
            stored.wait_until(lock, std::min(end, nextRequest), [&] { return generation != seen; });
            seen = generation;
        }
        if (enough && enough(table.Devices())) break;
    }
    listener.Stop();
    result.devices = table.Devices();
    return result;
}

std::string DeviceLine(const netcfg::DeviceEntry& device) {
    char bytes[8];
    std::snprintf(bytes, sizeof bytes, "%02X %02X", device.Byte(0), device.Byte(1));
    return FormatIpv4(device.Address()) + " " + FormatIpv4(device.Mask()) + " " +
           FormatIpv4(device.Gateway()) + " " + FormatMac(device.Mac()) + " " + bytes;
}

std::string DevicesJson(const std::vector<netcfg::DeviceEntry>& devices) {
    auto json = nlohmann::ordered_json::array();  // the fields of each printer in this order
    for (const netcfg::DeviceEntry& d : devices) {
        const uint8_t byte0 = d.Byte(0), byte1 = d.Byte(1);
        json.push_back({{"ip", FormatIpv4(d.Address())},
                        {"mask", FormatIpv4(d.Mask())},
                        {"gateway", FormatIpv4(d.Gateway())},
                        {"mac", FormatMac(d.Mac())},
                        {"byte0", platform::HexBytes({&byte0, 1})},
                        {"byte1", platform::HexBytes({&byte1, 1})}});
    }
    return json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string BroadcastPacket(const netcfg::Ipv4Endpoint& to, const std::vector<uint8_t>& bytes) {
    const netcfg::UdpSocket sender = netcfg::UdpSocket::Broadcast();
    if (!sender.IsValid())
        return "Error 0: cannot create the broadcast socket: " +
               printerlink::SocketErrorText(printerlink::LastSocketError());
    if (!sender.SendTo(to, bytes))
        return "Error 1: the address-set packet could not be sent: " +
               printerlink::SocketErrorText(printerlink::LastSocketError());
    return {};
}

}  // namespace cli
