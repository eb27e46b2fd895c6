#pragma once
// A virtual printer's condition as a person sets it (from the command line, the console or a
// test): the paper, the cover, offline, a cutter error and the drawer. Its status answers and
// whether it prints follow from it.

#include <optional>
#include <string>

#include "commands/realtime_status.h"

namespace sim {

struct PrinterStatus {
    commands::PaperLevel paper = commands::PaperLevel::Present;
    bool coverOpen = false;
    bool offline = false;
    bool cutterError = false;  // a jammed cutter: a recoverable error (DLE ENQ recovers from it)
    bool drawerOpen = false;   // the drawer kick connector's pin 3 reads high

    bool operator==(const PrinterStatus&) const = default;
};

// Any subset of the items; the others stay as they are.
struct StatusChange {
    std::optional<commands::PaperLevel> paper;
    std::optional<bool> coverOpen;
    std::optional<bool> offline;
    std::optional<bool> cutterError;
    std::optional<bool> drawerOpen;
};

PrinterStatus Changed(PrinterStatus status, const StatusChange& change);

// The condition the status answers tell: an open cover, an empty roll or a cutter error also
// take the printer offline, as on a real one.
commands::PrinterCondition ConditionOf(const PrinterStatus& status);

// Whether it prints what it receives: online (paper near its end still prints).
bool PrintsNow(const PrinterStatus& status);

// "paper out, cover open", "paper ok, drawer open": the paper, then each item that is on.
std::string StatusText(const PrinterStatus& status);
const char* PaperWord(commands::PaperLevel paper);  // "ok", "near-end", "out" (the option's words)

}  // namespace sim
