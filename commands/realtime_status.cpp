#include "commands/realtime_status.h"

#include <utility>

#include "commands/status_words.h"

namespace commands {
namespace {

// Bits 1 and 4 set, bits 0 and 7 clear, in every answer.
constexpr uint8_t kFixedMask = 0x93;
constexpr uint8_t kFixedValue = 0x12;

constexpr uint8_t Bit(bool on, int bit) {
    return on ? static_cast<uint8_t>(1u << bit) : uint8_t{0};
}

constexpr bool Has(uint8_t byte, uint8_t bits) {
    return (byte & bits) != 0;
}

std::size_t Index(StatusKind kind) {
    return static_cast<std::size_t>(kind) - 1;
}

// A fault in the command line's words: the English of the windows' caption table.
std::string Word(StatusFault fault) {
    return platform::Caption(StatusFaultCaptions(), static_cast<int>(fault), 1);
}

}  // namespace

std::array<uint8_t, 3> StatusRequest(StatusKind kind) {
    return {0x10, 0x04, static_cast<uint8_t>(kind)};
}

bool IsStatusAnswer(uint8_t byte) {
    return (byte & kFixedMask) == kFixedValue;
}

uint8_t StatusAnswer(const PrinterCondition& c, StatusKind kind) {
    switch (kind) {
        case StatusKind::Printer:
            return kFixedValue | Bit(c.drawerPinHigh, 2) | Bit(!c.online, 3) |
                   Bit(c.waitingForRecovery, 5) | Bit(c.feedButtonPressed, 6);
        case StatusKind::OfflineCause:
            return kFixedValue | Bit(c.coverOpen, 2) | Bit(c.feedButtonPressed, 3) |
                   Bit(c.paperEndStop, 5) | Bit(c.errorOccurred, 6);
        case StatusKind::ErrorCause:
            return kFixedValue | Bit(c.cutterError, 3) | Bit(c.unrecoverableError, 5) |
                   Bit(c.autoRecoverableError, 6);
        case StatusKind::PaperSensor: {
            const bool nearEnd = c.paper != PaperLevel::Present;  // an empty roll is near its end
            const bool out = c.paper == PaperLevel::Out;
            return kFixedValue | (nearEnd ? 0x0C : 0x00) | (out ? 0x60 : 0x00);
        }
    }
    return kFixedValue;
}

AutomaticStatus AutomaticStatusOf(const PrinterCondition& c) {
    const uint8_t printer = 0x10 | Bit(c.drawerPinHigh, 2) | Bit(!c.online, 3) |
                            Bit(c.coverOpen, 5) | Bit(c.feedButtonPressed, 6);
    const uint8_t errors =
        Bit(c.cutterError, 3) | Bit(c.unrecoverableError, 5) | Bit(c.autoRecoverableError, 6);
    return {printer, errors, SensorStatus(c, SensorKind::Paper), 0x00};
}

bool AutomaticStatusChanged(uint8_t items, const AutomaticStatus& before,
                            const AutomaticStatus& now) {
    // The bits of each item in the four bytes.
    const AutomaticStatus drawer{0x04, 0, 0, 0}, online{0x68, 0, 0, 0}, error{0, 0x68, 0, 0},
        paper{0, 0, 0x0F, 0};
    AutomaticStatus mask{};
    for (std::size_t i = 0; i < mask.size(); ++i) {
        if (items & kAsbDrawer) mask[i] |= drawer[i];
        if (items & kAsbOnline) mask[i] |= online[i];
        if (items & kAsbError) mask[i] |= error[i];
        if (items & kAsbPaper) mask[i] |= paper[i];
        if (((before[i] ^ now[i]) & mask[i]) != 0) return true;
    }
    return false;
}

std::string AutomaticStatusItems(uint8_t items) {
    std::string text;
    const std::pair<uint8_t, const char*> names[] = {
        {kAsbDrawer, "drawer"}, {kAsbOnline, "online"}, {kAsbError, "error"}, {kAsbPaper, "paper"}};
    for (const auto& [bit, name] : names) {
        if (items & bit) text += (text.empty() ? "" : ", ") + std::string(name);
    }
    return text.empty() ? "off" : text;
}

std::optional<SensorKind> SensorRequestKind(uint8_t n) {
    if (n == 1 || n == 49) return SensorKind::Paper;
    if (n == 2 || n == 50) return SensorKind::Drawer;
    return std::nullopt;
}

const char* SensorName(SensorKind kind) {
    return kind == SensorKind::Paper ? "paper sensor" : "drawer";
}

uint8_t SensorStatus(const PrinterCondition& c, SensorKind kind) {
    if (kind == SensorKind::Drawer) return Bit(c.drawerPinHigh, 0);
    const bool nearEnd = c.paper != PaperLevel::Present;  // an empty roll is near its end too
    return (nearEnd ? 0x03 : 0x00) | (c.paper == PaperLevel::Out ? 0x0C : 0x00);
}

StatusReport DecodeStatus(const StatusAnswers& answers) {
    StatusReport report;
    PrinterCondition& c = report.condition;
    for (const StatusKind kind : kStatusKinds) {
        const std::optional<uint8_t> answer = answers[Index(kind)];
        if (!answer) {
            report.missing.push_back(kind);
            continue;
        }
        report.answered = true;
        const uint8_t b = *answer;
        if (!IsStatusAnswer(b)) {
            report.notStatus.push_back(kind);
            continue;
        }
        switch (kind) {
            case StatusKind::Printer:
                c.drawerPinHigh = Has(b, 0x04);
                c.online = !Has(b, 0x08);
                c.waitingForRecovery = Has(b, 0x20);
                c.feedButtonPressed = c.feedButtonPressed || Has(b, 0x40);
                break;
            case StatusKind::OfflineCause:
                c.coverOpen = Has(b, 0x04);
                c.feedButtonPressed = c.feedButtonPressed || Has(b, 0x08);
                c.paperEndStop = Has(b, 0x20);
                c.errorOccurred = Has(b, 0x40);
                break;
            case StatusKind::ErrorCause:
                c.cutterError = Has(b, 0x08);
                c.unrecoverableError = Has(b, 0x20);
                c.autoRecoverableError = Has(b, 0x40);
                break;
            case StatusKind::PaperSensor:
                c.paper = Has(b, 0x60)   ? PaperLevel::Out
                          : Has(b, 0x0C) ? PaperLevel::NearEnd
                                         : PaperLevel::Present;
                break;
        }
    }
    return report;
}

bool StatusReport::Ready() const {
    const PrinterCondition& c = condition;
    return missing.empty() && notStatus.empty() && c.online && c.paper != PaperLevel::Out &&
           !c.coverOpen && !c.paperEndStop && !c.errorOccurred && !c.cutterError &&
           !c.unrecoverableError && !c.autoRecoverableError;
}

std::vector<std::string> StatusLines(const StatusReport& report) {
    const auto valid = [&report](StatusKind kind) {
        for (const StatusKind k : report.missing)
            if (k == kind) return false;
        for (const StatusKind k : report.notStatus)
            if (k == kind) return false;
        return true;
    };
    const PrinterCondition& c = report.condition;
    std::vector<std::string> lines;
    if (valid(StatusKind::Printer)) {
        lines.push_back(c.online ? "online" : Word(StatusFault::Offline));
        if (c.waitingForRecovery) lines.push_back("waiting to go online again");
    }
    if (valid(StatusKind::OfflineCause)) {
        lines.push_back(c.coverOpen ? Word(StatusFault::CoverOpen) : "cover closed");
        if (c.paperEndStop) lines.push_back("printing stopped at the paper end");
        if (c.errorOccurred) lines.push_back("an error occurred");
    }
    if (valid(StatusKind::PaperSensor)) {
        lines.push_back(c.paper == PaperLevel::Out       ? Word(StatusFault::PaperOut)
                        : c.paper == PaperLevel::NearEnd ? Word(StatusFault::PaperNearEnd)
                                                         : "paper present");
    }
    if (valid(StatusKind::ErrorCause)) {
        lines.push_back(c.cutterError ? Word(StatusFault::CutterError) : "no cutter error");
        lines.push_back(c.unrecoverableError ? Word(StatusFault::UnrecoverableError)
                                             : "no unrecoverable error");
        lines.push_back(c.autoRecoverableError ? Word(StatusFault::AutoRecoverableError)
                                               : "no auto-recoverable error");
    }
    if (valid(StatusKind::Printer)) {
        lines.push_back(std::string("drawer sensor: pin 3 ") + (c.drawerPinHigh ? "high" : "low"));
        if (c.feedButtonPressed) lines.push_back("feed button pressed");
    }
    return lines;
}

}  // namespace commands
