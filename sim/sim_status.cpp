// The status protocol: status requests answered from each printer's live status, automatic
// status back pushed when it changes, error recovery, and what a printer holds while it cannot
// print, printed once it can.
#include "sim/sim_server.h"
#include "sim/sim_server_internal.h"

namespace sim {

using printerlink::kNoSocket;

PrinterStatus SimServer::StatusOf(int printer) const {
    std::lock_guard lock(printersMutex_);
    return status_[static_cast<std::size_t>(printer - 1)];
}

bool SimServer::PrintsNow(int printer) const {
    return sim::PrintsNow(StatusOf(printer));
}

void SimServer::SetStatus(int printer, const PrinterStatus& status) {
    std::lock_guard lock(printersMutex_);
    status_[static_cast<std::size_t>(printer - 1)] = status;
}

void SimServer::CountBytes(int printer, uint64_t bytes) {
    std::lock_guard lock(printersMutex_);
    counters_[static_cast<std::size_t>(printer - 1)].bytes += bytes;
}

ControlResult SimServer::ChangeStatus(int printer, const StatusChange& change) {
    {
        std::lock_guard lock(printersMutex_);
        if (printer < 1 || printer > static_cast<int>(status_.size()))
            return ControlResult::NoSuchPrinter;
        PrinterStatus& status = status_[static_cast<std::size_t>(printer - 1)];
        status = Changed(status, change);
    }
    wake_.Wake();  // the loop logs it, pushes automatic status and prints what it held
    return ControlResult::Done;
}

bool SimServer::SendBack(Stream& s, std::span<const uint8_t> bytes, bool due) {
    // A job given to Print has no way back; an LPD connection carries the exchange's answers
    // only.
    if (s.fd == kNoSocket || s.lpd) return false;
    if (!due && HoldAnswer(s, bytes)) return true;  // sent when due
    if (s.terminal) return pty_.Write(bytes.data(), bytes.size());
    return printerlink::SendOnSocket(s.fd, bytes.data(), bytes.size()).taken == bytes.size();
}

void SimServer::Serve(Stream& s, const StatusRequest& r) {
    const std::string name = RequestName(r);
    const auto say = [&](const std::string& text) { Say(s.printer, s.link, s.connection, text); };
    if (options_.noStatus) return say(name + " request not answered (--no-status)");
    if (s.fault.Unanswered()) return say(name + " request not answered (chaos)");
    const PrinterStatus status = StatusOf(s.printer);
    const commands::PrinterCondition condition = ConditionOf(status);
    switch (r.kind) {
        case RequestKind::Recover: {
            // DLE ENQ 1 and 2 recover from a recoverable error, the cutter's; 2 also clears the
            // receive buffer. Without such an error they do nothing.
            if ((r.n != 1 && r.n != 2) || !status.cutterError)
                return say("error recovery: no recoverable error");
            PrinterStatus recovered = status;
            recovered.cutterError = false;
            SetStatus(s.printer, recovered);
            std::string text = "error recovery: the cutter error cleared";
            if (r.n == 2 && !s.held.empty()) {
                text += ", the " + std::to_string(s.held.size()) + " bytes held cleared";
                s.held.clear();
                s.fullSaid = false;
                s.answeredUpTo = s.job->BytesFed();
            }
            return say(text);
        }
        case RequestKind::AutomaticStatus: {
            s.asb = r.n & commands::kAsbItems;
            if (s.asb == 0) return say("automatic status off");
            s.asbSent = commands::AutomaticStatusOf(condition);
            const bool sent = SendBack(s, s.asbSent);
            return say("automatic status on (" + commands::AutomaticStatusItems(s.asb) +
                       (sent ? "): " : "), not sent: ") + HexBytes(s.asbSent));
        }
        default:
            break;
    }
    const auto answer =
        AnswerTo(r, condition, identities_[static_cast<std::size_t>(s.printer - 1)]);
    if (!answer) return say(name + " request not answered: a receipt printer has no such answer");
    const bool sent = SendBack(s, *answer);
    say(name + (sent ? " answer: " : " answer not sent: ") + HexBytes(*answer));
}

void SimServer::FollowStatus() {
    for (std::size_t i = 0; i < statusSeen_.size(); ++i) {
        const int printer = static_cast<int>(i) + 1;
        const PrinterStatus now = StatusOf(printer);
        if (now == statusSeen_[i]) continue;
        statusSeen_[i] = now;
        Emit(SimLine{printer, "sim", 0, "status now: " + StatusText(now), std::nullopt,
                     std::nullopt, now});
        if (options_.noStatus) continue;
        const commands::AutomaticStatus frame = commands::AutomaticStatusOf(ConditionOf(now));
        for (const auto& s : streams_) {
            if (s->printer != printer || s->asb == 0 || s->fd == kNoSocket ||
                !commands::AutomaticStatusChanged(s->asb, s->asbSent, frame))
                continue;
            s->asbSent = frame;
            const bool sent = SendBack(*s, frame);
            Say(printer, s->link, s->connection,
                std::string(sent ? "automatic status: " : "automatic status not sent: ") +
                    HexBytes(frame));
        }
    }
    for (const auto& s : streams_) {
        if (!s->held.empty() && PrintsNow(s->printer)) PrintHeld(*s);
    }
}

}  // namespace sim
