#pragma once
// The console's JSON: a printer, its status, a receipt of the index, a log line, as the API and
// the pushed events give them.

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "sim/paper/receipt_store.h"
#include "sim/printer_status.h"
#include "sim/sim_control.h"

namespace sim::console {

using Json = nlohmann::ordered_json;

Json StatusJson(const PrinterStatus& status);
// Number, address, mask, gateway, MAC, DHCP, port, listening, restarting, status, counters.
Json PrinterJson(const PrinterView& printer);
// Number, printer, link, connection, time (UTC, ISO 8601), width, height, end, and the URLs of
// its picture and data file.
Json ReceiptJson(const paper::ReceiptEntry& receipt);

// A receipt still being printed: printer, link, connection, width, height (0: it ended).
Json PrintingJson(const PaperProgress& progress);

// "2026-12-09T23:52:20Z" from seconds since 1970 (UTC).
std::string UtcTime(int64_t seconds);

// One line of a printer's log as the page shows it.
struct LogLine {
    uint64_t sequence = 0;  // the event's place among everything pushed
    int printer = 0;
    std::string link;
    uint64_t connection = 0;
    std::string text;
    std::optional<uint64_t> from, to;  // the stream's bytes it tells of
    unsigned receipt = 0;              // the receipt it belongs to; 0 while not known
};
Json LogJson(const LogLine& line);

// A JSON text that cannot throw on text that is not UTF-8 (such bytes become U+FFFD).
std::string Text(const Json& json);

}  // namespace sim::console
