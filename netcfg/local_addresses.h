#pragma once
// This PC's own IPv4 addresses, as the system lists them.

#include <optional>
#include <vector>

#include "netcfg/wifi_frames.h"

namespace netcfg {

// Every IPv4 address of every network interface, in the system's order.
std::vector<InterfaceAddress> LocalInterfaces();
// The first IPv4 address the PC's host name resolves to.
std::optional<Ipv4> HostNameAddress();

}  // namespace netcfg
