#pragma once
// Printed text as the virtual printer shows it: GBK while Chinese mode is on, else the single-byte
// code page ESC t selected, as UTF-8. Anything that is no character shows as \xNN, a backslash as
// \\, a tab as \t, a carriage return other than the one before the closing line feed as \r.

#include <cstdint>
#include <span>
#include <string>

namespace sim {

// How the printer reads text bytes now.
struct TextCoding {
    bool chinese = true;   // GBK; the default of these printers and after ESC @
    uint8_t codePage = 0;  // ESC t, used while Chinese mode is off
    bool operator==(const TextCoding&) const = default;
};

struct RenderedText {
    std::string text;
    // Bytes above 7F in a code page iconv does not know: shown as \xNN, the page to be named.
    bool undecoded = false;
};

// Text up to its closing line end (LF or CR LF, left out).
RenderedText RenderText(std::span<const uint8_t> bytes, const TextCoding& coding);
std::string RenderGbk(std::span<const uint8_t> bytes);
// UTF-8 bytes as they are, with control characters and ill-formed bytes as \xNN.
std::string RenderUtf8(std::span<const uint8_t> bytes);

inline bool IsGbkLead(uint8_t b) {
    return b >= 0x81 && b <= 0xFE;
}

}  // namespace sim
