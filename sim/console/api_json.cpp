#include "sim/console/api_json.h"

#include <chrono>
#include <cstdio>

#include "sim/virtual_printer.h"

namespace sim::console {

Json StatusJson(const PrinterStatus& s) {
    Json out;
    out["paper"] = PaperWord(s.paper);
    out["coverOpen"] = s.coverOpen;
    out["offline"] = s.offline;
    out["cutterError"] = s.cutterError;
    out["drawerOpen"] = s.drawerOpen;
    out["printing"] = PrintsNow(s);
    out["text"] = StatusText(s);
    return out;
}

Json PrinterJson(const PrinterView& p) {
    Json out;
    out["number"] = p.number;
    out["address"] = Ipv4Text(p.settings.address);
    out["mask"] = Ipv4Text(p.settings.mask);
    out["gateway"] = Ipv4Text(p.settings.gateway);
    out["mac"] = MacText(p.settings.mac);
    out["dhcp"] = p.settings.dhcp;
    out["port"] = p.tcpPort;
    out["listening"] = p.listening;
    out["restarting"] = p.restarting;
    out["status"] = StatusJson(p.status);
    out["counters"] = Json{{"connections", p.counters.connections},
                           {"bytes", p.counters.bytes},
                           {"receipts", p.counters.receipts}};
    return out;
}

Json PrintingJson(const PaperProgress& p) {
    Json out;
    out["printer"] = p.printer;
    out["link"] = p.link;
    out["connection"] = p.connection;
    out["width"] = p.width;
    out["height"] = p.height;
    return out;
}

std::string UtcTime(int64_t when) {
    using namespace std::chrono;
    const sys_seconds at{seconds(when)};
    const sys_days day = floor<days>(at);
    const year_month_day date{day};
    const hh_mm_ss<seconds> time{at - day};
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02lld:%02lld:%02lldZ", int(date.year()),
                  unsigned(date.month()), unsigned(date.day()),
                  static_cast<long long>(time.hours().count()),
                  static_cast<long long>(time.minutes().count()),
                  static_cast<long long>(time.seconds().count()));
    return text;
}

Json ReceiptJson(const paper::ReceiptEntry& r) {
    const std::string base =
        "/api/printers/" + std::to_string(r.printer) + "/receipts/" + std::to_string(r.number);
    Json out;
    out["number"] = r.number;
    out["printer"] = r.printer;
    out["link"] = paper::LinkName(r.link);
    out["connection"] = r.connection;
    out["time"] = UtcTime(r.time);
    out["width"] = r.width;
    out["height"] = r.height;
    out["end"] = paper::ReceiptEndName(r.end);
    out["picture"] = base + ".png";
    if (r.data) out["data"] = base;
    return out;
}

Json LogJson(const LogLine& line) {
    Json out;
    out["sequence"] = line.sequence;
    out["printer"] = line.printer;
    out["link"] = line.link;
    out["connection"] = line.connection;
    out["text"] = line.text;
    if (line.from) out["from"] = *line.from;
    if (line.to) out["to"] = *line.to;
    if (line.receipt != 0) out["receipt"] = line.receipt;
    return out;
}

std::string Text(const Json& json) {
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace sim::console
