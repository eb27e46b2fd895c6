#include "sim/escpos_parts.h"

#include <algorithm>

#include "platform/hex_text.h"

namespace sim::escpos::parts {

Extent More() {
    return {};
}
Extent Known(std::size_t header, uint64_t data, std::size_t keep, Trailer trailer) {
    Extent e;
    e.kind = Extent::Kind::Known;
    e.header = header;
    e.data = data;
    e.keep = static_cast<std::size_t>(std::min<uint64_t>(keep, data));
    e.trailer = trailer;
    return e;
}
Extent Unknown(std::size_t count) {
    Extent e;
    e.kind = Extent::Kind::Unknown;
    e.header = count;
    return e;
}

unsigned Le16(Bytes c, std::size_t at) {
    return c[at] | c[at + 1] << 8;
}

// A field of bytes accepted by `valid` from `from`, closed by 00, at most `max` bytes; a full field
// may still take its 00. A byte that is neither ends the command and is read again.
Extent NulEnded(Bytes c, std::size_t from, std::size_t max, bool (*valid)(uint8_t)) {
    for (std::size_t i = from; i < c.size(); ++i) {
        if (c[i] == 0x00) return Known(i + 1);
        if (!valid(c[i])) return Known(i);
        if (i + 1 - from == max) return Known(i + 1, 0, 0, Trailer::Nul);
    }
    return More();
}

// A length field of `width` bytes (low byte first) at `at`, then that many data bytes.
Extent LengthPrefixed(Bytes c, std::size_t at, std::size_t width, std::size_t keep) {
    if (c.size() < at + width) return More();
    uint64_t length = 0;
    for (std::size_t i = width; i > 0; --i) length = length << 8 | c[at + i - 1];
    return Known(at + width, length, keep);
}

// --- values in words ---

std::string Plural(uint64_t n, const char* thing) {
    return std::to_string(n) + " " + thing + (n == 1 ? "" : "s");
}
std::string Number(unsigned n, const char* unit) {
    return std::to_string(n) + unit;
}
std::string Hex(uint8_t b) {
    return platform::HexBytes(Bytes(&b, 1));
}
// The value as 0/'0', 1/'1', ...: its position in `names`, else as hex.
std::string Choice(uint8_t value, std::span<const char* const> names) {
    const unsigned n = value >= '0' && value < '0' + names.size() ? value - '0' : value;
    return n < names.size() ? names[n] : Hex(value);
}
std::string Magnification(uint8_t m) {
    static constexpr const char* kNames[] = {"normal", "double width", "double height",
                                             "quadruple"};
    return Choice(m, kNames);
}

}  // namespace sim::escpos::parts
