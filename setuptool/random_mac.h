#pragma once
// The MAC address proposal: seeded from the clock at every call, so two calls in one second agree.

#include <array>
#include <cstdint>

namespace setuptool {

// Seed = seconds since 1970 (low 32 bits); three LCG draws (x*214013 + 2531011, (x>>16)&0x7FFF)
// give bytes r1&FF, r1>>8, r2&FF, r2>>8, r3&FF, r3>>8. Byte 0 is then made unicast and locally
// administered (bit 0 cleared, bit 1 set).
std::array<uint8_t, 6> RandomMac(int64_t secondsSinceEpoch);

}  // namespace setuptool
