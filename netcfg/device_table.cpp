#include "netcfg/device_table.h"

#include <algorithm>
#include <cstdio>

namespace netcfg {
namespace {

int Signed(uint8_t byte) {
    return static_cast<int8_t>(byte);
}

bool TessaryAccepts(const DeviceEntry& reply) {
    return Signed(reply.Byte(0)) > 0;
}

bool BrindelAccepts(const DeviceEntry& reply) {
    const auto inRange = [](uint8_t byte) { return Signed(byte) >= 0 && Signed(byte) <= 10; };
    return inRange(reply.Byte(0)) && inRange(reply.Byte(1)) && reply.Byte(18) == 0xFF &&
           reply.Byte(19) == 0xFF;
}

constexpr DiscoveryPolicy kTessary{30, 30, 26, TessaryAccepts};
constexpr DiscoveryPolicy kBrindel{24, 24, 24, BrindelAccepts};

}  // namespace

const DiscoveryPolicy& TessaryPolicy() {
    return kTessary;
}

const DiscoveryPolicy& BrindelPolicy() {
    return kBrindel;
}

std::vector<uint8_t> DiscoveryRequest(const DiscoveryPolicy& policy) {
    std::vector<uint8_t> request(policy.requestLength, 0);
    if (!request.empty()) request[0] = 0x58;
    return request;
}

std::string ListLine(const DeviceEntry& entry) {
    char line[64];
    std::snprintf(line, sizeof line, "(%x.%x)%d.%d.%d.%u.",
                  static_cast<unsigned>(Signed(entry.Byte(0))),
                  static_cast<unsigned>(Signed(entry.Byte(1))), static_cast<int>(entry.Byte(14)),
                  static_cast<int>(entry.Byte(15)), static_cast<int>(entry.Byte(16)),
                  static_cast<unsigned>(entry.Byte(17)));
    return line;
}

DeviceTable::DeviceTable(const DiscoveryPolicy& policy, std::size_t slots)
    : policy_(policy), capacity_(slots) {
    slots_.reserve(std::min(slots, kDeviceSlots));
}

DeviceTable::Offer DeviceTable::OfferReply(std::span<const uint8_t> datagram) {
    // The received bytes, zero filled; the acceptance test may look past the kept ones.
    DeviceEntry received;
    const std::size_t readable = std::min({datagram.size(), policy_.receiveLength, kEntrySize});
    std::copy_n(datagram.begin(), readable, received.bytes.begin());
    if (!policy_.accepts(received)) return Offer::Rejected;
    DeviceEntry kept;
    std::copy_n(received.bytes.begin(), std::min(policy_.keptLength, kEntrySize),
                kept.bytes.begin());

    // Empty slots are all zeros, which no accepted reply is: comparing with the occupied slots
    // is comparing with every slot.
    std::lock_guard lock(mutex_);
    if (std::find(slots_.begin(), slots_.end(), kept) != slots_.end()) return Offer::Duplicate;
    if (slots_.size() >= capacity_) return Offer::Full;
    slots_.push_back(kept);
    return Offer::Stored;
}

void DeviceTable::Clear() {
    std::lock_guard lock(mutex_);
    slots_.clear();
}

std::size_t DeviceTable::Count() const {
    std::lock_guard lock(mutex_);
    return slots_.size();
}

std::optional<DeviceEntry> DeviceTable::Slot(int position) const {
    std::lock_guard lock(mutex_);
    if (position < 0 || static_cast<std::size_t>(position) >= slots_.size()) return std::nullopt;
    return slots_[static_cast<std::size_t>(position)];
}

std::vector<DeviceEntry> DeviceTable::Devices() const {
    std::lock_guard lock(mutex_);
    return slots_;
}

}  // namespace netcfg
