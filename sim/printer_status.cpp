#include "sim/printer_status.h"

namespace sim {

PrinterStatus Changed(PrinterStatus s, const StatusChange& change) {
    if (change.paper) s.paper = *change.paper;
    if (change.coverOpen) s.coverOpen = *change.coverOpen;
    if (change.offline) s.offline = *change.offline;
    if (change.cutterError) s.cutterError = *change.cutterError;
    if (change.drawerOpen) s.drawerOpen = *change.drawerOpen;
    return s;
}

commands::PrinterCondition ConditionOf(const PrinterStatus& s) {
    commands::PrinterCondition c;
    c.paper = s.paper;
    c.coverOpen = s.coverOpen;
    c.cutterError = s.cutterError;
    c.errorOccurred = s.cutterError;
    c.paperEndStop = s.paper == commands::PaperLevel::Out;
    c.online = !(s.offline || c.coverOpen || c.paperEndStop || c.cutterError);
    c.drawerPinHigh = s.drawerOpen;
    return c;
}

bool PrintsNow(const PrinterStatus& s) {
    return ConditionOf(s).online;
}

const char* PaperWord(commands::PaperLevel paper) {
    switch (paper) {
        case commands::PaperLevel::Present:
            return "ok";
        case commands::PaperLevel::NearEnd:
            return "near-end";
        case commands::PaperLevel::Out:
            return "out";
    }
    return "ok";
}

std::string StatusText(const PrinterStatus& s) {
    std::string text = s.paper == commands::PaperLevel::NearEnd
                           ? "paper near its end"
                           : std::string("paper ") + PaperWord(s.paper);
    if (s.coverOpen) text += ", cover open";
    if (s.offline) text += ", offline";
    if (s.cutterError) text += ", cutter error";
    if (s.drawerOpen) text += ", drawer open";
    return text;
}

}  // namespace sim
