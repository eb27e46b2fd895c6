#include "sim/paper/characters.h"

#include <algorithm>
#include <array>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/text_codec.h"
#include "sim/escpos_commands.h"

namespace sim::paper {
namespace {

constexpr char32_t kSubstitute = 0xFFFD;

// The one code point `utf8` holds, or 0 when it holds another number of them or a bad sequence.
char32_t OneCodePoint(std::string_view utf8) {
    const std::size_t n = platform::Utf8SequenceLength(utf8);
    if (n == 0 || n != utf8.size()) return 0;
    const auto b = [&](std::size_t i) {
        return static_cast<char32_t>(static_cast<uint8_t>(utf8[i]));
    };
    switch (n) {
        case 1:
            return b(0);
        case 2:
            return (b(0) & 0x1F) << 6 | (b(1) & 0x3F);
        case 3:
            return (b(0) & 0x0F) << 12 | (b(1) & 0x3F) << 6 | (b(2) & 0x3F);
        default:
            return (b(0) & 0x07) << 18 | (b(1) & 0x3F) << 12 | (b(2) & 0x3F) << 6 | (b(3) & 0x3F);
    }
}

// Converts each sequence of `sequences` (none holding a LF) in one call: they are joined with LFs,
// which no GBK or single-byte sequence swallows, and the answer is split at them again.
std::vector<char32_t> ConvertEach(const std::vector<std::string>& sequences, const char* charset) {
    std::vector<char32_t> out(sequences.size(), kSubstitute);
    if (charset == nullptr) return out;
    std::string joined;
    for (const std::string& s : sequences) joined += s + '\n';
    const std::optional<std::string> utf8 = platform::ToUtf8(joined, charset);
    if (!utf8) return out;
    std::size_t from = 0;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const std::size_t end = utf8->find('\n', from);
        if (end == std::string::npos) break;
        const char32_t code = OneCodePoint(std::string_view(*utf8).substr(from, end - from));
        if (code != 0 && code != kSubstitute) out[i] = code;
        from = end + 1;
    }
    return out;
}

constexpr uint8_t kGbkTrailFirst = 0x40;
constexpr int kGbkTrails = 0xFF - kGbkTrailFirst;  // 40 to FE

bool IsGbkTrail(uint8_t b) {
    return b >= kGbkTrailFirst && b <= 0xFE && b != 0x7F;
}

// Every GBK pair's code point, converted once for the process (U+FFFD where GBK has none).
const std::vector<char32_t>& GbkTable() {
    static const std::vector<char32_t> table = [] {
        std::vector<std::string> pairs;
        for (int lead = 0x81; lead <= 0xFE; ++lead) {
            for (int trail = kGbkTrailFirst; trail < kGbkTrailFirst + kGbkTrails; ++trail)
                pairs.push_back({static_cast<char>(lead), static_cast<char>(trail)});
        }
        return ConvertEach(pairs, "GBK");
    }();
    return table;
}

char32_t GbkPair(uint8_t lead, uint8_t trail) {
    return GbkTable()[static_cast<std::size_t>(lead - 0x81) * kGbkTrails +
                      (trail - kGbkTrailFirst)];
}

// A code page's characters 80-FF, converted when the page is first printed.
using HighHalf = std::array<char32_t, 128>;
const HighHalf& CodePageTable(uint8_t number) {
    static std::mutex mutex;
    static std::array<std::unique_ptr<HighHalf>, 256> tables;
    std::lock_guard lock(mutex);
    std::unique_ptr<HighHalf>& table = tables[number];
    if (!table) {
        std::vector<std::string> bytes;
        for (int b = 0x80; b <= 0xFF; ++b) bytes.emplace_back(1, static_cast<char>(b));
        const escpos::CodePage* page = escpos::FindCodePage(number);
        const std::vector<char32_t> codes =
            ConvertEach(bytes, page != nullptr ? page->charset : nullptr);
        table = std::make_unique<HighHalf>();
        std::copy(codes.begin(), codes.end(), table->begin());
        for (int b = 0x80; b <= 0xFF && page != nullptr && page->high != nullptr; ++b) {
            const char32_t code = escpos::HighCharacter(*page, static_cast<uint8_t>(b));
            (*table)[b - 0x80] = code != 0 ? code : kSubstitute;
        }
    }
    return *table;
}

}  // namespace

bool IsWide(char32_t c) {
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) ||
           (c >= 0x3041 && c <= 0x33FF) || (c >= 0x3400 && c <= 0x4DBF) ||
           (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
           (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

void CharacterReader::Break(std::vector<Character>& out) {
    if (waitingSize_ > 0)
        out.push_back({kSubstitute, false, waitingAt_, waitingAt_ + waitingSize_});
    waitingSize_ = 0;
}

void CharacterReader::Read(std::span<const uint8_t> bytes, const TextCoding& coding,
                           std::vector<Character>& out, uint64_t at) {
    if (waitingSize_ > 0 && !(coding == waitingCoding_)) Break(out);
    // Each character read gets its bytes' place: `from` its first byte's offset.
    const auto read = [&](std::span<const uint8_t> s, uint64_t from) {
        const std::size_t n = NextCharacter(s, coding, out);
        if (n > 0) {
            out.back().from = from;
            out.back().to = from + n;
        }
        return n;
    };
    std::size_t i = 0;
    if (waitingSize_ > 0) {  // a character begun in the last call, completed by these bytes
        std::array<uint8_t, 8> joined{};
        const std::size_t was = waitingSize_;
        const std::size_t more = std::min<std::size_t>(bytes.size(), 4);
        std::copy_n(waiting_, was, joined.begin());
        std::copy_n(bytes.begin(), more, joined.begin() + static_cast<std::ptrdiff_t>(was));
        const std::span<const uint8_t> span(joined.data(), was + more);
        std::size_t used = 0;
        while (used < was) {
            const std::size_t n = read(span.subspan(used), waitingAt_ + used);
            if (n == 0) break;
            used += n;
        }
        if (used < was) {  // still cut off: it waits on with these bytes
            waitingAt_ += used;
            waitingSize_ = span.size() - used;
            std::copy_n(span.begin() + static_cast<std::ptrdiff_t>(used), waitingSize_, waiting_);
            return;
        }
        waitingSize_ = 0;
        i = used - was;
    }
    while (i < bytes.size()) {
        const std::size_t n = read(bytes.subspan(i), at + i);
        if (n == 0) {
            waitingSize_ = bytes.size() - i;
            waitingAt_ = at + i;
            std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(i), waitingSize_, waiting_);
            waitingCoding_ = coding;
            return;
        }
        i += n;
    }
}

std::size_t NextCharacter(std::span<const uint8_t> s, const TextCoding& coding,
                          std::vector<Character>& out) {
    const uint8_t b = s[0];
    if (b < 0x80) {
        out.push_back({b, false});
        return 1;
    }
    if (coding.utf8) {
        const std::string_view text(reinterpret_cast<const char*>(s.data()), s.size());
        const std::size_t n = platform::Utf8SequenceLength(text);
        if (n > 0) {
            const char32_t code = OneCodePoint(text.substr(0, n));
            out.push_back({code, IsWide(code)});
            return n;
        }
        if (Utf8Trail(b) > 0 && s.size() <= Utf8Trail(b) && s.size() < 4) {
            bool prefix = true;  // a well-formed start cut off by the end of the bytes
            for (std::size_t k = 1; k < s.size(); ++k) prefix = prefix && (s[k] & 0xC0) == 0x80;
            if (prefix) return 0;
        }
        out.push_back({kSubstitute, false});
        return platform::Utf8BadLength(text);
    }
    if (coding.chinese) {
        if (!IsGbkLead(b)) {
            out.push_back({kSubstitute, false});
            return 1;
        }
        if (s.size() < 2) return 0;
        if (!IsGbkTrail(s[1])) {
            out.push_back({kSubstitute, false});
            return 1;
        }
        out.push_back({GbkPair(b, s[1]), true});
        return 2;
    }
    out.push_back({CodePageTable(coding.codePage)[b - 0x80], false});
    return 1;
}

}  // namespace sim::paper
