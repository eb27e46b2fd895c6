#pragma once
// One line the virtual printers emit: a log line, a decoded command, a receipt saved, a status
// change; as text or one JSON object.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sim/paper/receipt_store.h"
#include "sim/printer_status.h"
#include "sim/stream_decoder.h"

namespace sim {

// What a line says beyond its text, for its JSON form: a fault drawn, a connection's end.
struct LineFacts {
    std::string kind;  // the JSON "kind"
    std::vector<std::pair<std::string, std::string>> texts;
    std::vector<std::pair<std::string, uint64_t>> numbers;
};

// One output line. `event` is set for lines decoded from a byte stream.
struct SimLine {
    int printer = 0;          // 1-based; 0 for lines of no printer
    std::string link;         // "tcp", "serial", "udp", "sim", or a job's link ("api")
    uint64_t connection = 0;  // TCP connection or job number, 1-based; 0 otherwise
    std::string text;         // the readable line without the source
    std::optional<Event> event;
    std::optional<paper::SavedReceipt> receipt;  // a picture of the paper
    std::optional<PrinterStatus> status;         // the printer's new status
    std::optional<LineFacts> facts{};            // for the JSON form
};

// "printer 1 tcp#3 setting cutter: 00 (On)", or one JSON object.
std::string FormatLine(const SimLine& line, bool json);

// Text from outside (a job's name, a print queue's) as one short line for the log and a receipt's
// data file: control characters and '"' become '?', at most `most` bytes.
std::string OneLine(std::string_view text, std::size_t most);

}  // namespace sim
