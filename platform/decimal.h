#pragma once
// Decimal integer text as the windows' edit fields and the parameters file hold it.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace platform {

// Reads an integer the way a formatted stream extraction does: leading white space (blanks, tabs,
// line ends) is skipped, then an optional '+' or '-', then decimal digits up to the first
// non-digit; the rest of the text is ignored. Empty when no digit follows, or when the number
// does not fit an int (the extraction fails then, too).
std::optional<int> ExtractDecimal(std::string_view text);

// The value of a decimal field (atoi rule): as ExtractDecimal, 0 when the text holds no number; a
// number beyond the int range is clamped to INT_MIN or INT_MAX.
int ParseDecimal(std::string_view text);

// Dotted-quad IPv4 text ("192.168.0.1"): four decimal octets of 1 to 3 digits, no leading zero,
// at most 255, and nothing else. The octets first one first; nullopt for any other text.
std::optional<std::array<uint8_t, 4>> ParseDottedQuad(std::string_view text);

}  // namespace platform
