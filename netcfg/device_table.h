#pragma once
// Network printers found by the UDP discovery exchange: the request, one device's reply as kept
// (DeviceEntry), the table of 16 devices with the program's acceptance rules, and the list line.
// Both programs use this; they differ only in their DiscoveryPolicy. tessary-cli keeps a larger
// table of its own, since it lists every printer that answers.

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace netcfg {

inline constexpr uint16_t kDiscoveryPort = 9000;  // requests and address-set packets go here
inline constexpr uint16_t kReplyPort = 8999;      // replies come back here
inline constexpr std::size_t kDeviceSlots = 16;   // the windows' table
inline constexpr std::size_t kEntrySize = 26;     // the longest kept reply

// One device: the first bytes of its reply as they arrived; bytes not kept are 00.
struct DeviceEntry {
    std::array<uint8_t, kEntrySize> bytes{};

    uint8_t Byte(std::size_t i) const { return bytes[i]; }
    std::array<uint8_t, 6> Mac() const { return Slice<6>(2); }
    std::array<uint8_t, 6> Identity() const { return Slice<6>(8); }
    std::array<uint8_t, 4> Address() const { return Slice<4>(14); }
    std::array<uint8_t, 4> Mask() const { return Slice<4>(18); }
    std::array<uint8_t, 4> Gateway() const { return Slice<4>(22); }
    bool operator==(const DeviceEntry&) const = default;

  private:
    template <std::size_t N>
    std::array<uint8_t, N> Slice(std::size_t from) const {
        std::array<uint8_t, N> out{};
        for (std::size_t i = 0; i < N; ++i) out[i] = bytes[from + i];
        return out;
    }
};

// What differs between the programs.
struct DiscoveryPolicy {
    std::size_t requestLength;  // "X" and zeros
    std::size_t receiveLength;  // receive buffer; a longer datagram is cut to it
    std::size_t keptLength;     // bytes of a reply stored and compared (<= kEntrySize)
    // The acceptance test on the received bytes (missing bytes read as 00).
    bool (*accepts)(const DeviceEntry& reply);
};

// Tessary: 30-byte request and buffer, 26 bytes kept, byte 0 as signed above 0.
const DiscoveryPolicy& TessaryPolicy();
// Brindel: 24-byte request and buffer, 24 kept, bytes 0 and 1 as signed in 0..10, bytes 18 and
// 19 both FF.
const DiscoveryPolicy& BrindelPolicy();

// The discovery request: 58 then zeros, requestLength bytes.
std::vector<uint8_t> DiscoveryRequest(const DiscoveryPolicy& policy);

// "(%x.%x)%d.%d.%d.%u." from bytes 0 and 1 (signed, widened: 80 prints ffffff80) and the address
// bytes 14-17; the last full stop belongs to the line.
std::string ListLine(const DeviceEntry& entry);

// The slots (16 for the windows) and the count, shared by the listener thread (stores) and the
// window thread (reads, clears); every member locks.
class DeviceTable {
  public:
    enum class Offer {
        Stored,     // a new device took the next slot
        Rejected,   // failed the acceptance test
        Duplicate,  // equal to a slot (occupied or not)
        Full,       // a new device while every slot is taken: ignored
    };

    explicit DeviceTable(const DiscoveryPolicy& policy, std::size_t slots = kDeviceSlots);
    DeviceTable(const DeviceTable&) = delete;
    DeviceTable& operator=(const DeviceTable&) = delete;

    const DiscoveryPolicy& Policy() const { return policy_; }
    // Handles one received datagram: cut to the receive length, missing bytes 00.
    Offer OfferReply(std::span<const uint8_t> datagram);
    void Clear();
    std::size_t Count() const;
    // The slot at a list position; nullopt outside 0..count-1.
    std::optional<DeviceEntry> Slot(int position) const;
    // Slots 0..count-1.
    std::vector<DeviceEntry> Devices() const;

  private:
    const DiscoveryPolicy& policy_;
    mutable std::mutex mutex_;
    const std::size_t capacity_;
    std::vector<DeviceEntry> slots_;  // the occupied slots, in the order they were taken
};

}  // namespace netcfg
