#include "sim/lpd/lpd_text.h"

#include <algorithm>
#include <cstdio>

#include "sim/sim_line.h"

namespace sim::lpd {
namespace {

// A control file's texts are at most 99 bytes (a job name's limit; host and user names are
// shorter, a source file's name may be longer and is cut).
constexpr std::size_t kMaxField = 99;

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

}  // namespace

std::string ControlFile::JobName() const {
    return !job.empty() ? job : source;
}

int JobNumber(std::string_view fileName) {
    if (fileName.size() < 6 || (fileName.substr(0, 2) != "cf" && fileName.substr(0, 2) != "df"))
        return -1;
    int number = 0;
    for (std::size_t i = 3; i < 6; ++i) {
        if (fileName[i] < '0' || fileName[i] > '9') return -1;
        number = number * 10 + (fileName[i] - '0');
    }
    return number;
}

ControlFile ParseControlFile(std::string_view name, std::string_view text) {
    ControlFile c;
    c.name = OneLine(name, kMaxField);
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;
        const char letter = line[0];
        const std::string operand = OneLine(line.substr(1), kMaxField);
        std::string* field = nullptr;
        switch (letter) {
            case 'H':
                field = &c.host;
                break;
            case 'P':
                field = &c.user;
                break;
            case 'J':
                field = &c.job;
                break;
            case 'N':  // one a data file: the first names the job
                if (c.source.empty()) field = &c.source;
                break;
            case 'T':
                field = &c.title;
                break;
            case 'L':
                field = &c.banner;
                break;
            default:
                break;
        }
        if (field != nullptr) {
            *field = operand;
        } else if (letter >= 'a' && letter <= 'z') {
            // A lower case letter prints a data file, its letter saying how.
            if (c.prints.size() < ControlFile::kMaxPrints) {
                c.prints.push_back({letter, operand});
            } else {
                ++c.printsLeftOut;
            }
        } else if (letter != 'N') {
            ++c.otherLines;
        }
    }
    return c;
}

std::string Describe(const ControlFile& c) {
    std::string text = "job " + (c.JobName().empty() ? "unnamed" : Quoted(c.JobName()));
    if (!c.user.empty()) text += ", user " + Quoted(c.user);
    if (!c.host.empty()) text += ", host " + Quoted(c.host);
    if (!c.banner.empty()) text += ", banner page for " + Quoted(c.banner) + " (not printed)";
    if (c.prints.empty()) return text + ", prints no file";
    // Each file once, with its letters; a file printed twice asks for copies.
    std::vector<std::pair<std::string, std::string>> files;
    bool copies = c.printsLeftOut > 0;
    for (const ControlFile::Print& p : c.prints) {
        auto it = std::find_if(files.begin(), files.end(),
                               [&](const auto& f) { return f.first == p.file; });
        if (it == files.end()) {
            files.emplace_back(p.file, std::string(1, p.format));
        } else {
            copies = true;
            it->second += p.format;
        }
    }
    text += ", prints";
    for (std::size_t i = 0; i < files.size(); ++i) {
        text += (i == 0 ? " " : ", ") + files[i].first + " (" + files[i].second + ")";
    }
    if (copies) text += "; copies are printed once";
    return text;
}

std::vector<std::string> Operands(std::string_view text) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && IsSpace(text[at])) ++at;
        std::size_t end = at;
        while (end < text.size() && !IsSpace(text[end])) ++end;
        if (end > at) out.emplace_back(text.substr(at, end - at));
        at = end;
    }
    return out;
}

std::string QueueText(const QueueView& view, bool longForm,
                      const std::vector<std::string>& filter) {
    std::vector<const QueueEntry*> shown;
    for (const QueueEntry& e : view.jobs) {
        const bool named = std::any_of(filter.begin(), filter.end(), [&](const std::string& f) {
            return (!e.owner.empty() && f == e.owner) ||
                   (e.number >= 0 && f == std::to_string(e.number));
        });
        if (filter.empty() || named) shown.push_back(&e);
    }
    std::string text = view.printer + " is " + view.state + "\n";
    if (shown.empty()) return text + "no entries\n";
    char line[512];  // room for the longest fields (99 bytes each)
    if (!longForm) {
        text += "Rank   Owner      Job  File(s)                               Total Size\n";
    }
    for (std::size_t i = 0; i < shown.size() && i < QueueView::kMaxListed; ++i) {
        const QueueEntry& e = *shown[i];
        const std::string rank = e.held ? "held" : i == 0 ? "active" : std::to_string(i + 1);
        const std::string owner = e.owner.empty() ? "?" : e.owner;
        const std::string number = e.number >= 0 ? std::to_string(e.number) : "?";
        const std::string size = std::to_string(e.bytes) + " bytes";
        if (longForm) {
            std::snprintf(line, sizeof line, "\n%s: %-6s [job %s]\n        %-40s %s\n",
                          owner.c_str(), rank.c_str(), number.c_str(), e.file.c_str(),
                          size.c_str());
        } else {
            std::snprintf(line, sizeof line, "%-6s %-10s %-4s %-37s %s\n", rank.c_str(),
                          owner.c_str(), number.c_str(), e.file.c_str(), size.c_str());
        }
        text += line;
    }
    if (shown.size() > QueueView::kMaxListed)
        text += "and " + std::to_string(shown.size() - QueueView::kMaxListed) + " more\n";
    return text;
}

}  // namespace sim::lpd
