#include "platform/decimal.h"

#include <cstdint>
#include <limits>

namespace platform {
namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

struct Scan {
    bool found = false;     // at least one digit
    bool overflow = false;  // beyond the int range
    int value = 0;          // clamped when overflow
};

Scan ScanDecimal(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulate the magnitude in 64 bits and stop growing once it is past the int range.
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int>::max()} + 1;
    Scan scan;
    int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        scan.found = true;
        if (magnitude <= kLimit) magnitude = magnitude * 10 + (text[i] - '0');
    }
    if (!scan.found) return scan;
    const int64_t value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<int>::max()) {
        scan.overflow = true;
        scan.value = std::numeric_limits<int>::max();
    } else if (value < std::numeric_limits<int>::min()) {
        scan.overflow = true;
        scan.value = std::numeric_limits<int>::min();
    } else {
        scan.value = static_cast<int>(value);
    }
    return scan;
}

}  // namespace

std::optional<int> ExtractDecimal(std::string_view text) {
    const Scan scan = ScanDecimal(text);
    if (!scan.found || scan.overflow) return std::nullopt;
    return scan.value;
}

int ParseDecimal(std::string_view text) {
    return ScanDecimal(text).value;
}

std::optional<std::array<uint8_t, 4>> ParseDottedQuad(std::string_view text) {
    std::array<uint8_t, 4> octets{};
    for (std::size_t i = 0; i < octets.size(); ++i) {
        const std::size_t dot = i + 1 < octets.size() ? text.find('.') : text.size();
        if (dot == std::string_view::npos) return std::nullopt;
        const std::string_view digits = text.substr(0, dot);
        if (digits.empty() || digits.size() > 3 || (digits.size() > 1 && digits[0] == '0'))
            return std::nullopt;
        unsigned value = 0;
        for (const char c : digits) {
            if (c < '0' || c > '9') return std::nullopt;
            value = value * 10 + static_cast<unsigned>(c - '0');
        }
        if (value > 255) return std::nullopt;
        octets[i] = static_cast<uint8_t>(value);
        text.remove_prefix(i + 1 < octets.size() ? dot + 1 : dot);
    }
    return octets;
}

}  // namespace platform
