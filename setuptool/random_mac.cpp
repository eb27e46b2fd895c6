#include "setuptool/random_mac.h"

namespace setuptool {

std::array<uint8_t, 6> RandomMac(int64_t secondsSinceEpoch) {
    uint32_t state = static_cast<uint32_t>(secondsSinceEpoch);  // low 32 bits
    const auto draw = [&state] {
        state = state * 214013u + 2531011u;  // modulo 2^32 by unsigned wrap-around
        return static_cast<uint16_t>((state >> 16) & 0x7FFF);
    };
    std::array<uint8_t, 6> mac{};
    for (std::size_t i = 0; i < mac.size(); i += 2) {
        const uint16_t r = draw();
        mac[i] = static_cast<uint8_t>(r & 0xFF);
        mac[i + 1] = static_cast<uint8_t>(r >> 8);
    }
    // A proposal must be usable as a device address: unicast, locally administered.
    mac[0] = static_cast<uint8_t>((mac[0] & ~0x01) | 0x02);
    return mac;
}

}  // namespace setuptool
