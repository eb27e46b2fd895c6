#include "sim/printer_text.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string_view>

#include "platform/text_codec.h"
#include "sim/escpos_commands.h"

namespace sim {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

bool IsGbkTrail(uint8_t b) {
    return b >= 0x40 && b <= 0xFE && b != 0x7F;
}

// A code point (what code page tables hold) as UTF-8.
std::string Utf8(char32_t code) {
    std::string out;
    AppendUtf8(out, code);
    return out;
}

std::string Escape(uint8_t b) {
    char text[8];
    std::snprintf(text, sizeof text, "\\x%02X", b);
    return text;
}

// Length of the well-formed UTF-8 sequence at `s[i]`, 0 when there is none.
std::size_t Utf8Length(std::span<const uint8_t> s, std::size_t i) {
    const uint8_t b = s[i];
    const std::size_t n = b < 0x80                 ? 1
                          : b >= 0xC2 && b <= 0xDF ? 2
                          : b >= 0xE0 && b <= 0xEF ? 3
                          : b >= 0xF0 && b <= 0xF4 ? 4
                                                   : 0;
    if (n == 0 || i + n > s.size()) return 0;
    for (std::size_t k = 1; k < n; ++k) {
        if ((s[i + k] & 0xC0) != 0x80) return 0;
    }
    if (n == 3 && ((b == 0xE0 && s[i + 1] < 0xA0) || (b == 0xED && s[i + 1] > 0x9F))) return 0;
    if (n == 4 && ((b == 0xF0 && s[i + 1] < 0x90) || (b == 0xF4 && s[i + 1] > 0x8F))) return 0;
    return n;
}

}  // namespace

void AppendUtf8(std::string& out, char32_t code) {
    if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = 0xFFFD;
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | code >> 6);
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | code >> 12);
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | code >> 18);
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

RenderedText RenderText(std::span<const uint8_t> bytes, const TextCoding& coding) {
    std::size_t end = bytes.size();
    if (end > 0 && bytes[end - 1] == 0x0A) --end;
    RenderedText out;
    if (coding.utf8) {
        std::size_t from = 0;  // start of the stretch not yet shown
        for (std::size_t i = 0; i <= end; ++i) {
            if (i < end && bytes[i] != 0x0D && bytes[i] != 0x09) continue;
            out.text += RenderUtf8(bytes.subspan(from, i - from));
            if (i < end && bytes[i] == 0x09) out.text += "\\t";
            from = i + 1;
        }
        return out;
    }
    const escpos::CodePage* page = coding.chinese ? nullptr : escpos::FindCodePage(coding.codePage);
    const char* charset = coding.chinese ? "GBK" : page != nullptr ? page->charset : nullptr;
    std::string characters;  // text waiting for conversion
    const auto flush = [&] {
        const bool ascii = std::all_of(characters.begin(), characters.end(),
                                       [](char c) { return static_cast<uint8_t>(c) < 0x80; });
        std::optional<std::string> utf8;
        if (!ascii && charset != nullptr) utf8 = platform::ToUtf8(characters, charset);
        if (ascii) {  // the same in UTF-8: no conversion needed
            out.text += characters;
        } else if (!utf8) {  // a code page iconv does not know: its own table, else the bytes
            for (const char c : characters) {
                const uint8_t b = static_cast<uint8_t>(c);
                const char32_t code = page != nullptr ? escpos::HighCharacter(*page, b) : 0;
                if (b < 0x80) {
                    out.text += c;
                } else if (code != 0) {
                    out.text += Utf8(code);
                } else {
                    out.text += Escape(b);
                    out.undecoded = true;
                }
            }
        } else if (utf8->find(kReplacement) == std::string::npos) {
            out.text += *utf8;
        } else {  // a byte or pair the set leaves unassigned: one by one, that one as hex
            for (std::size_t i = 0; i < characters.size();) {
                const std::size_t n =
                    coding.chinese && static_cast<uint8_t>(characters[i]) >= 0x80 ? 2 : 1;
                const std::string one =
                    platform::ToUtf8(characters.substr(i, n), charset).value_or("");
                if (one.empty() || one.find(kReplacement) != std::string::npos) {
                    for (std::size_t k = 0; k < n; ++k)
                        out.text += Escape(static_cast<uint8_t>(characters[i + k]));
                } else {
                    out.text += one;
                }
                i += n;
            }
        }
        characters.clear();
    };
    for (std::size_t i = 0; i < end; ++i) {
        const uint8_t b = bytes[i];
        if (b >= 0x20 && b < 0x7F && b != '\\') {
            characters += static_cast<char>(b);
        } else if (coding.chinese && IsGbkLead(b) && i + 1 < end && IsGbkTrail(bytes[i + 1])) {
            characters += static_cast<char>(b);
            characters += static_cast<char>(bytes[++i]);
        } else if (!coding.chinese && b >= 0x80) {
            characters += static_cast<char>(b);
        } else if (b != 0x0D) {
            flush();
            out.text += b == '\\' ? "\\\\" : b == 0x09 ? "\\t" : Escape(b);
        }
    }
    flush();
    return out;
}

std::string RenderGbk(std::span<const uint8_t> bytes) {
    return RenderText(bytes, TextCoding{}).text;
}

std::string RenderUtf8(std::span<const uint8_t> bytes) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t n = Utf8Length(bytes, i);
        if (n == 0 || bytes[i] < 0x20 || bytes[i] == 0x7F || bytes[i] == '\\') {
            out += bytes[i] == '\\' ? "\\\\" : Escape(bytes[i]);
            ++i;
        } else {
            out.append(reinterpret_cast<const char*>(bytes.data() + i), n);
            i += n;
        }
    }
    return out;
}

}  // namespace sim
