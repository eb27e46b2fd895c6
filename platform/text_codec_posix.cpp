// GBK conversion through glibc's iconv.
#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <optional>

#include "platform/text_codec.h"

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

}  // namespace platform
