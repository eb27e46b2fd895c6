// GBK conversion through code page 936, named explicitly: the PC's own ANSI code page may be
// another (a Western Windows has 1252).
#include <windows.h>

#include <cstdint>

#include "platform/text_codec.h"

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

}  // namespace

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
