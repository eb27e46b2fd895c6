#include "cli/status.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "commands/realtime_status.h"
#include "link/printer_query.h"
#include "link/sender_thread.h"
#include "status/status_query.h"

namespace cli {
namespace {

using commands::StatusKind;

const char* KindName(StatusKind kind) {
    switch (kind) {
        case StatusKind::Printer:
            return "printer";
        case StatusKind::OfflineCause:
            return "offline cause";
        case StatusKind::ErrorCause:
            return "error cause";
        case StatusKind::PaperSensor:
            return "paper sensor";
    }
    return "";
}

const char* JsonKey(StatusKind kind) {
    switch (kind) {
        case StatusKind::Printer:
            return "printer";
        case StatusKind::OfflineCause:
            return "offlineCause";
        case StatusKind::ErrorCause:
            return "errorCause";
        case StatusKind::PaperSensor:
            return "paperSensor";
    }
    return "";
}

std::string Seconds(std::chrono::milliseconds duration) {
    const long long ms = duration.count();
    if (ms % 1000 == 0) return std::to_string(ms / 1000) + " s";
    return std::to_string(ms) + " ms";
}

bool Has(const std::vector<StatusKind>& kinds, StatusKind kind) {
    return std::find(kinds.begin(), kinds.end(), kind) != kinds.end();
}

// The port held open for the questions; null with the cause in `error`.
std::unique_ptr<printerlink::PrinterQuery> OpenQuery(const PortTarget& port,
                                                     const LinkSettings& link, std::string& error) {
    std::unique_ptr<printerlink::PrinterQuery> query;
    std::string cause;
    switch (port.kind) {
        case PortTarget::Kind::Net: {
            const printerlink::TcpLimits limits{link.connectTimeout, link.stall, {}};
            printerlink::TcpResult failure;
            query = printerlink::OpenTcpQuery(port.ip, port.port, limits, failure);
            if (!query) error = NetFailureText(port, failure, limits, 0);
            return query;
        }
        case PortTarget::Kind::Serial:
            query = printerlink::OpenSerialQuery(port.path, port.baud, cause);
            if (!query)
                error = std::string(printerlink::kComOpenFail).substr(1) + ": " + port.path + ": " +
                        cause;
            return query;
        case PortTarget::Kind::Usb:
            if (link.usb)
                query = printerlink::OpenUsbQuery(link.usb, printerlink::UsbProgram::Tessary,
                                                  link.usbPieceTimeoutMs, cause);
            else
                cause = "no USB access";
            if (!query) error = std::string(printerlink::kUsbOpenFail) + ": " + cause;
            return query;
        case PortTarget::Kind::Lpt:
            break;
    }
    return nullptr;
}

nlohmann::ordered_json Json(const PortTarget& port, const commands::StatusAnswers& answers,
                            const commands::StatusReport& report) {
    using nlohmann::ordered_json;
    const commands::PrinterCondition& c = report.condition;
    const auto fact = [&report](StatusKind kind, ordered_json value) {
        return Has(report.missing, kind) || Has(report.notStatus, kind) ? ordered_json()
                                                                        : std::move(value);
    };
    ordered_json raw = ordered_json::object();
    for (const StatusKind kind : commands::kStatusKinds) {
        const auto& answer = answers[static_cast<std::size_t>(kind) - 1];
        raw[JsonKey(kind)] = answer ? ordered_json(HexBytes({&*answer, 1})) : ordered_json();
    }
    ordered_json notStatus = ordered_json::array();
    for (const StatusKind kind : report.notStatus) notStatus.push_back(JsonKey(kind));
    ordered_json missing = ordered_json::array();
    for (const StatusKind kind : report.missing) missing.push_back(JsonKey(kind));
    const char* paper = c.paper == commands::PaperLevel::Out       ? "out"
                        : c.paper == commands::PaperLevel::NearEnd ? "near-end"
                                                                   : "present";
    return ordered_json{
        {"port", DescribePort(port)},
        {"ready", report.Ready()},
        {"online", fact(StatusKind::Printer, c.online)},
        {"coverOpen", fact(StatusKind::OfflineCause, c.coverOpen)},
        {"paper", fact(StatusKind::PaperSensor, paper)},
        {"paperEndStop", fact(StatusKind::OfflineCause, c.paperEndStop)},
        {"errorOccurred", fact(StatusKind::OfflineCause, c.errorOccurred)},
        {"cutterError", fact(StatusKind::ErrorCause, c.cutterError)},
        {"unrecoverableError", fact(StatusKind::ErrorCause, c.unrecoverableError)},
        {"autoRecoverableError", fact(StatusKind::ErrorCause, c.autoRecoverableError)},
        {"drawerPin3", fact(StatusKind::Printer, c.drawerPinHigh ? "high" : "low")},
        {"feedButton", fact(StatusKind::Printer, c.feedButtonPressed)},
        {"answers", raw},
        {"notStatus", notStatus},
        {"missing", missing},
    };
}

}  // namespace

int RunStatus(const StatusJob& job, const LinkSettings& link, std::ostream& out,
              std::ostream& err) {
    constexpr const char* kPrefix = "tessary-cli: ";
    if (job.port.kind == PortTarget::Kind::Lpt) {
        err << kPrefix
            << "status is not offered over the parallel port: it has no way back from the "
               "printer; use usb, net:IP or serial:DEVICE\n";
        return 2;
    }
    if (job.dryRun) {
        for (const StatusKind kind : commands::kStatusKinds)
            out << HexBytes(commands::StatusRequest(kind)) << '\n';
        return 0;
    }
    std::string error;
    const std::unique_ptr<printerlink::PrinterQuery> query = OpenQuery(job.port, link, error);
    if (!query) {
        err << kPrefix << error << '\n';
        return 1;
    }
    const printerstatus::Reading reading = printerstatus::Ask(*query, job.answerTimeout);
    if (reading.outcome == printerstatus::Reading::Outcome::Failed) {
        err << kPrefix << DescribePort(job.port) << ": " << reading.error << '\n';
        return 1;
    }
    const commands::StatusAnswers& answers = reading.answers;
    const commands::StatusReport report = commands::DecodeStatus(answers);
    if (!report.answered) {
        err << kPrefix << "no status answer within " << Seconds(job.answerTimeout)
            << " (this printer may not support real-time status)\n";
        return 1;
    }
    if (job.json) {
        out << Json(job.port, answers, report).dump() << '\n';
    } else {
        for (const std::string& line : commands::StatusLines(report)) out << line << '\n';
    }
    for (const StatusKind kind : report.notStatus) {
        const uint8_t byte = *answers[static_cast<std::size_t>(kind) - 1];
        err << kPrefix << "the answer to DLE EOT " << static_cast<int>(kind) << " ("
            << KindName(kind) << "), " << HexBytes({&byte, 1}) << ", is not a status answer\n";
    }
    for (const StatusKind kind : report.missing) {
        err << kPrefix << "no answer to DLE EOT " << static_cast<int>(kind) << " ("
            << KindName(kind) << ") within " << Seconds(job.answerTimeout) << '\n';
    }
    return report.Ready() ? 0 : kNotReady;
}

}  // namespace cli
