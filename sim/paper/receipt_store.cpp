#include "sim/paper/receipt_store.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string_view>
#include <system_error>

namespace sim::paper {
namespace {

namespace fs = std::filesystem;

constexpr const char* kIndex = "index.html";
constexpr double kDotsPerCm = 203.0 / 2.54;
constexpr std::size_t kDataHead = 512;  // bytes of a data file read for its header fields

// The number in "receipt-0042.png"; nullopt for any other name.
std::optional<unsigned> NumberOf(const std::string& name) {
    constexpr std::string_view kPrefix = "receipt-", kSuffix = ".png";
    if (name.size() <= kPrefix.size() + kSuffix.size() || name.rfind(kPrefix, 0) != 0 ||
        name.compare(name.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0)
        return std::nullopt;
    const std::string digits =
        name.substr(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size());
    if (digits.size() > 9) return std::nullopt;
    unsigned n = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + static_cast<unsigned>(c - '0');
    }
    return n;
}

// The first `size` bytes of a file (fewer when it is shorter; none when it cannot be read).
std::string Head(const fs::path& file, std::size_t size) {
    std::string head(size, '\0');
    std::ifstream in(file, std::ios::binary);
    in.read(head.data(), static_cast<std::streamsize>(size));
    head.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return head;
}

// Width and height from a PNG file's header; zeros when it is no PNG.
std::pair<int, int> PngSize(const fs::path& file) {
    const std::string head = Head(file, 24);
    if (head.size() < 24 || head.compare(0, 8, "\x89PNG\r\n\x1A\n") != 0 ||
        head.compare(12, 4, "IHDR") != 0)
        return {0, 0};
    const auto be32 = [&](std::size_t at) {
        const auto b = [&](std::size_t i) { return static_cast<uint32_t>(uint8_t(head[at + i])); };
        return static_cast<int>(b(0) << 24 | b(1) << 16 | b(2) << 8 | b(3));
    };
    return {be32(16), be32(20)};
}

// A header field of a data file, as written one a line at its start: `"name": value,`. The value
// as it stands (a string without its quotes); nullopt when the head has no such line.
std::optional<std::string> HeadField(const std::string& head, const std::string& name) {
    const std::string key = "\n  \"" + name + "\": ";
    const std::size_t at = head.find(key);
    if (at == std::string::npos) return std::nullopt;
    const std::size_t from = at + key.size();
    const std::size_t end = head.find(",\n", from);
    if (end == std::string::npos) return std::nullopt;
    std::string value = head.substr(from, end - from);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    return value;
}

uint64_t Digits(const std::optional<std::string>& text, uint64_t max) {
    if (!text || text->empty() || text->size() > 19) return 0;
    uint64_t n = 0;
    for (const char c : *text) {
        if (c < '0' || c > '9') return 0;
        n = n * 10 + static_cast<uint64_t>(c - '0');
    }
    return std::min(n, max);
}

std::optional<ReceiptEnd> EndOf(const std::optional<std::string>& name) {
    for (const ReceiptEnd end : {ReceiptEnd::FullCut, ReceiptEnd::PartialCut, ReceiptEnd::StreamEnd,
                                 ReceiptEnd::LengthLimit}) {
        if (name && *name == ReceiptEndName(end)) return end;
    }
    return std::nullopt;
}

uint16_t Dots(int n) {
    return static_cast<uint16_t>(std::clamp(n, 0, 65535));
}

// One thread writes receipts and the page, so the shared buffer of localtime is safe here.
std::string LocalTime(int64_t t, const char* format) {
    const std::time_t time = static_cast<std::time_t>(t);
    const std::tm* tm = std::localtime(&time);
    if (tm == nullptr) return {};
    char text[40];
    if (std::strftime(text, sizeof text, format, tm) == 0) return {};
    return text;
}

// "2025-01-30T14:03:07+01:00": the local time with its offset from UTC (worked out from the
// fields, as not every C library's strftime has %z as a number).
std::string IsoTime(int64_t t) {
    const std::time_t time = static_cast<std::time_t>(t);
    const std::tm* localNow = std::localtime(&time);
    if (localNow == nullptr) return {};
    const std::tm local = *localNow;
    const std::tm* utcNow = std::gmtime(&time);
    if (utcNow == nullptr) return {};
    const std::tm utc = *utcNow;
    const int days = local.tm_year != utc.tm_year ? (local.tm_year > utc.tm_year ? 1 : -1)
                                                  : local.tm_yday - utc.tm_yday;
    const int offset =
        days * 1440 + (local.tm_hour - utc.tm_hour) * 60 + (local.tm_min - utc.tm_min);
    char text[48];
    if (std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local) == 0) return {};
    char zone[8];
    std::snprintf(zone, sizeof zone, "%c%02d:%02d", offset < 0 ? '-' : '+',
                  std::abs(offset) / 60 % 100, std::abs(offset) % 60);
    return std::string(text) + zone;
}

std::string Html(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string SizeText(int width, int height) {
    char text[80];
    std::snprintf(text, sizeof text, "%d × %d dots (%.1f cm)", width, height, height / kDotsPerCm);
    return text;
}

// Writes `text` to `target` whole or not at all. Empty when written, else why not.
std::string WriteWhole(const fs::path& target, const std::string& text) {
    std::string error;
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    if (!WriteWholeFile(target, {bytes, text.size()}, &error)) return error;
    return {};
}

}  // namespace

std::string Describe(const SavedReceipt& receipt) {
    if (!receipt.error.empty()) return receipt.file + " not saved: " + receipt.error;
    std::string text = receipt.file + ", " + SizeText(receipt.width, receipt.height);
    if (!receipt.dataError.empty())
        text += "; " + receipt.dataFile + " not saved: " + receipt.dataError;
    return text;
}

ReceiptLink LinkOf(const std::string& name) {
    for (const ReceiptLink link : {ReceiptLink::Tcp, ReceiptLink::Serial, ReceiptLink::File,
                                   ReceiptLink::Api, ReceiptLink::Lpd}) {
        if (name == LinkName(link)) return link;
    }
    return ReceiptLink::Unknown;
}

const char* LinkName(ReceiptLink link) {
    switch (link) {
        case ReceiptLink::Unknown:
            return "";
        case ReceiptLink::Tcp:
            return "tcp";
        case ReceiptLink::Serial:
            return "serial";
        case ReceiptLink::File:
            return "file";
        case ReceiptLink::Api:
            return "api";
        case ReceiptLink::Lpd:
            return "lpd";
    }
    return "";
}

ReceiptStore::ReceiptStore(const fs::path& folder) {
    std::error_code ec;
    folder_ = fs::absolute(folder, ec);
    if (ec) folder_ = folder;
}

std::string ReceiptStore::FileName(unsigned number) {
    char name[32];
    std::snprintf(name, sizeof name, "receipt-%04u.png", number);
    return name;
}

std::string ReceiptStore::DataFileName(unsigned number) {
    char name[32];
    std::snprintf(name, sizeof name, "receipt-%04u.json", number);
    return name;
}

void ReceiptStore::Keep(const ReceiptEntry& entry) {
    entries_.push_back(entry);
    if (entries_.size() > kIndexed) {
        entries_.pop_front();
        ++forgotten_;
    }
}

std::string ReceiptStore::Open() {
    std::error_code ec;
    fs::create_directories(folder_, ec);
    if (ec || !fs::is_directory(folder_, ec))
        return "cannot make the folder " + Utf8FromPath(folder_) + ": " +
               (ec ? ec.message() : "it is not a folder");
    // Only the numbers first: the newest kIndexed are read further.
    std::vector<unsigned> numbers;
    for (fs::directory_iterator it(folder_, ec), end; !ec && it != end; it.increment(ec)) {
        const std::optional<unsigned> number = NumberOf(it->path().filename().string());
        std::error_code ignored;
        if (number && it->is_regular_file(ignored)) numbers.push_back(*number);
    }
    std::sort(numbers.begin(), numbers.end());
    if (!numbers.empty()) next_ = std::max(next_, numbers.back() + 1);
    const std::size_t skipped = numbers.size() > kIndexed ? numbers.size() - kIndexed : 0;
    std::deque<ReceiptEntry> earlier;
    for (std::size_t i = skipped; i < numbers.size(); ++i) {
        ReceiptEntry entry;
        entry.number = numbers[i];
        const auto [width, height] = PngSize(folder_ / FileName(numbers[i]));
        entry.width = Dots(width);
        entry.height = Dots(height);
        std::error_code ignored;
        const auto written = fs::last_write_time(folder_ / FileName(numbers[i]), ignored);
        if (!ignored) {
            entry.time =
                std::chrono::system_clock::to_time_t(std::chrono::file_clock::to_sys(written));
        }
        const std::string head = Head(folder_ / DataFileName(numbers[i]), kDataHead);
        if (HeadField(head, "version")) {
            entry.data = true;
            entry.printer = static_cast<uint8_t>(Digits(HeadField(head, "printer"), 255));
            entry.link = LinkOf(HeadField(head, "link").value_or(""));
            entry.connection =
                static_cast<uint32_t>(Digits(HeadField(head, "connection"), UINT32_MAX));
            entry.end = EndOf(HeadField(head, "end")).value_or(ReceiptEnd::StreamEnd);
        }
        earlier.push_back(entry);
    }
    {
        std::lock_guard lock(mutex_);
        entries_ = std::move(earlier);
        forgotten_ = skipped;
        indexStale_ = true;
    }
    if (ec) return "cannot read the folder " + Utf8FromPath(folder_) + ": " + ec.message();
    return {};
}

SavedReceipt ReceiptStore::Save(Drawing& drawing, const Receipt& receipt,
                                const ReceiptSource& source) {
    // The folder may have gone (or come) since: made again, quietly; a failure shows in the save.
    std::error_code ec;
    fs::create_directories(folder_, ec);
    // Skip numbers another program took since the folder was read.
    for (int i = 0; i < 1000 && (fs::exists(folder_ / FileName(next_), ec) ||
                                 fs::exists(folder_ / DataFileName(next_), ec));
         ++i)
        ++next_;
    SavedReceipt saved;
    saved.number = next_;
    saved.file = FileName(next_);
    saved.dataFile = DataFileName(next_);
    saved.width = receipt.picture.Width();
    saved.height = receipt.picture.Height();
    std::string error;
    if (!drawing.SavePng(receipt.picture, Utf8FromPath(folder_ / saved.file), &error)) {
        saved.error = error.empty() ? "not written" : error;
        return saved;
    }
    ++next_;
    ReceiptEntry entry;
    entry.number = saved.number;
    entry.connection = static_cast<uint32_t>(std::min<uint64_t>(source.connection, UINT32_MAX));
    entry.time = static_cast<int64_t>(std::time(nullptr));
    entry.width = Dots(saved.width);
    entry.height = Dots(saved.height);
    entry.printer = static_cast<uint8_t>(std::clamp(source.printer, 0, 255));
    entry.end = receipt.end;
    entry.link = LinkOf(source.link);
    DataFileHeader header;
    header.number = saved.number;
    header.picture = saved.file;
    header.source = source;
    header.time = IsoTime(entry.time);
    header.width = saved.width;
    header.height = saved.height;
    header.end = receipt.end;
    saved.dataError = WriteWhole(folder_ / saved.dataFile, DataFileText(header, receipt.record));
    entry.data = saved.dataError.empty();
    std::lock_guard lock(mutex_);
    Keep(entry);
    indexStale_ = true;
    return saved;
}

std::vector<ReceiptEntry> ReceiptStore::List(const Query& query) const {
    std::vector<ReceiptEntry> out;
    std::lock_guard lock(mutex_);
    auto from = entries_.rbegin();
    if (query.before > 0) {
        from = std::make_reverse_iterator(
            std::lower_bound(entries_.begin(), entries_.end(), query.before,
                             [](const ReceiptEntry& e, unsigned n) { return e.number < n; }));
    }
    for (auto it = from; it != entries_.rend() && out.size() < query.limit; ++it) {
        if (it->number <= query.after) break;
        if (!query.printer || it->printer == *query.printer) out.push_back(*it);
    }
    return out;
}

std::optional<ReceiptEntry> ReceiptStore::Latest(int printer) const {
    const std::vector<ReceiptEntry> latest = List({printer, 0, 1});
    if (latest.empty()) return std::nullopt;
    return latest.front();
}

std::optional<ReceiptEntry> ReceiptStore::Find(unsigned number) const {
    std::lock_guard lock(mutex_);
    const auto it =
        std::lower_bound(entries_.begin(), entries_.end(), number,
                         [](const ReceiptEntry& e, unsigned n) { return e.number < n; });
    if (it == entries_.end() || it->number != number) return std::nullopt;
    return *it;
}

std::size_t ReceiptStore::Count() const {
    std::lock_guard lock(mutex_);
    return forgotten_ + entries_.size();
}

std::optional<std::chrono::steady_clock::time_point> ReceiptStore::IndexDue() const {
    std::lock_guard lock(mutex_);
    if (!indexStale_) return std::nullopt;
    return indexWritten_ + kIndexInterval;
}

std::string ReceiptStore::WriteIndex(std::chrono::steady_clock::time_point now, bool force) {
    std::vector<ReceiptEntry> shown;
    std::size_t total = 0;
    {
        std::lock_guard lock(mutex_);
        if (!indexStale_ || (!force && now < indexWritten_ + kIndexInterval)) return {};
        total = forgotten_ + entries_.size();
        for (auto it = entries_.rbegin(); it != entries_.rend() && shown.size() < kPageShown; ++it)
            shown.push_back(*it);
    }
    std::string page =
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<meta http-equiv=\"refresh\" content=\"2\">\n<title>Receipts</title>\n<style>\n"
        "body { background: #d8d8d8; font: 14px sans-serif; margin: 1em; }\n"
        "main { display: flex; flex-wrap: wrap; align-items: flex-start; gap: 2em; }\n"
        "figure { margin: 0; }\n"
        "img { display: block; background: #fff; image-rendering: pixelated; "
        "box-shadow: 0 1px 4px #888; }\n"
        "figcaption { margin-top: 0.5em; color: #333; }\n</style>\n</head>\n<body>\n";
    page += "<p>" + std::to_string(total) + (total == 1 ? " receipt" : " receipts") + " in " +
            Html(Utf8FromPath(folder_)) + ", newest first, one pixel a dot";
    if (total > shown.size()) page += " (the newest " + std::to_string(shown.size()) + " shown)";
    page += ". This page reloads every 2 s.</p>\n<main>\n";
    for (const ReceiptEntry& e : shown) {
        const std::string file = FileName(e.number);
        page += "<figure id=\"" + file + "\"><img src=\"" + file + "\"";
        if (e.width > 0 && e.height > 0) {
            page += " width=\"" + std::to_string(e.width) + "\" height=\"" +
                    std::to_string(e.height) + "\"";
        }
        std::string source = "an earlier run";
        if (e.printer > 0) {
            source = "printer " + std::to_string(e.printer) + " " + LinkName(e.link);
            if (e.connection > 0) source += "#" + std::to_string(e.connection);
        }
        page += " alt=\"" + file + "\" loading=\"lazy\"><figcaption><b>" + file + "</b>";
        if (e.data) {
            const std::string data = DataFileName(e.number);
            page += " (<a href=\"" + data + "\">data</a>)";
        }
        page += "<br>" + Html(source) + ", " + LocalTime(e.time, "%Y-%m-%d %H:%M:%S");
        if (e.width > 0 && e.height > 0) page += "<br>" + SizeText(e.width, e.height);
        page += "</figcaption></figure>\n";
    }
    page += "</main>\n";
    if (total > shown.size()) {
        const std::size_t older = total - shown.size();
        page += "<p>" + std::to_string(older) +
                (older == 1 ? " older receipt" : " older receipts") +
                " in this folder, not shown here.</p>\n";
    }
    page += "</body>\n</html>\n";
    const std::string failure = WriteWhole(folder_ / kIndex, page);
    if (!failure.empty()) return failure;
    std::lock_guard lock(mutex_);
    indexStale_ = false;
    indexWritten_ = now;
    return {};
}

}  // namespace sim::paper
