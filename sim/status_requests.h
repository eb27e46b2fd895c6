#pragma once
// The requests a point-of-sale program makes to learn a printer's state, read from a command's
// bytes, and the bytes a printer answers: DLE EOT n, DLE ENQ n (recover from an error), GS a n
// (automatic status back), GS r n, GS I n and GS ( H fn 48 (the process ID response).

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "commands/printer_info.h"
#include "commands/realtime_status.h"

namespace sim {

enum class RequestKind {
    RealtimeStatus,   // DLE EOT n: answered on arrival
    Recover,          // DLE ENQ n: recover from a recoverable error, on arrival
    AutomaticStatus,  // GS a n: in order with the data before it, as the rest below
    Sensor,           // GS r n
    PrinterInfo,      // GS I n
    ProcessId,        // GS ( H fn 48
};

struct StatusRequest {
    RequestKind kind = RequestKind::RealtimeStatus;
    uint8_t n = 0;
    std::array<uint8_t, 4> processId{};  // ProcessId only

    // Served when it arrives, even while the printer holds what came before it.
    bool Realtime() const {
        return kind == RequestKind::RealtimeStatus || kind == RequestKind::Recover;
    }
};

// The request a complete command's bytes make; nothing for any other command.
std::optional<StatusRequest> ReadStatusRequest(std::span<const uint8_t> command);

// What it asks, for the log: "status", "paper sensor status", "firmware version", ...
std::string RequestName(const StatusRequest& request);

// The answer of a thermal receipt printer in `condition`; nothing for a request it does not
// answer (DLE EOT 7, GS r 4, GS I 33, ...) and for Recover and AutomaticStatus, which change the
// printer rather than answer.
std::optional<std::vector<uint8_t>> AnswerTo(const StatusRequest& request,
                                             const commands::PrinterCondition& condition,
                                             const commands::PrinterIdentity& identity);

}  // namespace sim
