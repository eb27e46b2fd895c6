#include "bench/chaos/soak_log.h"

#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>

namespace soak {
namespace {

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// "JOB 000123 5F3A" -> id and checksum; "END 000123" -> id.
bool ReadStart(const std::string& line, uint32_t& id, uint16_t& checksum) {
    unsigned value = 0, sum = 0;
    char tail = 0;
    if (line.size() != 15 || std::sscanf(line.c_str(), "JOB %6u %4X%c", &value, &sum, &tail) != 2)
        return false;
    id = value;
    checksum = static_cast<uint16_t>(sum);
    return true;
}

bool ReadEnd(const std::string& line, uint32_t& id) {
    unsigned value = 0;
    char tail = 0;
    if (line.size() != 10 || std::sscanf(line.c_str(), "END %6u%c", &value, &tail) != 1)
        return false;
    id = value;
    return true;
}

}  // namespace

void SimLog::Take(const std::string& text) {
    const nlohmann::json j = nlohmann::json::parse(text, nullptr, false);
    std::lock_guard lock(mutex_);
    if (!j.is_object()) {
        ++unreadable_;
        return;
    }
    const std::string line = j.value("line", "");
    const std::string kind = j.value("kind", "");
    const std::string link = j.value("link", "");
    const int printer = j.value("printer", 0);
    const uint64_t number = j.value("connection", uint64_t{0});
    if (link == "sim") {
        if (!tcpPort_) {
            if (const std::size_t p = line.find("listening on TCP port "); p != line.npos)
                tcpPort_ = static_cast<uint16_t>(std::atoi(line.c_str() + p + 22));
        }
        if (StartsWith(line, "chaos ")) started_ = true;
        if (line.find(" took address ") != line.npos) ++shared_;
        if (kind == "chaos-summary") {
            summary_.seen = true;
            summary_.draws = j.value("draws", uint64_t{0});
            for (const auto& [name, value] : j.items()) {
                if (value.is_number_unsigned() && name != "printer" && name != "connection" &&
                    name != "draws" && name != "faults")
                    summary_.faults[name] = value.get<uint64_t>();
            }
        }
        return;
    }
    if (link != "tcp" || number == 0) return;
    Connection& c = connections_[number];
    if (c.number == 0) {
        c.number = number;
        c.printer = printer;
    }
    const uint64_t offset = j.value("offset", uint64_t{0});
    if (kind == "text" || (kind == "feed" && offset == c.lineEnd && !c.line.empty())) {
        // A line the printer read in pieces (it paused mid-line, so the decoder gave out what it
        // had, and its line feed came as a feed of its own) is put together again by the
        // pieces' places in the stream.
        const std::string piece = kind == "text" ? j.value("detail", "") : std::string();
        const uint64_t length = j.value("length", uint64_t{0});
        if (offset != c.lineEnd) c.line.clear();
        c.line += piece;
        c.lineEnd = offset + length;
        if (length <= piece.size()) return;  // no line end yet
        uint32_t id = 0;
        uint16_t checksum = 0;
        if (ReadStart(c.line, id, checksum)) {
            c.starts.push_back(id);
            c.checksums.push_back(checksum);
        } else if (ReadEnd(c.line, id)) {
            c.ends.push_back(id);
        }
        c.line.clear();
    } else if (kind == "firmware") {
        const std::size_t ok = line.find("checksum ok (");
        if (ok != line.npos) {
            c.firmwareOk.push_back(
                static_cast<uint32_t>(std::strtoul(line.c_str() + ok + 13, nullptr, 16)));
        } else if (line.find("checksum mismatch") != line.npos) {
            ++c.firmwareMismatches;
        }
    } else if (kind == "chaos") {
        c.fault = j.value("fault", "");
    } else if (kind == "end") {
        c.ended = true;
        c.received = j.value("received", uint64_t{0});
        c.unread = j.value("unread", uint64_t{0});
        c.reset = j.value("reset", 0) != 0;
    } else if ((line.find(" answer: ") != line.npos && kind.empty()) ||
               StartsWith(line, "chaos: late answer sent: ")) {
        ++c.statusAnswers;
    }
}

std::map<uint64_t, Connection> SimLog::Connections() const {
    std::lock_guard lock(mutex_);
    return connections_;
}

SimSummary SimLog::Summary() const {
    std::lock_guard lock(mutex_);
    return summary_;
}

uint64_t SimLog::SharedAddresses() const {
    std::lock_guard lock(mutex_);
    return shared_;
}

uint64_t SimLog::Unreadable() const {
    std::lock_guard lock(mutex_);
    return unreadable_;
}

bool SimLog::Started() const {
    std::lock_guard lock(mutex_);
    return started_;
}

std::optional<uint16_t> SimLog::TcpPort() const {
    std::lock_guard lock(mutex_);
    return tcpPort_;
}

}  // namespace soak
