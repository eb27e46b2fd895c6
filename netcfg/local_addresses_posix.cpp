// Local addresses from getifaddrs and the host-name lookup.
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "netcfg/local_addresses.h"

namespace netcfg {
namespace {

Ipv4 OctetsOf(const in_addr& address) {
    Ipv4 octets;
    std::memcpy(octets.data(), &address.s_addr, octets.size());  // network order: first octet first
    return octets;
}

}  // namespace

std::vector<InterfaceAddress> LocalInterfaces() {
    std::vector<InterfaceAddress> found;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return found;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
        const auto* inet = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
        found.push_back({OctetsOf(inet->sin_addr), (entry->ifa_flags & IFF_UP) != 0,
                         (entry->ifa_flags & IFF_LOOPBACK) != 0});
    }
    freeifaddrs(list);
    return found;
}

std::optional<Ipv4> HostNameAddress() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return std::nullopt;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* result = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &result) != 0) return std::nullopt;
    std::optional<Ipv4> address;
    if (result != nullptr && result->ai_addr != nullptr)
        address = OctetsOf(reinterpret_cast<const sockaddr_in*>(result->ai_addr)->sin_addr);
    freeaddrinfo(result);
    return address;
}

}  // namespace netcfg
