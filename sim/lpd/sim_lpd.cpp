// The server loop's side of LPD connections: what a connection reads goes to its exchange, whose
// answers go back on it; each data file is printed as a job of its own through the same decoder
// and paper as a TCP connection's bytes, and held the same way while the printer cannot print
// (when the receive buffer is full the connection is no longer read, so the client waits).
#include "sim/sim_server.h"
#include "sim/sim_server_internal.h"

namespace sim {

using printerlink::kNoSocket;

struct SimServer::LpdEvents final : lpd::Events {
    LpdEvents(SimServer& server, Stream& stream) : server_(server), s_(stream) {}

    void Reply(std::span<const uint8_t> bytes) override {
        if (s_.fd == kNoSocket) return;
        const printerlink::SendStep sent =
            printerlink::SendOnSocket(s_.fd, bytes.data(), bytes.size());
        if (sent.taken != bytes.size()) {
            Say("answer not sent whole: " + std::to_string(sent.taken) + " of " +
                std::to_string(bytes.size()) + " bytes");
        }
    }

    void Say(const std::string& text) override {
        server_.Say(s_.printer, s_.link, s_.connection, text);
    }

    void Control(const lpd::ControlFile& control) override {
        if (!s_.lpdJobOpen) return;
        // The data file came first: its job takes the control file's name for its last receipt,
        // and ends.
        if (!control.JobName().empty()) {
            s_.jobName = control.JobName();
            s_.job->SetJobName(s_.jobName);
        }
        if (s_.held.empty()) server_.EndLpdJob(s_);
    }

    void DataBegin(const lpd::DataFile& file) override {
        if (s_.lpdJobOpen) server_.EndLpdJob(s_);
        // A job of its own, counting its bytes from 0.
        s_.jobName = file.job;
        s_.job = server_.MakeJob(&s_);
        s_.scanner = RealtimeScanner();
        s_.answeredUpTo = 0;
        s_.lpdJobOpen = true;
    }

    void Data(std::span<const uint8_t> bytes) override { server_.Take(s_, bytes); }

    void DataEnd(const lpd::DataFile&, bool whole) override {
        // Its last receipt waits for the job's name when the control file is still to come; a
        // file cut short, or with bytes still held, ends with the connection.
        if (whole && s_.lpd->Control() && s_.held.empty()) server_.EndLpdJob(s_);
    }

    void Abort() override {
        if (s_.lpdJobOpen && s_.held.empty()) server_.EndLpdJob(s_);
    }

    lpd::QueueView Queue(const std::string&) override { return server_.LpdQueue(s_); }

  private:
    SimServer& server_;
    Stream& s_;
};

bool SimServer::LpdReads(const Stream& s) {
    return !s.lpd || !s.lpd->AtDataEnd() || s.held.empty();
}

bool SimServer::FeedLpd(Stream& s, std::span<const uint8_t> bytes) {
    LpdEvents events(*this, s);
    s.lpd->Feed(bytes, events);
    if (!s.lpd->Over()) return true;
    CloseStream(s, s.lpd->Ending(), false);
    return false;
}

void SimServer::EndLpd(Stream& s) {
    LpdEvents events(*this, s);
    s.lpd->End(events);
}

void SimServer::EndLpdJob(Stream& s) {
    s.job->Finish();
    s.unflushed = false;
    s.lpdJobOpen = false;
}

lpd::QueueView SimServer::LpdQueue(const Stream& asking) const {
    lpd::QueueView view;
    view.printer = "printer " + std::to_string(asking.printer);
    const PrinterStatus status = StatusOf(asking.printer);
    view.state =
        sim::PrintsNow(status) ? "ready and printing" : "not printing (" + StatusText(status) + ")";
    // The jobs of other LPD connections on this printer that are printing or held.
    for (const auto& s : streams_) {
        if (s.get() == &asking || !s->lpd || s->printer != asking.printer || s->finished ||
            !s->lpd->Current() || (!s->lpdJobOpen && s->held.empty()))
            continue;
        lpd::QueueEntry& e = view.jobs.emplace_back();
        e.held = !s->held.empty();
        e.file = s->lpd->Current()->name;
        e.number = lpd::JobNumber(e.file);
        if (const auto& control = s->lpd->Control()) e.owner = control->user;
        e.bytes = s->lpd->DataBytes();
    }
    return view;
}

}  // namespace sim
