// GBK conversion through code page 936, named explicitly: the PC's own ANSI code page may be
// another (a Western Windows has 1252).
#include <windows.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <optional>

#include "platform/text_codec.h"
#include "platform/win32/wide_text.h"

namespace platform {
namespace {

constexpr UINT kGbk = 936;
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Windows maps GBK's user-defined areas to private-use characters; they hold no standard
// character, so they convert neither way (as with iconv's GBK).
bool PrivateUse(const wchar_t* wide, int units) {
    return units == 1 && wide[0] >= 0xE000 && wide[0] <= 0xF8FF;
}

void AppendUtf8(std::string& out, const wchar_t* wide, int units) {
    char bytes[8];
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, wide, units, bytes, sizeof bytes, nullptr, nullptr);
    if (n > 0) {
        out.append(bytes, static_cast<std::size_t>(n));
    } else {
        out += kReplacement;
    }
}

// The Windows code page of a character set named as iconv names it: "CPnnn", "WINDOWS-nnn",
// "ISO-8859-n"; nothing for one this Windows does not have.
std::optional<UINT> CodePage(std::string_view charset) {
    std::string name;
    for (const char c : charset)
        name += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const auto number = [&](std::string_view prefix) -> std::optional<UINT> {
        if (name.rfind(prefix, 0) != 0 || name.size() == prefix.size() ||
            name.find_first_not_of("0123456789", prefix.size()) != std::string::npos)
            return std::nullopt;
        return static_cast<UINT>(std::strtoul(name.c_str() + prefix.size(), nullptr, 10));
    };
    std::optional<UINT> page = number("CP");
    if (!page) page = number("WINDOWS-");
    if (const auto part = number("ISO-8859-")) page = 28590 + *part;
    if (page && IsValidCodePage(*page)) return page;
    return std::nullopt;
}

}  // namespace

std::optional<std::string> ToUtf8(std::string_view text, const char* charset) {
    if (std::string_view(charset) == "GBK") return GbkToUtf8(text);
    const std::optional<UINT> page = CodePage(charset);
    if (!page) return std::nullopt;
    // Byte by byte: a byte the page leaves empty becomes U+FFFD. Windows fills such holes with
    // the C1 control of the same number, which no page defines above 0x7F.
    std::wstring wide;
    wide.reserve(text.size());
    for (const char byte : text) {
        if (static_cast<uint8_t>(byte) < 0x80) {
            wide += static_cast<wchar_t>(byte);
            continue;
        }
        wchar_t w = 0;
        const int units = MultiByteToWideChar(*page, MB_ERR_INVALID_CHARS, &byte, 1, &w, 1);
        wide += units == 1 && !(w >= 0x80 && w <= 0x9F) ? w : static_cast<wchar_t>(0xFFFD);
    }
    // A base character and its combining mark become one character (CP1255, CP1258).
    const int length =
        NormalizeString(NormalizationC, wide.data(), static_cast<int>(wide.size()), nullptr, 0);
    if (length > 0) {
        std::wstring composed(static_cast<std::size_t>(length), L'\0');
        const int done = NormalizeString(NormalizationC, wide.data(), static_cast<int>(wide.size()),
                                         composed.data(), length);
        if (done > 0) {
            composed.resize(static_cast<std::size_t>(done));
            wide = std::move(composed);
        }
    }
    return Utf8FromWide(wide);
}

std::string Utf8ToGbk(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const std::string_view rest = utf8.substr(i);
        const std::size_t n = Utf8SequenceLength(rest);
        if (n == 0) {
            out += '?';
            i += Utf8BadLength(rest);
            continue;
        }
        i += n;
        if (n == 1) {
            out += rest[0];
            continue;
        }
        // One character at a time, so each one GBK cannot hold becomes exactly one '?' and no
        // look-alike ("best fit") is sent in its place.
        wchar_t wide[2];
        const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, rest.data(),
                                              static_cast<int>(n), wide, 2);
        char bytes[4];
        BOOL usedDefault = FALSE;
        const int m = units > 0 && !PrivateUse(wide, units)
                          ? WideCharToMultiByte(kGbk, WC_NO_BEST_FIT_CHARS, wide, units, bytes,
                                                sizeof bytes, "?", &usedDefault)
                          : 0;
        if (m <= 0 || usedDefault) {
            out += '?';
        } else {
            out.append(bytes, static_cast<std::size_t>(m));
        }
    }
    return out;
}

std::string GbkToUtf8(std::string_view gbk) {
    std::string out;
    out.reserve(gbk.size() * 3 / 2);
    for (std::size_t i = 0; i < gbk.size();) {
        const auto b = static_cast<uint8_t>(gbk[i]);
        if (b < 0x80) {
            out += gbk[i++];
            continue;
        }
        // A lead byte with its trail byte, else the byte alone; when neither converts, only the
        // offending byte is replaced (a trail byte that turns out to be ASCII is kept).
        const bool pair = b >= 0x81 && b <= 0xFE && i + 1 < gbk.size();
        wchar_t wide[2];
        int length = pair ? 2 : 1;
        const auto convert = [&](int bytes) {
            const int units =
                MultiByteToWideChar(kGbk, MB_ERR_INVALID_CHARS, gbk.data() + i, bytes, wide, 2);
            return PrivateUse(wide, units) ? 0 : units;
        };
        int units = convert(length);
        if (units <= 0 && pair) {
            length = 1;
            units = convert(1);
        }
        if (units > 0) {
            AppendUtf8(out, wide, units);
        } else {
            out += kReplacement;
        }
        i += static_cast<std::size_t>(length);
    }
    return out;
}

}  // namespace platform
