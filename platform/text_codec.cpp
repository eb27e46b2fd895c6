#include "platform/text_codec.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>

namespace platform {
namespace {

// One conversion descriptor per call: iconv_t keeps state and must not be shared between threads.
class Converter {
  public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (ok()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return cd_; }

  private:
    iconv_t cd_;
};

// Length of the well-formed UTF-8 sequence at the start of `s`, or 0 when it is not one.
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

// Bytes to skip for an ill-formed sequence at the start of `s`: the lead byte and the
// continuation bytes that belong to it (at least one byte, never a following lead byte).
std::size_t Utf8BadLength(std::string_view s) {
    std::size_t n = 1;
    const uint8_t b0 = static_cast<uint8_t>(s[0]);
    const std::size_t expected = b0 >= 0xF0 ? 4 : b0 >= 0xE0 ? 3 : b0 >= 0xC0 ? 2 : 1;
    while (n < expected && n < s.size() && (static_cast<uint8_t>(s[n]) & 0xC0) == 0x80) ++n;
    return n;
}

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

struct Replacement {
    std::string_view text;  // appended to the output
    std::size_t skip;       // input bytes passed over
};

// Runs `cd` over `in`. At a sequence the converter rejects (EILSEQ, or EINVAL for one cut short at
// the end), `onBad` gets the rest of the input and says what to emit and how far to skip.
template <typename OnBad>
std::string Convert(iconv_t cd, std::string_view in, OnBad onBad) {
    std::string out(in.size() * 2 + 16, '\0');
    std::size_t used = 0;
    char* inPtr = const_cast<char*>(in.data());  // iconv does not write through it
    std::size_t inLeft = in.size();
    while (inLeft > 0) {
        char* outPtr = out.data() + used;
        std::size_t outLeft = out.size() - used;
        const std::size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        const int error = errno;
        used = out.size() - outLeft;
        if (rc != static_cast<std::size_t>(-1)) break;
        if (error != E2BIG) {
            const Replacement r = onBad(std::string_view(inPtr, inLeft));
            if (out.size() - used < r.text.size()) out.resize(out.size() * 2 + r.text.size());
            out.replace(used, r.text.size(), r.text);
            used += r.text.size();
            inPtr += r.skip;
            inLeft -= r.skip;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
        }
        // Room for whatever is left: E2BIG, or a replacement that used up the margin.
        if (error == E2BIG || out.size() - used < inLeft * 2 + 16) {
            out.resize(out.size() * 2 + inLeft * 2 + 16);
        }
    }
    // Characters a stateful converter still holds (CP1255 and CP1258 wait for a combining mark).
    if (out.size() - used < 16) out.resize(used + 16);
    char* outPtr = out.data() + used;
    std::size_t outLeft = out.size() - used;
    iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
    used = out.size() - outLeft;
    out.resize(used);
    return out;
}

}  // namespace

std::string Utf8ToGbk(std::string_view utf8) {
    Converter cd("GBK", "UTF-8");
    if (!cd.ok()) {
        // No GBK converter: ASCII still passes, everything else is unrepresentable.
        std::string out;
        for (std::size_t i = 0; i < utf8.size();) {
            const std::size_t n = Utf8SequenceLength(utf8.substr(i));
            if (n == 1) {
                out += utf8[i];
                ++i;
            } else {
                out += '?';
                i += n ? n : Utf8BadLength(utf8.substr(i));
            }
        }
        return out;
    }
    return Convert(cd.get(), utf8, [](std::string_view rest) {
        const std::size_t n = Utf8SequenceLength(rest);
        return Replacement{"?", n ? n : Utf8BadLength(rest)};
    });
}

std::optional<std::string> ToUtf8(std::string_view text, const char* charset) {
    Converter cd("UTF-8", charset);
    if (!cd.ok()) return std::nullopt;
    // Skip only the offending byte: a trail byte that turns out to be ASCII is kept.
    return Convert(cd.get(), text, [](std::string_view) { return Replacement{kReplacement, 1}; });
}

std::string GbkToUtf8(std::string_view gbk) {
    if (std::optional<std::string> utf8 = ToUtf8(gbk, "GBK")) return *std::move(utf8);
    // No GBK converter: ASCII still passes.
    std::string out;
    for (char c : gbk) {
        if (static_cast<uint8_t>(c) < 0x80) {
            out += c;
        } else {
            out += kReplacement;
        }
    }
    return out;
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
