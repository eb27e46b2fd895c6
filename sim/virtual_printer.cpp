#include "sim/virtual_printer.h"

#include <algorithm>
#include <cstdio>

namespace sim {
namespace {

template <std::size_t N>
std::array<uint8_t, N> Take(std::span<const uint8_t> bytes, std::size_t from) {
    std::array<uint8_t, N> out{};
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(from), N, out.begin());
    return out;
}

}  // namespace

std::string Ipv4Text(const netcfg::Ipv4Octets& a) {
    char text[20];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", a[0], a[1], a[2], a[3]);
    return text;
}

std::string MacText(const netcfg::MacBytes& m) {
    char text[20];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", m[0], m[1], m[2], m[3], m[4],
                  m[5]);
    return text;
}

std::array<uint8_t, kReplyLength> DiscoveryReply(const PrinterSettings& p) {
    std::array<uint8_t, kReplyLength> reply{};
    auto at = reply.begin();
    at = std::copy(p.replyBytes.begin(), p.replyBytes.end(), at);
    at = std::copy(p.mac.begin(), p.mac.end(), at);
    at = std::copy(p.identity.begin(), p.identity.end(), at);
    at = std::copy(p.address.begin(), p.address.end(), at);
    at = std::copy(p.mask.begin(), p.mask.end(), at);
    std::copy(p.gateway.begin(), p.gateway.end(), at);
    return reply;
}

DatagramReading ReadDatagram(std::span<const uint8_t> d) {
    DatagramReading reading;
    const std::string size = std::to_string(d.size()) + " bytes";
    if (!d.empty() && d[0] == 0x58) {
        reading.kind = DatagramKind::DiscoveryRequest;
        reading.line = "discovery request (" + size + ")";
        return reading;
    }
    if (d.size() >= kAddressSetLength && d[0] == 0x5A) {
        AddressSet set;
        set.address = Take<4>(d, 1);
        set.mask = Take<4>(d, 5);
        set.newMac = Take<6>(d, 9);
        set.gateway = Take<4>(d, 15);
        set.targetMac = Take<6>(d, 19);
        set.targetIdentity = Take<6>(d, 25);
        set.dhcp = d[31] != 0;
        reading.kind = DatagramKind::AddressSet;
        reading.line = "address set for MAC " + MacText(set.targetMac) + " identity " +
                       HexBytes(set.targetIdentity) + ": address " + Ipv4Text(set.address) +
                       ", mask " + Ipv4Text(set.mask) + ", MAC " + MacText(set.newMac) +
                       ", gateway " + Ipv4Text(set.gateway) + ", DHCP " + (set.dhcp ? "on" : "off");
        if (d.size() > kAddressSetLength) {
            reading.line +=
                " (" + size + ", the rest: " + HexBytes(d.subspan(kAddressSetLength)) + ")";
        }
        reading.set = set;
        return reading;
    }
    reading.line = "unknown datagram (" + size + "): " + HexBytes(d);
    return reading;
}

bool NamesPrinter(const PrinterSettings& p, const AddressSet& set) {
    return set.targetMac == p.mac && set.targetIdentity == p.identity;
}

bool ApplyAddressSet(PrinterSettings& p, const AddressSet& set) {
    if (!NamesPrinter(p, set)) return false;
    p.address = set.address;
    p.mask = set.mask;
    p.mac = set.newMac;
    p.gateway = set.gateway;
    p.dhcp = set.dhcp;
    return true;
}

bool ApplySettingFrame(PrinterSettings& p, const Event& event) {
    if (event.kind != EventKind::Setting || event.frame.size() < 4) return false;
    const std::span<const uint8_t> f = event.frame;
    const PrinterSettings before = p;
    switch (f[2]) {
        case 0x64:  // address at 4, mask at 8, gateway at 18
            p.address = Take<4>(f, 4);
            p.mask = Take<4>(f, 8);
            p.gateway = Take<4>(f, 18);
            break;
        case 0x65:
            p.dhcp = f[3] == 0x01;
            break;
        case 0x67:
            p.mac = Take<6>(f, 3);
            break;
        default:
            return false;
    }
    return !(before == p);
}

}  // namespace sim
