#pragma once
// Reading and writing the argument forms of tessary-cli: IPv4 addresses, MAC addresses, decimal
// numbers, and the hex lines of a dry run.

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/hex_text.h"

namespace cli {

using Ipv4 = std::array<uint8_t, 4>;  // first octet first
using Mac = std::array<uint8_t, 6>;   // first byte first

// Dotted quad "192.168.0.199"; nullopt for anything else.
std::optional<Ipv4> ParseIpv4(std::string_view text);
std::string FormatIpv4(const Ipv4& address);
// The address as one number, first octet highest, and back: for subnet arithmetic.
uint32_t Ipv4Number(const Ipv4& address);
Ipv4 Ipv4OfNumber(uint32_t number);

// "XX:XX:XX:XX:XX:XX", each group one or two hexadecimal digits of either case.
std::optional<Mac> ParseMac(std::string_view text);
// Upper case, two digits a group.
std::string FormatMac(const Mac& mac);

// Plain decimal digits (no sign, no blanks) up to `max`; nullopt otherwise.
std::optional<unsigned> ParseUnsigned(std::string_view text, unsigned max);

// ASCII letters in lower case, for names and words compared without regard to case.
std::string LowerAscii(std::string_view text);

// A time in seconds for messages: "20 s", "2.5 s", "0.3 s".
std::string SecondsText(std::chrono::milliseconds duration);

// "1F 1B 75 9A 00 00": the hex lines of dry runs.
using platform::HexBytes;

}  // namespace cli
