// The test page cut: never more than 2047 bytes, never a split GBK character, every line end a
// CR LF pair; and the GBK cut itself on arbitrary bytes: the longest prefix within the limit that
// ends on a character boundary.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "fuzz/check.h"
#include "platform/text_codec.h"
#include "setuptool/test_text.h"

namespace {

bool IsLead(char c) {
    const auto b = static_cast<uint8_t>(c);
    return b >= 0x81 && b <= 0xFE;
}

// Length of the character at `at`, walking as the cut does: a lead byte takes the next byte
// when there is one in `gbk`.
std::size_t CharacterLength(std::string_view gbk, std::size_t at) {
    return IsLead(gbk[at]) && at + 1 < gbk.size() ? 2 : 1;
}

// Character boundaries of `gbk`, walking from the start, include `end`.
bool EndsOnBoundary(std::string_view gbk, std::size_t end) {
    std::size_t at = 0;
    while (at < end) at += CharacterLength(gbk, at);
    return at == end;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::size_t limit = input.ConsumeIntegralInRange<std::size_t>(0, 4096);
    const std::string raw = input.ConsumeRandomLengthString(8192);
    const std::string utf8 = input.ConsumeRemainingBytesAsString();

    const std::string_view cut = platform::TruncateGbk(raw, limit);
    FUZZ_CHECK(cut.size() <= limit);
    FUZZ_CHECK(cut.data() == raw.data());
    FUZZ_CHECK(EndsOnBoundary(raw, cut.size()));
    if (raw.size() > cut.size()) {  // the longest: the next character would not have fitted
        FUZZ_CHECK(cut.size() + CharacterLength(raw, cut.size()) > limit);
    }

    const std::string page = setuptool::TestPrintBytes(utf8);
    FUZZ_CHECK(page.size() <= setuptool::kMaxTestTextBytes);
    // GBK from the converter: every lead byte has its second byte in the page.
    for (std::size_t at = 0; at < page.size(); at += IsLead(page[at]) ? 2 : 1) {
        FUZZ_CHECK(!IsLead(page[at]) || at + 1 < page.size());
    }
    for (std::size_t i = 0; i < page.size(); ++i) {
        if (page[i] == '\r') FUZZ_CHECK(i + 1 < page.size() && page[i + 1] == '\n');
        if (page[i] == '\n') FUZZ_CHECK(i > 0 && page[i - 1] == '\r');
    }
    return 0;
}
