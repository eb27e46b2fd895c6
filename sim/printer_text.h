#pragma once
// Printed text as the virtual printer shows it: UTF-8 once FS ( C selected it, else GBK while
// Chinese mode is on, else the single-byte code page ESC t selected, as UTF-8. Anything that is no
// character shows as \xNN, a backslash as \\, a tab as \t; a carriage return is no text and is
// left out.

#include <cstdint>
#include <span>
#include <string>

namespace sim {

// How the printer reads text bytes now.
struct TextCoding {
    bool chinese = true;   // GBK; the default of these printers and after ESC @
    uint8_t codePage = 0;  // ESC t, used while Chinese mode is off
    bool utf8 = false;     // FS ( C: UTF-8, whatever Chinese mode and the code page say
    bool operator==(const TextCoding&) const = default;
};

struct RenderedText {
    std::string text;
    // Bytes above 7F in a code page iconv does not know: shown as \xNN, the page to be named.
    bool undecoded = false;
};

// Text up to its closing line feed (left out).
RenderedText RenderText(std::span<const uint8_t> bytes, const TextCoding& coding);
std::string RenderGbk(std::span<const uint8_t> bytes);
// UTF-8 bytes as they are, with control characters and ill-formed bytes as \xNN.
std::string RenderUtf8(std::span<const uint8_t> bytes);
// Appends a code point as UTF-8 (U+FFFD for a surrogate or what is past U+10FFFF).
void AppendUtf8(std::string& out, char32_t code);

inline bool IsGbkLead(uint8_t b) {
    return b >= 0x81 && b <= 0xFE;
}
// Continuation bytes a UTF-8 lead byte announces (0 for ASCII and for bytes that lead nothing).
inline unsigned Utf8Trail(uint8_t b) {
    return b >= 0xC2 && b <= 0xDF ? 1 : b >= 0xE0 && b <= 0xEF ? 2 : b >= 0xF0 && b <= 0xF4 ? 3 : 0;
}

}  // namespace sim
