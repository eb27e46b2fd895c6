#include "sim/sim_server.h"

#include <algorithm>
#include <cstdio>

#include "sim/sim_server_internal.h"

namespace sim {

using printerlink::kNoSocket;
using printerlink::Received;
using printerlink::SocketHandle;

std::string EndpointText(const printerlink::SocketAddress& a) {
    char text[32];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u:%u", a.ip[0], a.ip[1], a.ip[2], a.ip[3], a.port);
    return text;
}

std::string ListenFailure(const netcfg::Ipv4Octets& address, uint16_t port, int error) {
    return "cannot listen on " + EndpointText({address, port}) + ": " +
           printerlink::SocketErrorText(error);
}

SimServer::SimServer(SimOptions options, LineSink sink)
    : options_(std::move(options)), sink_(std::move(sink)) {
    for (int i = 0; i < options_.printers; ++i) {
        printers_.push_back(PrinterAt(options_, i));
        identities_.push_back(IdentityOf(options_, i));
    }
    listeners_.assign(printers_.size(), kNoSocket);
    lpdListeners_.assign(printers_.size(), kNoSocket);
    listenAt_.assign(printers_.size(), {});
    restartUntil_.assign(printers_.size(), {});
    status_.assign(printers_.size(), options_.status);
    statusSeen_ = status_;
    counters_.assign(printers_.size(), {});
    listening_.assign(printers_.size(), 0);
    restarting_.assign(printers_.size(), 0);
    if (options_.chaos) chaos_.emplace(*options_.chaos);
}

SimServer::~SimServer() {
    // Jobs never run (Run was not called) end as stopped.
    StopJobs();
    for (auto& s : streams_) {
        if (!s->terminal) printerlink::CloseSocket(s->fd, false);
    }
    for (std::size_t i = 0; i < listeners_.size(); ++i) CloseListeners(i);
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
    if (options_.tcpPort && !StartListeners(listeners_, *options_.tcpPort, tcpPort_, error))
        return false;
    if (options_.lpdPort && !StartListeners(lpdListeners_, *options_.lpdPort, lpdPort_, error))
        return false;
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
        drawing_ = paper::MakeDrawing(&why, options_.fonts);
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
        if (Listens(i)) text += ", listening on " + PortsText(i, true);
        if (!(options_.status == PrinterStatus{})) text += ", " + StatusText(options_.status);
        Say(static_cast<int>(i) + 1, "sim", 0, text);
    }
    PublishPresence();
    if (udp_ != kNoSocket) {
        Say(0, "sim", 0,
            "discovery answered on " + Ipv4Text(options_.listen) + ":" + std::to_string(udpPort_) +
                (options_.noReply ? " (silent: --no-reply)"
                                  : ", replies to port " + std::to_string(options_.replyPort)));
    }
    if (!serialPath_.empty()) Say(1, "sim", 0, "serial port " + serialPath_);
    if (chaos_) Say(0, "sim", 0, "chaos " + chaos::ChaosSettingText(*options_.chaos));
    if (receipts_) {
        Say(0, "sim", 0, PaperLine(options_.paperWidth, *receipts_));
        if (!paperWarning.empty()) Say(0, "sim", 0, "paper: " + paperWarning);
        WriteIndex(true);
    }
    return true;
}

void SimServer::Stop() {
    stopping_.store(true);  // lock-free: safe in a signal handler, as the wake-up is
    wake_.Wake();
}

void SimServer::Emit(const SimLine& line) {
    if (sink_) sink_(line);
    std::lock_guard lock(subscribersMutex_);
    for (const auto& [id, subscription] : subscribers_) {
        if (subscription.lines) subscription.lines(line);
    }
}

void SimServer::Say(int printer, const std::string& link, uint64_t connection,
                    const std::string& text) {
    Emit(SimLine{printer, link, connection, text, std::nullopt, std::nullopt, std::nullopt});
}

SimControl::SubscriptionId SimServer::Subscribe(Subscriber subscriber) {
    std::lock_guard lock(subscribersMutex_);
    const SubscriptionId id = nextSubscription_++;
    subscribers_.emplace(id, Subscription{std::move(subscriber), {}});
    return id;
}

SimControl::SubscriptionId SimServer::WatchPaper(PaperWatcher watcher) {
    SubscriptionId id = 0;
    {
        std::lock_guard lock(subscribersMutex_);
        id = nextSubscription_++;
        subscribers_.emplace(id, Subscription{{}, std::move(watcher)});
    }
    wake_.Wake();  // paper already growing is shown
    return id;
}

void SimServer::Unsubscribe(SubscriptionId id) {
    std::lock_guard lock(subscribersMutex_);
    subscribers_.erase(id);
}

std::vector<PrinterView> SimServer::Printers() const {
    std::vector<PrinterView> views;
    std::lock_guard lock(printersMutex_);
    for (std::size_t i = 0; i < printers_.size(); ++i) {
        PrinterView& v = views.emplace_back();
        v.number = static_cast<int>(i) + 1;
        v.settings = printers_[i];
        v.tcpPort = tcpPort_;
        v.lpdPort = lpdPort_;
        v.listening = listening_[i] != 0;
        v.restarting = restarting_[i] != 0;
        v.status = status_[i];
        v.counters = counters_[i];
    }
    return views;
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
    Emit(SimLine{printer, link, connection, text, std::move(event), std::nullopt, std::nullopt});
    if (changed) {
        Say(printer, link, connection,
            "printer now: MAC " + MacText(now.mac) + ", address " + Ipv4Text(now.address) +
                ", mask " + Ipv4Text(now.mask) + ", gateway " + Ipv4Text(now.gateway) + ", DHCP " +
                (now.dhcp ? "on" : "off"));
    }
}

Clock::time_point SimServer::NextWake() const {
    const Clock::time_point now = Clock::now();
    Clock::time_point wake = Clock::time_point::max();
    for (const auto& s : streams_) {
        if (s->unflushed) wake = std::min(wake, s->lastData + kIdleFlush);
        // A stream whose pause is over is polled for its bytes: no wake-up needed for it.
        if (s->fd != kNoSocket && !s->stalled && s->nextRead > now)
            wake = std::min(wake, s->nextRead);
    }
    if (acceptPausedUntil_ > now) wake = std::min(wake, acceptPausedUntil_);
    if (receipts_) {
        if (const auto due = receipts_->IndexDue()) wake = std::min(wake, *due);
    }
    for (const Clock::time_point until : restartUntil_) {
        if (until != Clock::time_point{}) wake = std::min(wake, until);
    }
    if (chaos_) wake = std::min(wake, ChaosWake());
    if (JobsToFeed()) wake = now;  // the next slice at once
    if (const auto show = NextPaperShow()) wake = std::min(wake, *show);
    return wake;
}

void SimServer::Run() {
    std::vector<printerlink::SocketReadable> fds;
    // -1 wake, -2 udp, -3 the serial side's closes, 0..n-1 listener of printer, kLpdRole+i its
    // LPD listener, kStreamRole+k stream k
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
            // Its sessions matter to the paper (a receipt each) and to chaos (a fault each).
            if (s->terminal && (s->job->HasPaper() || chaos_)) serial = s.get();
        }
        if (serial != nullptr && pty_.CloseWatch() != kNoSocket) {
            fds.push_back({pty_.CloseWatch()});
            roles.push_back(-3);
        }
        for (std::size_t i = 0; i < listeners_.size() && Clock::now() >= acceptPausedUntil_; ++i) {
            if (listeners_[i] != kNoSocket) {
                fds.push_back({listeners_[i]});
                roles.push_back(static_cast<int>(i));
            }
            if (lpdListeners_[i] != kNoSocket) {
                fds.push_back({lpdListeners_[i]});
                roles.push_back(kLpdRole + static_cast<int>(i));
            }
        }
        const Clock::time_point now = Clock::now();
        for (std::size_t k = 0; k < streams_.size(); ++k) {
            const Stream& s = *streams_[k];
            // Not read: a job given to Print or a side closed with bytes held (no descriptor),
            // a stall, a full receive buffer, an LPD data file's end waiting for its bytes to
            // print, a pause (--slow, a stall for a while).
            if (s.fd == kNoSocket || s.stalled || s.held.size() >= kReceiveBuffer || !LpdReads(s) ||
                now < s.nextRead)
                continue;
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
                // Stop, or a change through SimControl (looked at below, every turn).
                wake_.Drain();
                stop = stopping_.load();
            } else if (roles[i] == -2) {
                ServeDatagram();
            } else if (roles[i] == -3) {
                if (pty_.WriterClosed()) serial->jobEnding = true;
            } else if (roles[i] < kLpdRole) {
                Accept(roles[i], false);
            } else if (roles[i] < kStreamRole) {
                Accept(roles[i] - kLpdRole, true);
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
        if (serial != nullptr && serial->fd != kNoSocket && serial->jobEnding &&
            serial->held.empty() && pty_.Unread() == 0)
            EndSerialJob(*serial);
        FollowStatus();
        StartJobs();
        FeedJobs();
        FinishRestarts();
        if (chaos_) ServeLate();
        WriteIndex(false);
        ShowPaper();
        const Clock::time_point after = Clock::now();
        for (const auto& s : streams_) {
            if (s->fd != kNoSocket && s->unflushed && after - s->lastData >= kIdleFlush) {
                s->job->Flush();
                s->unflushed = false;
            }
        }
        std::erase_if(streams_, [](const std::unique_ptr<Stream>& s) { return s->finished; });
        if (stop) break;
    }
    wake_.Drain();
    for (auto& s : streams_) {
        const std::string stopped = s->link + " ended: simulator stopped";
        if (s->queued) {
            FinishJob(*s, ControlResult::Stopped);
        } else if (s->fd != kNoSocket) {
            CloseStream(*s, stopped, false, true);
        } else if (!s->finished) {  // closed, its bytes held: the printer's buffer is lost
            Say(s->printer, s->link, s->connection,
                stopped + ", the " + std::to_string(s->held.size()) + " bytes held lost");
            s->held.clear();
            EndJob(*s);
        }
    }
    streams_.clear();
    StopJobs();
    WriteIndex(true);
    if (chaos_) SayChaosSummary();
}

}  // namespace sim
