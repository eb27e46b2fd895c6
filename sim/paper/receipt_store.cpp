#include "sim/paper/receipt_store.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <system_error>

namespace sim::paper {
namespace {

namespace fs = std::filesystem;

constexpr const char* kIndex = "index.html";
constexpr double kDotsPerCm = 203.0 / 2.54;

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

// Width and height from a PNG file's header; zeros when it is no PNG.
std::pair<int, int> PngSize(const fs::path& file) {
    std::array<unsigned char, 24> head{};
    std::ifstream in(file, std::ios::binary);
    if (!in.read(reinterpret_cast<char*>(head.data()), head.size())) return {0, 0};
    static constexpr unsigned char kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (!std::equal(std::begin(kSignature), std::end(kSignature), head.begin()) ||
        std::string_view(reinterpret_cast<const char*>(head.data()) + 12, 4) != "IHDR")
        return {0, 0};
    const auto be32 = [&](std::size_t at) {
        return static_cast<int>(head[at] << 24 | head[at + 1] << 16 | head[at + 2] << 8 |
                                head[at + 3]);
    };
    return {be32(16), be32(20)};
}

std::string LocalTime(std::time_t t) {
    // One thread writes receipts, so the shared buffer of localtime is safe here.
    const std::tm* tm = std::localtime(&t);
    if (tm == nullptr) return {};
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", tm);
    return text;
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

}  // namespace

std::string Describe(const SavedReceipt& receipt) {
    if (!receipt.error.empty()) return receipt.file + " not saved: " + receipt.error;
    return receipt.file + ", " + SizeText(receipt.width, receipt.height);
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

std::string ReceiptStore::Open() {
    std::error_code ec;
    fs::create_directories(folder_, ec);
    if (ec || !fs::is_directory(folder_, ec))
        return "cannot make the folder " + folder_.string() + ": " +
               (ec ? ec.message() : "it is not a folder");
    std::vector<std::pair<unsigned, Entry>> earlier;
    for (fs::directory_iterator it(folder_, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const std::optional<unsigned> number = NumberOf(name);
        std::error_code ignored;
        if (!number || !it->is_regular_file(ignored)) continue;
        next_ = std::max(next_, *number + 1);
        Entry entry;
        entry.file = name;
        std::tie(entry.width, entry.height) = PngSize(it->path());
        const auto written = fs::last_write_time(it->path(), ignored);
        if (!ignored) {
            entry.time = LocalTime(
                std::chrono::system_clock::to_time_t(std::chrono::file_clock::to_sys(written)));
        }
        earlier.emplace_back(*number, std::move(entry));
    }
    std::sort(earlier.begin(), earlier.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    entries_.clear();
    for (auto& [number, entry] : earlier) entries_.push_back(std::move(entry));
    indexStale_ = true;
    if (ec) return "cannot read the folder " + folder_.string() + ": " + ec.message();
    return {};
}

SavedReceipt ReceiptStore::Save(Drawing& drawing, const Bitmap& picture,
                                const ReceiptSource& source) {
    // The folder may have gone (or come) since: made again, quietly; a failure shows in the save.
    std::error_code ec;
    fs::create_directories(folder_, ec);
    // Skip numbers another program took since the folder was read.
    for (int i = 0; i < 1000 && fs::exists(folder_ / FileName(next_), ec); ++i) ++next_;
    SavedReceipt saved;
    saved.file = FileName(next_);
    saved.width = picture.Width();
    saved.height = picture.Height();
    std::string error;
    if (!drawing.SavePng(picture, (folder_ / saved.file).string(), &error)) {
        saved.error = error.empty() ? "not written" : error;
        return saved;
    }
    ++next_;
    Entry entry;
    entry.file = saved.file;
    entry.width = saved.width;
    entry.height = saved.height;
    entry.source = "printer " + std::to_string(source.printer) + " " + source.link;
    if (source.connection > 0) entry.source += "#" + std::to_string(source.connection);
    entry.time = LocalTime(std::time(nullptr));
    entries_.push_back(std::move(entry));
    indexStale_ = true;
    return saved;
}

std::optional<std::chrono::steady_clock::time_point> ReceiptStore::IndexDue() const {
    if (!indexStale_) return std::nullopt;
    return indexWritten_ + kIndexInterval;
}

std::string ReceiptStore::WriteIndex(std::chrono::steady_clock::time_point now, bool force) {
    if (!indexStale_ || (!force && now < indexWritten_ + kIndexInterval)) return {};
    std::string page =
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<meta http-equiv=\"refresh\" content=\"2\">\n<title>Receipts</title>\n<style>\n"
        "body { background: #d8d8d8; font: 14px sans-serif; margin: 1em; }\n"
        "main { display: flex; flex-wrap: wrap; align-items: flex-start; gap: 2em; }\n"
        "figure { margin: 0; }\n"
        "img { display: block; background: #fff; image-rendering: pixelated; "
        "box-shadow: 0 1px 4px #888; }\n"
        "figcaption { margin-top: 0.5em; color: #333; }\n</style>\n</head>\n<body>\n";
    page += "<p>" + std::to_string(entries_.size()) +
            (entries_.size() == 1 ? " receipt" : " receipts") + " in " + Html(folder_.string()) +
            ", newest first, one pixel a dot. This page reloads every 2 s.</p>\n<main>\n";
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
        const Entry& e = *it;
        page += "<figure id=\"" + Html(e.file) + "\"><img src=\"" + Html(e.file) + "\"";
        if (e.width > 0 && e.height > 0) {
            page += " width=\"" + std::to_string(e.width) + "\" height=\"" +
                    std::to_string(e.height) + "\"";
        }
        page += " alt=\"" + Html(e.file) + "\" loading=\"lazy\"><figcaption><b>" + Html(e.file) +
                "</b><br>" + (e.source.empty() ? "an earlier run" : Html(e.source)) + ", " +
                Html(e.time);
        if (e.width > 0 && e.height > 0) page += "<br>" + SizeText(e.width, e.height);
        page += "</figcaption></figure>\n";
    }
    page += "</main>\n</body>\n</html>\n";
    const fs::path target = folder_ / kIndex;
    const fs::path temporary = folder_ / ".index.html.tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(page.data(), static_cast<std::streamsize>(page.size()));
        out.close();
        if (!out) {
            std::error_code ignored;
            fs::remove(temporary, ignored);
            return "cannot write " + temporary.string();
        }
    }
    std::error_code ec;
    fs::rename(temporary, target, ec);
    if (ec) {
        fs::remove(temporary, ec);
        return "cannot write " + target.string() + ": " + ec.message();
    }
    indexStale_ = false;
    indexWritten_ = now;
    return {};
}

}  // namespace sim::paper
