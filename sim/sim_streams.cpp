#include <algorithm>

#include "sim/sim_server.h"
#include "sim/sim_server_internal.h"

namespace sim {

using printerlink::kNoSocket;
using printerlink::Received;
using printerlink::SocketHandle;

std::unique_ptr<PrintJob> SimServer::MakeJob(Stream* stream) {
    const JobPaper paper{drawing_.get(), receipts_ ? &*receipts_ : nullptr, options_.paperWidth};
    const std::string name = stream->queued ? stream->queued->request.name : stream->jobName;
    return std::make_unique<PrintJob>(
        paper::ReceiptSource{stream->printer, stream->link, stream->connection, name}, paper,
        [this, stream](Event&& e) {
            // A status request is answered once its line is out; a real-time one that arrived
            // while the printer held it was answered then.
            std::optional<StatusRequest> request;
            if (e.kind == EventKind::EscPos) request = ReadStatusRequest(e.frame);
            if (request && request->Realtime() && e.offset + e.length <= stream->answeredUpTo)
                request.reset();
            OnEvent(stream->printer, stream->link, stream->connection, std::move(e));
            if (request) Serve(*stream, *request);
        },
        [this, stream](const std::string& text, std::optional<paper::SavedReceipt> receipt) {
            if (receipt) {
                std::lock_guard lock(printersMutex_);
                ++counters_[static_cast<std::size_t>(stream->printer - 1)].receipts;
            }
            const bool made = receipt.has_value();
            const SimLine line{stream->printer, stream->link,       stream->connection, text,
                               std::nullopt,    std::move(receipt), std::nullopt};
            Emit(line);
            if (made && stream->queued) stream->queued->result.receipts.push_back(line);
        });
}

void SimServer::EndSerialJob(Stream& s) {
    s.jobEnding = false;
    s.unflushed = false;
    s.job->EndPart();
    if (chaos_) {
        Say(s.printer, s.link, s.connection, "session ended: the next draws its own fault");
        s.faultDrawn = false;
        s.fault = {};
    }
}

void SimServer::WriteIndex(bool force) {
    if (!receipts_) return;
    const std::string failure = receipts_->WriteIndex(Clock::now(), force);
    if (failure != indexError_ && !failure.empty()) Say(0, "sim", 0, "paper: " + failure);
    indexError_ = failure;
}

SimServer::Stream* SimServer::Accept(int index, bool lpd, bool draw) {
    const SocketHandle listener =
        (lpd ? lpdListeners_ : listeners_)[static_cast<std::size_t>(index)];
    // A restart may have closed the listener since it was found readable.
    if (listener == kNoSocket) return nullptr;
    const printerlink::AcceptStep accepted = printerlink::AcceptTcpSocket(listener);
    if (accepted.socket == kNoSocket) {
        // Out of descriptors or memory: the listener stays readable, so wait before trying again
        // instead of spinning.
        if (!accepted.again) acceptPausedUntil_ = Clock::now() + kAcceptPause;
        return nullptr;
    }
    // Stalled connections are never read again; the oldest go when too many have piled up.
    std::size_t stalled = 0;
    for (auto it = streams_.rbegin(); it != streams_.rend(); ++it) {
        Stream& old = **it;
        if (old.fd != kNoSocket && old.stalled && ++stalled > kMaxStalled)
            CloseStream(old, "stalled connection dropped", false);
    }
    auto stream = std::make_unique<Stream>();
    stream->fd = accepted.socket;
    stream->printer = index + 1;
    stream->link = lpd ? "lpd" : "tcp";
    if (lpd) stream->lpd = std::make_unique<lpd::Exchange>();
    stream->connection = ++connections_;
    stream->nextRead = Clock::now();
    {
        std::lock_guard lock(printersMutex_);
        ++counters_[static_cast<std::size_t>(index)].connections;
    }
    Stream* raw = stream.get();
    stream->job = MakeJob(raw);
    Say(raw->printer, raw->link, raw->connection,
        "connection from " + EndpointText(accepted.peer) + " to " +
            EndpointText({listenAt_[static_cast<std::size_t>(index)], lpd ? lpdPort_ : tcpPort_}));
    streams_.push_back(std::move(stream));
    if (chaos_ && draw) DrawFault(*raw, chaos::Occasion::Connection);
    return raw;
}

void SimServer::ReadStream(Stream& s) {
    if (chaos_ && s.terminal && !s.faultDrawn) DrawFault(s, chaos::Occasion::SerialSession);
    uint8_t buffer[4096];
    uint64_t limit = s.fault.Room(s.received, sizeof buffer);
    if (options_.resetAfter && s.link == "tcp")
        limit = std::min(limit, *options_.resetAfter - std::min(*options_.resetAfter, s.received));
    if (options_.stallAfter)
        limit = std::min(limit, *options_.stallAfter - std::min(*options_.stallAfter, s.received));
    if (s.lpd) limit = std::min(limit, s.lpd->Wanted());
    // While the printer holds what arrives, no more than its receive buffer has room for.
    if (!s.held.empty() || !PrintsNow(s.printer))
        limit = std::min<uint64_t>(limit, kReceiveBuffer - std::min(kReceiveBuffer, s.held.size()));
    if (const uint64_t rate = ReadRate(s); rate > 0) {
        const uint64_t chunk = std::max<uint64_t>(1, rate / 50);
        limit = std::min(limit, chunk);
        s.nextRead = Clock::now() + std::chrono::microseconds(chunk * 1000000 / rate);
    }
    if (limit > 0) {
        const auto length = static_cast<std::size_t>(limit);
        const printerlink::ReceiveStep step =
            s.terminal ? pty_.Read(buffer, length)
                       : printerlink::ReceiveOnSocket(s.fd, buffer, length);
        if (step.what == Received::WouldBlock) return;
        if (step.what != Received::Data) {
            // A restart due when the sender ends comes before this side closes: the sender sees
            // the reset, and its next connection is refused rather than taken by a listener about
            // to go.
            if (const chaos::Fault f = s.fault.Ended(); f != chaos::Fault::None && !MeetFault(s, f))
                return;
            CloseStream(s,
                        step.what == Received::Failed
                            ? "connection read failed: " + printerlink::SocketErrorText(step.error)
                            : std::string("connection closed"),
                        false);
            return;
        }
        s.received += step.length;
        const std::span<const uint8_t> bytes(buffer, step.length);
        if (!s.lpd) {
            Take(s, bytes);
        } else if (!FeedLpd(s, bytes)) {
            return;  // the exchange is over, the connection closed
        }
    }
    if (const chaos::Fault f = s.fault.Reached(s.received);
        f != chaos::Fault::None && !MeetFault(s, f))
        return;
    if (options_.resetAfter && s.link == "tcp" && s.received >= *options_.resetAfter) {
        CloseStream(s, "connection reset (--reset-after)", true);
    } else if (options_.stallAfter && s.received >= *options_.stallAfter && !s.stalled) {
        s.job->Flush();
        s.unflushed = false;
        s.stalled = true;
        Say(s.printer, s.link, s.connection,
            "stalled after " + std::to_string(s.received) + " bytes: no longer reading");
    }
}

void SimServer::Take(Stream& s, std::span<const uint8_t> bytes) {
    CountBytes(s.printer, bytes.size());
    if (!s.held.empty() || !PrintsNow(s.printer)) return Hold(s, bytes);
    s.scanner.Scan(bytes, {});  // only its context: the decoder answers what it reads
    s.lastData = Clock::now();
    s.unflushed = true;
    s.job->Feed(bytes);
}

void SimServer::Hold(Stream& s, std::span<const uint8_t> bytes) {
    if (s.held.empty()) {
        Say(s.printer, s.link, s.connection,
            "holding what arrives: the printer cannot print (" + StatusText(StatusOf(s.printer)) +
                ")");
    }
    // Real-time requests are served as they arrive; the bytes stay in order for later.
    std::size_t from = 0;
    s.scanner.Scan(bytes, [&](std::span<const uint8_t> command, std::size_t end) {
        s.held.insert(s.held.end(), bytes.begin() + static_cast<std::ptrdiff_t>(from),
                      bytes.begin() + static_cast<std::ptrdiff_t>(end));
        from = end;
        s.answeredUpTo = s.job->BytesFed() + s.held.size();
        if (const auto request = ReadStatusRequest(command)) Serve(s, *request);
    });
    s.held.insert(s.held.end(), bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.end());
    if (s.held.size() >= kReceiveBuffer && !s.fullSaid) {
        s.fullSaid = true;
        Say(s.printer, s.link, s.connection,
            "receive buffer full (" + std::to_string(s.held.size()) +
                " bytes held): no longer reading until the printer prints");
    }
}

void SimServer::PrintHeld(Stream& s) {
    if (s.held.empty()) return;
    const std::vector<uint8_t> held = std::move(s.held);
    s.held.clear();
    s.fullSaid = false;
    Say(s.printer, s.link, s.connection,
        "printing the " + std::to_string(held.size()) + " bytes held");
    s.lastData = Clock::now();
    s.unflushed = true;
    s.job->Feed(held);
    if (s.closed) EndJob(s);
}

void SimServer::EndJob(Stream& s) {
    s.job->Finish();
    s.unflushed = false;
    s.finished = true;
}

void SimServer::CloseStream(Stream& s, const std::string& why, bool reset, bool loseHeld) {
    if (s.lpd) EndLpd(s);  // an exchange cut short says so
    // What its stack took and this side never read: a sender saw it acknowledged.
    std::size_t unread = 0;
    if (s.terminal) {
        unread = pty_.Unread();
        pty_.Close();
    } else {
        unread = printerlink::UnreadBytes(s.fd).value_or(0);
        // A reset closes as a printer that restarts.
        printerlink::CloseSocket(s.fd, reset);
    }
    s.fd = kNoSocket;
    s.closed = true;
    std::string text = why + ", " + std::to_string(s.received) + " bytes in all";
    if (unread > 0) text += ", " + std::to_string(unread) + " more unread";
    if (!s.held.empty() && loseHeld) {
        text += ", the " + std::to_string(s.held.size()) + " bytes held lost";
        s.held.clear();
    } else if (!s.held.empty()) {
        // The printer has them in its buffer: printed once it prints, then the job ends.
        text += ", " + std::to_string(s.held.size()) + " of them held until the printer prints";
    }
    if (s.held.empty()) EndJob(s);
    Emit(SimLine{
        s.printer, s.link, s.connection, text, std::nullopt, std::nullopt, std::nullopt,
        LineFacts{"end",
                  {},
                  {{"received", s.received}, {"unread", unread}, {"reset", reset ? 1u : 0u}}}});
}

}  // namespace sim
