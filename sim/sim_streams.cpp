#include <algorithm>

#include "sim/sim_server.h"
#include "sim/sim_server_internal.h"

namespace sim {

using printerlink::kNoSocket;
using printerlink::Received;
using printerlink::SocketHandle;

std::unique_ptr<StreamDecoder> SimServer::MakeDecoder(Stream* stream) {
    if (drawing_) {
        stream->paper = std::make_unique<paper::Paper>(
            *drawing_, paper::PaperOptions{options_.paperWidth},
            [this, stream](paper::Receipt&& receipt) {
                OnReceipt(*stream, std::move(receipt.picture));
            },
            [this, stream](const std::string& note) {
                Say(stream->printer, stream->link, stream->connection, "paper: " + note);
            });
    }
    auto decoder = std::make_unique<StreamDecoder>([this, stream](Event&& e) {
        // DLE EOT n, n = 1..4: answered once its line is out, as a printer does at once.
        const bool status = e.kind == EventKind::EscPos && e.frame.size() == 3 &&
                            e.frame[0] == 0x10 && e.frame[1] == 0x04 && e.frame[2] >= 1 &&
                            e.frame[2] <= 4;
        const uint8_t request = status ? e.frame[2] : 0;
        OnEvent(stream->printer, stream->link, stream->connection, std::move(e));
        if (status) AnswerStatus(*stream, request);
    });
    if (stream->paper) decoder->SetPaper(stream->paper.get());
    return decoder;
}

void SimServer::OnReceipt(const Stream& s, paper::Bitmap&& picture) {
    if (!receipts_ || !drawing_) return;
    paper::SavedReceipt saved =
        receipts_->Save(*drawing_, picture, {s.printer, s.link, s.connection});
    const std::string text = "paper: " + paper::Describe(saved);
    if (sink_)
        sink_(SimLine{s.printer, s.link, s.connection, text, std::nullopt, std::move(saved)});
}

void SimServer::EndSerialJob(Stream& s) {
    s.jobEnding = false;
    s.decoder->Flush();
    s.unflushed = false;
    if (s.paper) s.paper->End();
}

void SimServer::WriteIndex(bool force) {
    if (!receipts_) return;
    const std::string failure = receipts_->WriteIndex(Clock::now(), force);
    if (failure != indexError_ && !failure.empty()) Say(0, "sim", 0, "paper: " + failure);
    indexError_ = failure;
}

void SimServer::AnswerStatus(Stream& s, uint8_t request) {
    if (options_.noStatus) {
        Say(s.printer, s.link, s.connection, "status request not answered (--no-status)");
        return;
    }
    const uint8_t answer =
        commands::StatusAnswer(ConditionOf(options_), static_cast<commands::StatusKind>(request));
    const bool sent = s.terminal ? pty_.Write(&answer, 1)
                                 : printerlink::SendOnSocket(s.fd, &answer, 1).taken == 1;
    Say(s.printer, s.link, s.connection,
        std::string(sent ? "status answer: " : "status answer not sent: ") +
            HexBytes({&answer, 1}));
}

void SimServer::Accept(int index) {
    // A restart may have closed the listener since it was found readable.
    if (listeners_[static_cast<std::size_t>(index)] == kNoSocket) return;
    const printerlink::AcceptStep accepted =
        printerlink::AcceptTcpSocket(listeners_[static_cast<std::size_t>(index)]);
    if (accepted.socket == kNoSocket) {
        // Out of descriptors or memory: the listener stays readable, so wait before trying again
        // instead of spinning.
        if (!accepted.again) acceptPausedUntil_ = Clock::now() + kAcceptPause;
        return;
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
    stream->link = "tcp";
    stream->connection = ++connections_;
    stream->nextRead = Clock::now();
    Stream* raw = stream.get();
    stream->decoder = MakeDecoder(raw);
    Say(raw->printer, raw->link, raw->connection,
        "connection from " + EndpointText(accepted.peer) + " to " +
            EndpointText({listenAt_[static_cast<std::size_t>(index)], tcpPort_}));
    streams_.push_back(std::move(stream));
}

void SimServer::ReadStream(Stream& s) {
    uint8_t buffer[4096];
    uint64_t limit = sizeof buffer;
    if (options_.resetAfter && s.link == "tcp")
        limit = std::min(limit, *options_.resetAfter - std::min(*options_.resetAfter, s.received));
    if (options_.stallAfter)
        limit = std::min(limit, *options_.stallAfter - std::min(*options_.stallAfter, s.received));
    if (options_.slowBytesPerSecond > 0) {
        const uint64_t chunk = std::max<uint64_t>(1, options_.slowBytesPerSecond / 50);
        limit = std::min(limit, chunk);
        s.nextRead =
            Clock::now() + std::chrono::microseconds(chunk * 1000000 / options_.slowBytesPerSecond);
    }
    if (limit > 0) {
        const auto length = static_cast<std::size_t>(limit);
        const printerlink::ReceiveStep step =
            s.terminal ? pty_.Read(buffer, length)
                       : printerlink::ReceiveOnSocket(s.fd, buffer, length);
        if (step.what == Received::WouldBlock) return;
        if (step.what != Received::Data) {
            CloseStream(s,
                        step.what == Received::Failed
                            ? "connection read failed: " + printerlink::SocketErrorText(step.error)
                            : std::string("connection closed"),
                        false);
            return;
        }
        s.received += step.length;
        s.lastData = Clock::now();
        s.unflushed = true;
        s.decoder->Feed(std::span<const uint8_t>(buffer, step.length));
    }
    if (options_.resetAfter && s.link == "tcp" && s.received >= *options_.resetAfter) {
        CloseStream(s, "connection reset (--reset-after)", true);
    } else if (options_.stallAfter && s.received >= *options_.stallAfter && !s.stalled) {
        s.decoder->Flush();
        s.unflushed = false;
        s.stalled = true;
        Say(s.printer, s.link, s.connection,
            "stalled after " + std::to_string(s.received) + " bytes: no longer reading");
    }
}

void SimServer::CloseStream(Stream& s, const std::string& why, bool reset) {
    s.decoder->Finish();
    if (s.paper) s.paper->End();
    if (s.terminal) {
        pty_.Close();
    } else {
        // A reset closes as a printer that restarts.
        printerlink::CloseSocket(s.fd, reset);
    }
    s.fd = kNoSocket;
    Say(s.printer, s.link, s.connection, why + ", " + std::to_string(s.received) + " bytes in all");
}

}  // namespace sim
