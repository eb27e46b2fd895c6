#include "sim/status_requests.h"

#include "platform/hex_text.h"

namespace sim {
namespace {

constexpr uint8_t kDle = 0x10;
constexpr uint8_t kGs = 0x1D;

}  // namespace

std::optional<StatusRequest> ReadStatusRequest(std::span<const uint8_t> c) {
    if (c.size() < 3) return std::nullopt;
    StatusRequest r;
    r.n = c[2];
    if (c[0] == kDle && c[1] == 0x04) {
        r.kind = RequestKind::RealtimeStatus;
    } else if (c[0] == kDle && c[1] == 0x05 && c.size() == 3) {
        r.kind = RequestKind::Recover;
    } else if (c[0] == kGs && c[1] == 'a' && c.size() == 3) {
        r.kind = RequestKind::AutomaticStatus;
    } else if (c[0] == kGs && c[1] == 'r' && c.size() == 3) {
        r.kind = RequestKind::Sensor;
    } else if (c[0] == kGs && c[1] == 'I' && c.size() == 3) {
        r.kind = RequestKind::PrinterInfo;
    } else if (const auto id = commands::ProcessIdOf(c)) {
        r.kind = RequestKind::ProcessId;
        r.n = 48;
        r.processId = *id;
    } else {
        return std::nullopt;
    }
    return r;
}

std::string RequestName(const StatusRequest& r) {
    switch (r.kind) {
        case RequestKind::RealtimeStatus:
            if (r.n >= 1 && r.n <= 4) return "status";
            return "status " + platform::HexBytes(std::span<const uint8_t>(&r.n, 1));
        case RequestKind::Recover:
            return "error recovery";
        case RequestKind::AutomaticStatus:
            return "automatic status";
        case RequestKind::Sensor:
            if (const auto kind = commands::SensorRequestKind(r.n))
                return std::string(commands::SensorName(*kind)) + " status";
            return "sensor status " + platform::HexBytes(std::span<const uint8_t>(&r.n, 1));
        case RequestKind::PrinterInfo:
            if (const char* name = commands::PrinterInfoName(r.n)) return name;
            return "printer information " + platform::HexBytes(std::span<const uint8_t>(&r.n, 1));
        case RequestKind::ProcessId:
            return "process ID";
    }
    return "request";
}

std::optional<std::vector<uint8_t>> AnswerTo(const StatusRequest& r,
                                             const commands::PrinterCondition& condition,
                                             const commands::PrinterIdentity& identity) {
    switch (r.kind) {
        case RequestKind::RealtimeStatus:
            // A receipt printer answers n = 1 to 4; 7 (ink) and 8 belong to other printers.
            if (r.n < 1 || r.n > 4) return std::nullopt;
            return std::vector<uint8_t>{
                commands::StatusAnswer(condition, static_cast<commands::StatusKind>(r.n))};
        case RequestKind::Sensor:
            if (const auto kind = commands::SensorRequestKind(r.n))
                return std::vector<uint8_t>{commands::SensorStatus(condition, *kind)};
            return std::nullopt;
        case RequestKind::PrinterInfo:
            return commands::PrinterInfoAnswer(identity, r.n);
        case RequestKind::ProcessId: {
            const auto response = commands::ProcessIdResponse(r.processId);
            return std::vector<uint8_t>(response.begin(), response.end());
        }
        case RequestKind::Recover:
        case RequestKind::AutomaticStatus:
            break;
    }
    return std::nullopt;
}

}  // namespace sim
