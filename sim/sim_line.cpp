#include "sim/sim_line.h"

#include <nlohmann/json.hpp>

namespace sim {

std::string FormatLine(const SimLine& line, bool json) {
    std::string source = line.printer > 0 ? "printer " + std::to_string(line.printer) + " " : "";
    source += line.link;
    if (line.connection > 0) source += "#" + std::to_string(line.connection);
    if (!json) return source + " " + line.text;
    nlohmann::ordered_json out;  // fields in this order
    out["printer"] = line.printer;
    out["link"] = line.link;
    out["connection"] = line.connection;
    if (line.receipt) {
        const paper::SavedReceipt& r = *line.receipt;
        out["kind"] = "paper";
        out["file"] = r.file;
        out["width"] = r.width;
        out["height"] = r.height;
        if (!r.error.empty()) out["error"] = r.error;
        if (r.error.empty() && r.dataError.empty()) out["data"] = r.dataFile;
        if (!r.dataError.empty()) out["dataError"] = r.dataError;
    }
    if (line.status) {
        const PrinterStatus& s = *line.status;
        out["kind"] = "status";
        out["paper"] = PaperWord(s.paper);
        out["coverOpen"] = s.coverOpen;
        out["offline"] = s.offline;
        out["cutterError"] = s.cutterError;
        out["drawerOpen"] = s.drawerOpen;
    }
    if (line.event) {
        const Event& e = *line.event;
        out["kind"] = KindName(e.kind);
        out["title"] = e.title;
        out["detail"] = e.detail;
        out["offset"] = e.offset;
        out["length"] = e.length;
        if (e.kind == EventKind::Setting || e.kind == EventKind::Unknown)
            out["bytes"] = HexBytes(e.frame);
    }
    if (line.facts) {
        out["kind"] = line.facts->kind;
        for (const auto& [name, value] : line.facts->texts) out[name] = value;
        for (const auto& [name, value] : line.facts->numbers) out[name] = value;
    }
    out["line"] = line.text;
    // Printer text may hold any bytes: what is not UTF-8 is shown as U+FFFD, never thrown.
    return out.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string OneLine(std::string_view text, std::size_t most) {
    std::string line(text.substr(0, most));
    for (char& c : line) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F || c == '"') c = '?';
    }
    return line;
}

}  // namespace sim
