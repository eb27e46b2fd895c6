#include "status/status_query.h"

#include "commands/status_words.h"

namespace printerstatus {

Reading Ask(printerlink::PrinterQuery& query, std::chrono::milliseconds answerTimeout) {
    Reading reading;
    for (const commands::StatusKind kind : commands::kStatusKinds) {
        const auto request = commands::StatusRequest(kind);
        const printerlink::QueryAnswer answer = query.Ask(request, 1, answerTimeout);
        if (answer.status == printerlink::QueryAnswer::Status::Failed) {
            reading.outcome = Reading::Outcome::Failed;
            reading.error = answer.error;
            return reading;
        }
        if (answer.status == printerlink::QueryAnswer::Status::NoAnswer) break;
        reading.answers[static_cast<std::size_t>(kind) - 1] = answer.bytes.front();
        reading.outcome = Reading::Outcome::Answered;
    }
    return reading;
}

Reading AskAt(const Where& where, const AskLimits& limits) {
    std::unique_ptr<printerlink::PrinterQuery> query;
    std::string error;
    if (where.kind == Where::Kind::Tcp) {
        printerlink::TcpResult failure;
        const printerlink::TcpLimits tcp{limits.connect, limits.answer, limits.cancelled};
        query = printerlink::OpenTcpQuery(where.ip, where.port, tcp, failure);
        if (!query) error = printerlink::FaultText(failure, tcp);
    } else {
        query = printerlink::OpenSerialQuery(where.serial, where.baud, error, limits.cancelled);
    }
    if (!query) {
        Reading failed;
        failed.outcome = Reading::Outcome::Failed;
        failed.error = error;
        return failed;
    }
    return Ask(*query, limits.answer);
}

std::string FaultReport(const Reading& reading, int languageFlag) {
    if (reading.outcome != Reading::Outcome::Answered) return {};
    return commands::FaultReport(commands::Faults(commands::DecodeStatus(reading.answers)),
                                 languageFlag);
}

}  // namespace printerstatus
