// The decimal readers: the interval field (atoi rule), the baud-rate text and the parameters
// file, checked against the plain rule (blanks, one sign, digits, the rest ignored).
#include <unistd.h>

#include <charconv>
#include <climits>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "fuzz/check.h"
#include "link/device_io.h"
#include "platform/decimal.h"
#include "setuptool/init_params.h"

namespace {

struct Reference {
    bool digits = false;  // a digit follows the blanks and sign
    bool fits = false;    // ... and the number fits an int
    long long value = 0;  // the number, clamped to the long long range
    bool negative = false;
};

Reference Read(std::string_view text) {
    Reference r;
    std::size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || (text[at] >= '\t' && text[at] <= '\r'))) ++at;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) r.negative = text[at++] == '-';
    std::size_t end = at;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
    r.digits = end > at;
    if (!r.digits) return r;
    unsigned long long magnitude = 0;
    const auto [ptr, ec] = std::from_chars(text.data() + at, text.data() + end, magnitude);
    const bool huge = ec == std::errc::result_out_of_range || magnitude > (1ull << 62);
    const long long m = huge ? (1ll << 62) : static_cast<long long>(magnitude);
    r.value = r.negative ? -m : m;
    r.fits = r.value >= INT_MIN && r.value <= INT_MAX;
    return r;
}

std::filesystem::path Dir() {
    static const std::filesystem::path dir = [] {
        char pattern[] = "/tmp/fuzz_decimal_XXXXXX";
        const char* made = mkdtemp(pattern);
        return std::filesystem::path(made != nullptr ? made : "/tmp");
    }();
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const Reference r = Read(text);

    const std::optional<int> extracted = platform::ExtractDecimal(text);
    FUZZ_CHECK(extracted.has_value() == (r.digits && r.fits));
    if (extracted) FUZZ_CHECK(*extracted == r.value);

    const int parsed = platform::ParseDecimal(text);
    if (!r.digits) {
        FUZZ_CHECK(parsed == 0);
    } else if (r.fits) {
        FUZZ_CHECK(parsed == r.value);
    } else {
        FUZZ_CHECK(parsed == (r.negative ? INT_MIN : INT_MAX));
    }

    const unsigned baud = printerlink::ParseBaudText(text);
    FUZZ_CHECK(baud == (extracted && *extracted > 0 ? static_cast<unsigned>(*extracted) : 0u));

    // The parameters file: its first 64 KiB read the same way; unreadable text keeps the flag.
    if (size <= 70000) {
        const std::filesystem::path file = Dir() / setuptool::kInitParamsFileName;
        {
            std::ofstream out(file, std::ios::binary | std::ios::trunc);
            out.write(text.data(), static_cast<std::streamsize>(text.size()));
        }
        const std::optional<int> head = platform::ExtractDecimal(text.substr(0, 65536));
        FUZZ_CHECK(setuptool::ReadInitParams(Dir(), 7) == head.value_or(7));
    }
    return 0;
}
