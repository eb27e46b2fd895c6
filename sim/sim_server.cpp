#include "sim/sim_server.h"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "sim/print_job.h"

namespace sim {
namespace {

using Clock = std::chrono::steady_clock;

using printerlink::kNoSocket;
using printerlink::Received;
using printerlink::SocketHandle;

// Roles of the descriptors Run waits on: streams follow the listeners of up to kMaxPrinters.
constexpr int kStreamRole = 1000;
static_assert(kStreamRole > kMaxPrinters);

std::string EndpointText(const printerlink::SocketAddress& a) {
    char text[32];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u:%u", a.ip[0], a.ip[1], a.ip[2], a.ip[3], a.port);
    return text;
}

std::string ListenFailure(const netcfg::Ipv4Octets& address, uint16_t port, int error) {
    return "cannot listen on " + EndpointText({address, port}) + ": " +
           printerlink::SocketErrorText(error);
}

}  // namespace

// A byte stream being read: a TCP connection or the pseudo-terminal.
struct SimServer::Stream {
    SocketHandle fd = kNoSocket;
    bool terminal = false;  // the pseudo-terminal, not a socket
    int printer = 1;
    std::string link;
    uint64_t connection = 0;
    uint64_t received = 0;
    bool stalled = false;
    bool unflushed = false;  // bytes fed since the last flush
    Clock::time_point lastData{};
    Clock::time_point nextRead{};   // --slow: not before
    bool jobEnding = false;         // serial side: a tool closed the port; end when all is read
    std::unique_ptr<PrintJob> job;  // its decoder and paper
};

std::string FormatLine(const SimLine& line, bool json) {
    std::string source = line.printer > 0 ? "printer " + std::to_string(line.printer) + " " : "";
    source += line.link;
    if (line.connection > 0) source += "#" + std::to_string(line.connection);
    if (!json) return source + " " + line.text;
    nlohmann::ordered_json out;  // fields in this order
    out["printer"] = line.printer;
    out["link"] = line.link;
    out["connection"] = line.connection;
    if (line.receipt) {
        const paper::SavedReceipt& r = *line.receipt;
        out["kind"] = "paper";
        out["file"] = r.file;
        out["width"] = r.width;
        out["height"] = r.height;
        if (!r.error.empty()) out["error"] = r.error;
        if (r.error.empty() && r.dataError.empty()) out["data"] = r.dataFile;
        if (!r.dataError.empty()) out["dataError"] = r.dataError;
    }
    if (line.event) {
        const Event& e = *line.event;
        out["kind"] = KindName(e.kind);
        out["title"] = e.title;
        out["detail"] = e.detail;
        out["offset"] = e.offset;
        out["length"] = e.length;
        if (e.kind == EventKind::Setting || e.kind == EventKind::Unknown)
            out["bytes"] = HexBytes(e.frame);
    }
    out["line"] = line.text;
    // Printer text may hold any bytes: what is not UTF-8 is shown as U+FFFD, never thrown.
    return out.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

SimServer::SimServer(SimOptions options, LineSink sink)
    : options_(std::move(options)), sink_(std::move(sink)) {
    for (int i = 0; i < options_.printers; ++i) printers_.push_back(PrinterAt(options_, i));
    listeners_.assign(printers_.size(), kNoSocket);
    listenAt_.assign(printers_.size(), {});
    restartUntil_.assign(printers_.size(), {});
}

SimServer::~SimServer() {
    for (auto& s : streams_) {
        if (!s->terminal) printerlink::CloseSocket(s->fd, false);
    }
    for (const SocketHandle listener : listeners_) printerlink::CloseSocket(listener, false);
    printerlink::CloseSocket(udp_, false);
}

bool SimServer::Start(std::string* error) {
    std::string ignored;
    if (error == nullptr) error = &ignored;
    if (!wake_.ok()) {
        *error = "cannot make the wake-up channel: " +
                 printerlink::SocketErrorText(printerlink::LastSocketError());
        return false;
    }
    int failure = 0;
    if (options_.tcpPort && !StartListeners(error)) return false;
    if (options_.udpPort) {
        udp_ = printerlink::BindUdpSocket(options_.listen, *options_.udpPort, failure);
        if (udp_ == kNoSocket) {
            *error = ListenFailure(options_.listen, *options_.udpPort, failure);
            return false;
        }
        udpPort_ = printerlink::LocalSocketPort(udp_);
    }
    std::string paperWarning;
    if (!options_.receipts.empty()) {
        std::string why;
        drawing_ = paper::MakeDrawing(&why);
        if (!drawing_) {
            *error = "--receipts: " + why;
            return false;
        }
        receipts_.emplace(options_.receipts);
        paperWarning = receipts_->Open();
    }
    if (options_.serial) {
        if (!pty_.Open(error)) return false;
        serialPath_ = pty_.Path();
        auto stream = std::make_unique<Stream>();
        stream->fd = pty_.Handle();
        stream->terminal = true;
        stream->link = "serial";
        Stream* raw = stream.get();
        stream->job = MakeJob(raw);
        streams_.push_back(std::move(stream));
    }
    for (std::size_t i = 0; i < printers_.size(); ++i) {
        const PrinterSettings& p = printers_[i];
        std::string text = "MAC " + MacText(p.mac) + ", address " + Ipv4Text(p.address);
        if (listeners_[i] != kNoSocket)
            text += ", listening on TCP port " + std::to_string(tcpPort_);
        Say(static_cast<int>(i) + 1, "sim", 0, text);
    }
    if (udp_ != kNoSocket) {
        Say(0, "sim", 0,
            "discovery answered on " + Ipv4Text(options_.listen) + ":" + std::to_string(udpPort_) +
                (options_.noReply ? " (silent: --no-reply)"
                                  : ", replies to port " + std::to_string(options_.replyPort)));
    }
    if (!serialPath_.empty()) Say(1, "sim", 0, "serial port " + serialPath_);
    if (receipts_) {
        Say(0, "sim", 0, PaperLine(options_.paperWidth, *receipts_));
        if (!paperWarning.empty()) Say(0, "sim", 0, "paper: " + paperWarning);
        WriteIndex(true);
    }
    return true;
}

void SimServer::Stop() {
    wake_.Wake();
}

bool SimServer::StartListeners(std::string* error) {
    // With port 0 the first printer's free port may be taken at another printer's address:
    // then all try again with a new one.
    constexpr int kAttempts = 8;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        uint16_t port = *options_.tcpPort;
        int failure = 0;
        std::size_t i = 0;
        for (; i < printers_.size(); ++i) {
            listeners_[i] = printerlink::ListenTcpSocket(printers_[i].address, port, 16,
                                                         options_.receiveBuffer, failure);
            if (listeners_[i] == kNoSocket) break;
            listenAt_[i] = printers_[i].address;
            if (port == 0) port = printerlink::LocalSocketPort(listeners_[i]);
        }
        if (i == printers_.size()) {
            tcpPort_ = port;
            return true;
        }
        for (SocketHandle& listener : listeners_) {
            printerlink::CloseSocket(listener, false);
            listener = kNoSocket;
        }
        if (*options_.tcpPort != 0 || i == 0 || attempt + 1 == kAttempts) {
            *error = ListenFailure(printers_[i].address, port, failure);
            return false;
        }
    }
    return false;
}

uint16_t SimServer::TcpPort(int printer) const {
    return printer >= 1 && printer <= static_cast<int>(printers_.size()) ? tcpPort_ : 0;
}

uint16_t SimServer::UdpPort() const {
    return udpPort_;
}

PrinterSettings SimServer::Printer(int printer) const {
    std::lock_guard lock(printersMutex_);
    return printers_.at(static_cast<std::size_t>(printer - 1));
}

void SimServer::Say(int printer, const std::string& link, uint64_t connection,
                    const std::string& text) {
    if (sink_) sink_(SimLine{printer, link, connection, text, std::nullopt, std::nullopt});
}

void SimServer::OnEvent(int printer, const std::string& link, uint64_t connection, Event&& event) {
    const std::string text = Describe(event);
    bool changed = false;
    PrinterSettings now;
    {
        std::lock_guard lock(printersMutex_);
        PrinterSettings& p = printers_[static_cast<std::size_t>(printer - 1)];
        changed = ApplySettingFrame(p, event);
        now = p;
    }
    if (sink_) sink_(SimLine{printer, link, connection, text, std::move(event), std::nullopt});
    if (changed) {
        Say(printer, link, connection,
            "printer now: MAC " + MacText(now.mac) + ", address " + Ipv4Text(now.address) +
                ", mask " + Ipv4Text(now.mask) + ", gateway " + Ipv4Text(now.gateway) + ", DHCP " +
                (now.dhcp ? "on" : "off"));
    }
}

std::unique_ptr<PrintJob> SimServer::MakeJob(Stream* stream) {
    const JobPaper paper{drawing_.get(), receipts_ ? &*receipts_ : nullptr, options_.paperWidth};
    return std::make_unique<PrintJob>(
        paper::ReceiptSource{stream->printer, stream->link, stream->connection, {}}, paper,
        [this, stream](Event&& e) {
            // DLE EOT n, n = 1..4: answered once its line is out, as a printer does at once.
            const bool status = e.kind == EventKind::EscPos && e.frame.size() == 3 &&
                                e.frame[0] == 0x10 && e.frame[1] == 0x04 && e.frame[2] >= 1 &&
                                e.frame[2] <= 4;
            const uint8_t request = status ? e.frame[2] : 0;
            OnEvent(stream->printer, stream->link, stream->connection, std::move(e));
            if (status) AnswerStatus(*stream, request);
        },
        [this, stream](const std::string& text, std::optional<paper::SavedReceipt> receipt) {
            if (sink_) {
                sink_(SimLine{stream->printer, stream->link, stream->connection, text, std::nullopt,
                              std::move(receipt)});
            }
        });
}

void SimServer::EndSerialJob(Stream& s) {
    s.jobEnding = false;
    s.unflushed = false;
    s.job->EndPart();
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

Clock::time_point SimServer::NextWake() const {
    const Clock::time_point now = Clock::now();
    Clock::time_point wake = Clock::time_point::max();
    for (const auto& s : streams_) {
        if (s->unflushed) wake = std::min(wake, s->lastData + kIdleFlush);
        // A stream whose pause is over is polled for its bytes: no wake-up needed for it.
        if (options_.slowBytesPerSecond > 0 && !s->stalled && s->nextRead > now)
            wake = std::min(wake, s->nextRead);
    }
    if (acceptPausedUntil_ > now) wake = std::min(wake, acceptPausedUntil_);
    if (receipts_) {
        if (const auto due = receipts_->IndexDue()) wake = std::min(wake, *due);
    }
    for (const Clock::time_point until : restartUntil_) {
        if (until != Clock::time_point{}) wake = std::min(wake, until);
    }
    return wake;
}

void SimServer::Run() {
    std::vector<printerlink::SocketReadable> fds;
    // -1 wake, -2 udp, -3 the serial side's closes, 0..n-1 listener of printer, kStreamRole+k
    // stream k
    std::vector<int> roles;
    for (;;) {
        fds.clear();
        roles.clear();
        fds.push_back({wake_.Handle()});
        roles.push_back(-1);
        if (udp_ != kNoSocket) {
            fds.push_back({udp_});
            roles.push_back(-2);
        }
        Stream* serial = nullptr;
        for (const auto& s : streams_) {
            if (s->terminal && s->job->HasPaper()) serial = s.get();
        }
        if (serial != nullptr && pty_.CloseWatch() != kNoSocket) {
            fds.push_back({pty_.CloseWatch()});
            roles.push_back(-3);
        }
        for (std::size_t i = 0; i < listeners_.size(); ++i) {
            if (listeners_[i] == kNoSocket || Clock::now() < acceptPausedUntil_) continue;
            fds.push_back({listeners_[i]});
            roles.push_back(static_cast<int>(i));
        }
        const Clock::time_point now = Clock::now();
        for (std::size_t k = 0; k < streams_.size(); ++k) {
            const Stream& s = *streams_[k];
            if (s.stalled || (options_.slowBytesPerSecond > 0 && now < s.nextRead)) continue;
            fds.push_back({s.fd});
            roles.push_back(kStreamRole + static_cast<int>(k));
        }
        const Clock::time_point wake = NextWake();
        std::chrono::milliseconds timeout{-1};
        if (wake != Clock::time_point::max()) {
            timeout = std::clamp(std::chrono::ceil<std::chrono::milliseconds>(wake - Clock::now()),
                                 std::chrono::milliseconds(0), std::chrono::milliseconds(60000));
        }
        const int ready = printerlink::WaitReadable(fds, timeout);
        if (ready < 0) break;
        bool stop = false;
        std::vector<Stream*> readable;
        for (std::size_t i = 0; ready > 0 && i < fds.size(); ++i) {
            if (!fds[i].ready) continue;
            if (roles[i] == -1) {
                stop = true;
            } else if (roles[i] == -2) {
                ServeDatagram();
            } else if (roles[i] == -3) {
                if (pty_.WriterClosed()) serial->jobEnding = true;
            } else if (roles[i] < kStreamRole) {
                Accept(roles[i]);
            } else {
                readable.push_back(
                    streams_[static_cast<std::size_t>(roles[i] - kStreamRole)].get());
            }
        }
        // A restart may have closed a stream since it was found readable.
        for (Stream* s : readable) {
            if (s->fd != kNoSocket) ReadStream(*s);
        }
        // A tool closed the serial port: its job ends once everything it wrote has been read.
        if (serial != nullptr && serial->fd != kNoSocket && serial->jobEnding && pty_.Unread() == 0)
            EndSerialJob(*serial);
        FinishRestarts();
        WriteIndex(false);
        const Clock::time_point after = Clock::now();
        for (const auto& s : streams_) {
            if (s->fd != kNoSocket && s->unflushed && after - s->lastData >= kIdleFlush) {
                s->job->Flush();
                s->unflushed = false;
            }
        }
        std::erase_if(streams_,
                      [](const std::unique_ptr<Stream>& s) { return s->fd == kNoSocket; });
        if (stop) break;
    }
    wake_.Drain();
    for (auto& s : streams_) {
        if (s->fd != kNoSocket) CloseStream(*s, s->link + " ended: simulator stopped", false);
    }
    streams_.clear();
    WriteIndex(true);
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
    stream->job = MakeJob(raw);
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
        s.job->Feed(std::span<const uint8_t>(buffer, step.length));
    }
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

void SimServer::CloseStream(Stream& s, const std::string& why, bool reset) {
    s.job->Finish();
    if (s.terminal) {
        pty_.Close();
    } else {
        // A reset closes as a printer that restarts.
        printerlink::CloseSocket(s.fd, reset);
    }
    s.fd = kNoSocket;
    Say(s.printer, s.link, s.connection, why + ", " + std::to_string(s.received) + " bytes in all");
}

void SimServer::ServeDatagram() {
    uint8_t buffer[2048];
    const printerlink::ReceiveStep step = printerlink::ReceiveDatagram(udp_, buffer, sizeof buffer);
    if (step.what != Received::Data) return;
    const std::span<const uint8_t> datagram(buffer, step.length);
    const DatagramReading reading = sim::ReadDatagram(datagram);
    std::string text = "from " + EndpointText(step.from) + ": " + reading.line;
    if (reading.kind == DatagramKind::DiscoveryRequest) {
        if (options_.noReply) {
            text += ", not answered (--no-reply)";
        } else {
            std::vector<PrinterSettings> now;  // a restarting printer does not answer
            {
                std::lock_guard lock(printersMutex_);
                for (std::size_t i = 0; i < printers_.size(); ++i) {
                    if (!Restarting(i)) now.push_back(printers_[i]);
                }
            }
            const printerlink::SocketAddress to{step.from.ip, options_.replyPort};
            for (const PrinterSettings& p : now) {
                const auto reply = DiscoveryReply(p);
                printerlink::SendDatagram(udp_, to, reply);
            }
            text += ", answered by " + std::to_string(now.size()) + " printer" +
                    (now.size() == 1 ? "" : "s") + " to " + EndpointText(to);
        }
    } else if (reading.set) {
        // The packet is taken by the printer it names, unless that one is deaf or restarting
        // (and so hears nothing).
        std::optional<std::size_t> named;
        netcfg::Ipv4Octets from{};
        bool applied = false;
        {
            std::lock_guard lock(printersMutex_);
            for (std::size_t i = 0; i < printers_.size() && !named; ++i) {
                if (!NamesPrinter(printers_[i], *reading.set)) continue;
                named = i;
                from = printers_[i].address;
                const bool deaf = std::find(options_.deaf.begin(), options_.deaf.end(),
                                            printers_[i].mac) != options_.deaf.end();
                if (!deaf && !Restarting(i)) applied = ApplyAddressSet(printers_[i], *reading.set);
            }
        }
        const std::string printer = named ? "printer " + std::to_string(*named + 1) : "";
        if (!named) {
            text += ", no printer has that MAC and identity";
        } else if (applied) {
            text += ", applied to " + printer;
        } else if (Restarting(*named)) {
            text += ", not heard: " + printer + " is restarting";
        } else {
            text += ", ignored by " + printer + " (--deaf)";
        }
        Say(0, "udp", 0, text);
        if (applied) BeginRestart(*named, from);
        return;
    }
    Say(0, "udp", 0, text);
}

bool SimServer::Restarting(std::size_t i) const {
    return restartUntil_[i] != Clock::time_point{};
}

void SimServer::BeginRestart(std::size_t i, const netcfg::Ipv4Octets& from) {
    const int printer = static_cast<int>(i) + 1;
    for (const auto& s : streams_) {
        if (!s->terminal && s->printer == printer && s->fd != kNoSocket)
            CloseStream(*s, "connection reset: printer restarting", true);
    }
    DropListener(i);
    restartUntil_[i] = Clock::now() + options_.restart;
    Say(printer, "sim", 0,
        "restarting for " + std::to_string(options_.restart.count()) + " ms: address " +
            Ipv4Text(from) + " -> " + Ipv4Text(Printer(printer).address));
}

void SimServer::FinishRestarts() {
    const Clock::time_point now = Clock::now();
    for (std::size_t i = 0; i < restartUntil_.size(); ++i) {
        if (!Restarting(i) || now < restartUntil_[i]) continue;
        restartUntil_[i] = {};
        const PrinterSettings p = Printer(static_cast<int>(i) + 1);
        std::string text = "back at " + Ipv4Text(p.address) + ", mask " + Ipv4Text(p.mask) +
                           ", gateway " + Ipv4Text(p.gateway);
        if (options_.tcpPort) text += Listen(i, p.address);
        Say(static_cast<int>(i) + 1, "sim", 0, text);
    }
}

std::string SimServer::Listen(std::size_t i, const netcfg::Ipv4Octets& address) {
    // Two sockets cannot listen on one address and port: a printer that takes an address
    // another virtual printer holds takes its connections too, as the one that announced itself
    // last does on a real network.
    for (std::size_t k = 0; k < listeners_.size(); ++k) {
        if (k == i || listeners_[k] == kNoSocket || listenAt_[k] != address) continue;
        printerlink::CloseSocket(listeners_[k], false);
        listeners_[k] = kNoSocket;
        Say(static_cast<int>(k) + 1, "sim", 0,
            "printer " + std::to_string(i + 1) + " took address " + Ipv4Text(address) +
                " too: no longer listening on TCP, both answer discovery there");
    }
    int failure = 0;
    listeners_[i] =
        printerlink::ListenTcpSocket(address, tcpPort_, 16, options_.receiveBuffer, failure);
    if (listeners_[i] == kNoSocket) return ", " + ListenFailure(address, tcpPort_, failure);
    listenAt_[i] = address;
    return ", listening on TCP port " + std::to_string(tcpPort_);
}

void SimServer::DropListener(std::size_t i) {
    if (listeners_[i] == kNoSocket) return;
    printerlink::CloseSocket(listeners_[i], false);
    listeners_[i] = kNoSocket;
    for (std::size_t k = 0; k < listeners_.size(); ++k) {
        if (k == i || Restarting(k) || listeners_[k] != kNoSocket ||
            Printer(static_cast<int>(k) + 1).address != listenAt_[i])
            continue;
        Say(static_cast<int>(k) + 1, "sim", 0,
            "address " + Ipv4Text(listenAt_[i]) + " is its own again" + Listen(k, listenAt_[i]));
        return;
    }
}

}  // namespace sim
