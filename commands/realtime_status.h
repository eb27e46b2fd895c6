#pragma once
// The ESC/POS status a printer sends back: the real-time request `DLE EOT n` (10 04 n) and the
// one-byte answers to n = 1 (printer), 2 (offline cause), 3 (error cause) and 4 (paper roll
// sensor); automatic status back (`GS a n`, four bytes); the sensor status `GS r n`. One encoding
// for both sides: tessary-cli decodes what a printer answers, the virtual printer builds its
// answers with it. How a host tells them apart: a DLE EOT answer is 0xx1xx10 (bits), the first
// automatic status byte 0xx1xx00, a GS r (and GS I) answer and the other three automatic status
// bytes 0xx0xxxx.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace commands {

enum class StatusKind : uint8_t { Printer = 1, OfflineCause = 2, ErrorCause = 3, PaperSensor = 4 };
inline constexpr std::array<StatusKind, 4> kStatusKinds{
    StatusKind::Printer, StatusKind::OfflineCause, StatusKind::ErrorCause, StatusKind::PaperSensor};

std::array<uint8_t, 3> StatusRequest(StatusKind kind);

// Every answer has bit 1 and bit 4 set and bits 0 and 7 clear; a byte that does not is no
// status answer (a printer answering something else, or noise on a serial line).
bool IsStatusAnswer(uint8_t byte);

enum class PaperLevel { Present, NearEnd, Out };

// The printer's condition as the answers tell it.
struct PrinterCondition {
    bool online = true;
    bool coverOpen = false;
    PaperLevel paper = PaperLevel::Present;
    bool paperEndStop = false;  // printing stopped at the paper end
    bool cutterError = false;   // auto-cutter error (a jam; recoverable by DLE ENQ)
    bool unrecoverableError = false;
    bool autoRecoverableError = false;  // e.g. the print head too hot
    bool errorOccurred = false;         // the offline cause says an error occurred
    bool drawerPinHigh = false;         // drawer kick connector pin 3 (the drawer sensor)
    bool feedButtonPressed = false;
    bool waitingForRecovery = false;  // waiting to go online again
};

// The answer a printer in `condition` gives to request `kind`.
uint8_t StatusAnswer(const PrinterCondition& condition, StatusKind kind);

// The four answers as they came back: nullopt where none came.
using StatusAnswers = std::array<std::optional<uint8_t>, 4>;  // index: kind - 1

struct StatusReport {
    bool answered = false;              // at least one status answer came back
    std::vector<StatusKind> notStatus;  // answers whose fixed bits are wrong: not decoded
    std::vector<StatusKind> missing;    // requests without an answer
    PrinterCondition condition;         // from the answers that were decoded
    bool Ready() const;  // online, paper present (or near its end), no error; all answered
};

StatusReport DecodeStatus(const StatusAnswers& answers);

// One line per fact, e.g. "online", "cover closed", "paper near its end", "drawer sensor: pin 3
// high"; facts of a request without a valid answer are left out.
std::vector<std::string> StatusLines(const StatusReport& report);

// GS a n enables automatic status back for the items of n (n = 0: off). While enabled, the printer
// sends the four bytes at once and again whenever an enabled item changes.
enum AutomaticStatusItem : uint8_t {
    kAsbDrawer = 0x01,  // drawer kick connector pin 3
    kAsbOnline = 0x02,  // online or offline (with the cover and the feed button)
    kAsbError = 0x04,   // the error causes
    kAsbPaper = 0x08,   // the roll paper sensors
};
inline constexpr uint8_t kAsbItems = 0x0F;  // bits 4-7 of n enable nothing
using AutomaticStatus = std::array<uint8_t, 4>;

// Printer information (drawer pin 3, offline, cover, feed button), error causes, paper sensors
// (near end 03, roll end 0C), and a fourth byte with nothing to report.
AutomaticStatus AutomaticStatusOf(const PrinterCondition& condition);
// Whether an item that `items` (GS a's n) enables reads differently in `now` than in `before`.
bool AutomaticStatusChanged(uint8_t items, const AutomaticStatus& before,
                            const AutomaticStatus& now);
// "drawer, online, error, paper", or "off" when n enables nothing.
std::string AutomaticStatusItems(uint8_t items);

// GS r n: n = 1 or 49 asks for the paper sensors, 2 or 50 for the drawer kick connector.
enum class SensorKind { Paper, Drawer };
std::optional<SensorKind> SensorRequestKind(uint8_t n);
const char* SensorName(SensorKind kind);  // "paper sensor", "drawer"
// Paper: near end 03, roll end 0C; drawer: pin 3 high 01.
uint8_t SensorStatus(const PrinterCondition& condition, SensorKind kind);

}  // namespace commands
