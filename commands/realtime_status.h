#pragma once
// The ESC/POS real-time status exchange: the request `DLE EOT n` (10 04 n) and the one-byte
// answers to n = 1 (printer), 2 (offline cause), 3 (error cause) and 4 (paper roll sensor).
// One encoding for both sides: tessary-cli decodes what a printer answers, the virtual printer
// builds its answers with it.

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

}  // namespace commands
