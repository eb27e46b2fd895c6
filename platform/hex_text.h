#pragma once
// Bytes as hex text, the way the tools show frames: "1F 1B 75 9A".

#include <cstdint>
#include <span>
#include <string>

namespace platform {

// Upper-case hex, one blank between bytes, no line end; empty for no bytes.
std::string HexBytes(std::span<const uint8_t> bytes);

}  // namespace platform
