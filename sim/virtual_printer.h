#pragma once
// One virtual network printer: what it answers to a discovery request, and how the address-set
// packet and the address frames change it, as a real printer's reply would change.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "netcfg/address_set.h"
#include "sim/stream_decoder.h"

namespace sim {

inline constexpr std::size_t kReplyLength = 30;
inline constexpr std::size_t kAddressSetLength = 32;

struct PrinterSettings {
    std::array<uint8_t, 2> replyBytes{0x01, 0x00};  // accepted by both programs
    netcfg::MacBytes mac{0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
    std::array<uint8_t, 6> identity{0x01, 0x02, 0x03, 0x04, 0x05, 0x06};  // byte 0 not 00
    netcfg::Ipv4Octets address{127, 0, 0, 1};
    netcfg::Ipv4Octets mask{255, 255, 255, 0};
    netcfg::Ipv4Octets gateway{127, 0, 0, 1};
    bool dhcp = false;

    bool operator==(const PrinterSettings&) const = default;
};

// Reply bytes 0-1, MAC, identity, address, mask, gateway, four 00.
std::array<uint8_t, kReplyLength> DiscoveryReply(const PrinterSettings& printer);

// The fields of an address-set packet.
struct AddressSet {
    netcfg::Ipv4Octets address{}, mask{}, gateway{};
    netcfg::MacBytes newMac{}, targetMac{};
    std::array<uint8_t, 6> targetIdentity{};
    bool dhcp = false;
};

enum class DatagramKind { DiscoveryRequest, AddressSet, Unknown };

struct DatagramReading {
    DatagramKind kind = DatagramKind::Unknown;
    std::string line;               // readable, as for the byte stream
    std::optional<AddressSet> set;  // AddressSet only
};

// A discovery request starts with 58; an address-set packet is 32 bytes starting with 5A (a longer
// one is read from its first 32 bytes and said so); anything else is shown as hex.
DatagramReading ReadDatagram(std::span<const uint8_t> datagram);

// Whether the packet names this printer: its MAC and identity bytes as it replied.
bool NamesPrinter(const PrinterSettings& printer, const AddressSet& set);
// Applies the packet when it names this printer.
[[nodiscard]] bool ApplyAddressSet(PrinterSettings& printer, const AddressSet& set);
// Applies an address frame received on the byte stream (IP setting, DHCP, MAC); other events
// leave the printer as it is. True when something changed.
bool ApplySettingFrame(PrinterSettings& printer, const Event& event);

std::string Ipv4Text(const netcfg::Ipv4Octets& address);
std::string MacText(const netcfg::MacBytes& mac);

}  // namespace sim
