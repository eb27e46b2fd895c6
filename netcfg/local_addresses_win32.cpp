// Local addresses from the IP helper's adapter list and the host-name lookup.
#include <winsock2.h>
// After winsock2.h:
#include <iphlpapi.h>
#include <ws2tcpip.h>

#include <cstring>

#include "link/socket_io.h"
#include "netcfg/local_addresses.h"

namespace netcfg {
namespace {

Ipv4 OctetsOf(const sockaddr* address) {
    Ipv4 octets;
    const auto* inet = reinterpret_cast<const sockaddr_in*>(address);
    std::memcpy(octets.data(), &inet->sin_addr, octets.size());  // first octet first
    return octets;
}

}  // namespace

std::vector<InterfaceAddress> LocalInterfaces() {
    std::vector<InterfaceAddress> found;
    const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    ULONG size = 16 * 1024;
    std::vector<unsigned char> buffer;
    ULONG result = ERROR_BUFFER_OVERFLOW;
    // The list can grow between the size query and the call: a few tries.
    for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.resize(size);
        result = GetAdaptersAddresses(
            AF_INET, flags, nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    }
    if (result != NO_ERROR) return found;
    for (auto* adapter = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data());
         adapter != nullptr; adapter = adapter->Next) {
        for (const IP_ADAPTER_UNICAST_ADDRESS* unicast = adapter->FirstUnicastAddress;
             unicast != nullptr; unicast = unicast->Next) {
            const sockaddr* address = unicast->Address.lpSockaddr;
            if (address == nullptr || address->sa_family != AF_INET) continue;
            found.push_back({OctetsOf(address), adapter->OperStatus == IfOperStatusUp,
                             adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK});
        }
    }
    return found;
}

std::optional<Ipv4> HostNameAddress() {
    if (printerlink::StartSockets() != 0) return std::nullopt;
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return std::nullopt;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* result = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &result) != 0) return std::nullopt;
    std::optional<Ipv4> address;
    if (result != nullptr && result->ai_addr != nullptr) address = OctetsOf(result->ai_addr);
    freeaddrinfo(result);
    return address;
}

}  // namespace netcfg
