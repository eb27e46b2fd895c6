#include "platform/text_codec.h"

#include <cstdint>

namespace platform {

std::size_t Utf8SequenceLength(std::string_view s) {
    const auto byte = [&](std::size_t i) { return static_cast<uint8_t>(s[i]); };
    const auto cont = [&](std::size_t i) { return i < s.size() && (byte(i) & 0xC0) == 0x80; };
    if (s.empty()) return 0;
    const uint8_t b0 = byte(0);
    if (b0 < 0x80) return 1;
    if (b0 >= 0xC2 && b0 <= 0xDF) return cont(1) ? 2 : 0;
    if (b0 >= 0xE0 && b0 <= 0xEF) {
        if (!cont(1) || !cont(2)) return 0;
        if (b0 == 0xE0 && byte(1) < 0xA0) return 0;  // overlong
        if (b0 == 0xED && byte(1) > 0x9F) return 0;  // surrogate
        return 3;
    }
    if (b0 >= 0xF0 && b0 <= 0xF4) {
        if (!cont(1) || !cont(2) || !cont(3)) return 0;
        if (b0 == 0xF0 && byte(1) < 0x90) return 0;  // overlong
        if (b0 == 0xF4 && byte(1) > 0x8F) return 0;  // beyond U+10FFFF
        return 4;
    }
    return 0;
}

std::size_t Utf8BadLength(std::string_view s) {
    std::size_t n = 1;
    const uint8_t b0 = static_cast<uint8_t>(s[0]);
    const std::size_t expected = b0 >= 0xF0 ? 4 : b0 >= 0xE0 ? 3 : b0 >= 0xC0 ? 2 : 1;
    while (n < expected && n < s.size() && (static_cast<uint8_t>(s[n]) & 0xC0) == 0x80) ++n;
    return n;
}

std::string_view TruncateGbk(std::string_view gbk, std::size_t maxBytes) {
    // Trail bytes overlap the lead-byte range, so characters are found by walking from the start.
    std::size_t end = 0;
    while (end < gbk.size()) {
        const uint8_t b = static_cast<uint8_t>(gbk[end]);
        const std::size_t n = (b >= 0x81 && b <= 0xFE && end + 1 < gbk.size()) ? 2 : 1;
        if (end + n > maxBytes) break;
        end += n;
    }
    return gbk.substr(0, end);
}

}  // namespace platform
