#include <algorithm>

#include "sim/sim_server.h"
#include "sim/sim_server_internal.h"

namespace sim {

using printerlink::kNoSocket;
using printerlink::Received;
using printerlink::SocketHandle;

bool SimServer::StartListeners(std::vector<SocketHandle>& set, uint16_t wanted, uint16_t& bound,
                               std::string* error) {
    // With port 0 the first printer's free port may be taken at another printer's address:
    // then all try again with a new one.
    constexpr int kAttempts = 8;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        uint16_t port = wanted;
        int failure = 0;
        std::size_t i = 0;
        for (; i < printers_.size(); ++i) {
            set[i] = printerlink::ListenTcpSocket(printers_[i].address, port, 16,
                                                  options_.receiveBuffer, failure);
            if (set[i] == kNoSocket) break;
            listenAt_[i] = printers_[i].address;
            if (port == 0) port = printerlink::LocalSocketPort(set[i]);
        }
        if (i == printers_.size()) {
            bound = port;
            return true;
        }
        for (SocketHandle& listener : set) {
            printerlink::CloseSocket(listener, false);
            listener = kNoSocket;
        }
        if (wanted != 0 || i == 0 || attempt + 1 == kAttempts) {
            *error = ListenFailure(printers_[i].address, port, failure);
            return false;
        }
    }
    return false;
}

uint16_t SimServer::TcpPort(int printer) const {
    return printer >= 1 && printer <= static_cast<int>(printers_.size()) ? tcpPort_ : 0;
}

uint16_t SimServer::LpdPort(int printer) const {
    return printer >= 1 && printer <= static_cast<int>(printers_.size()) ? lpdPort_ : 0;
}

uint16_t SimServer::UdpPort() const {
    return udpPort_;
}

PrinterSettings SimServer::Printer(int printer) const {
    std::lock_guard lock(printersMutex_);
    return printers_.at(static_cast<std::size_t>(printer - 1));
}

void SimServer::ServeDatagram() {
    uint8_t buffer[2048];
    const printerlink::ReceiveStep step = printerlink::ReceiveDatagram(udp_, buffer, sizeof buffer);
    if (step.what != Received::Data) return;
    const std::span<const uint8_t> datagram(buffer, step.length);
    const int times = chaos_ ? DatagramFault(datagram, step.from) : 1;
    for (int i = 0; i < times; ++i) HandleDatagram(datagram, step.from);
}

void SimServer::HandleDatagram(std::span<const uint8_t> datagram,
                               const printerlink::SocketAddress& sender) {
    const DatagramReading reading = sim::ReadDatagram(datagram);
    std::string text = "from " + EndpointText(sender) + ": " + reading.line;
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
            const printerlink::SocketAddress to{sender.ip, options_.replyPort};
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
        if (applied) {
            BeginRestart(*named, options_.restart,
                         "address " + Ipv4Text(from) + " -> " +
                             Ipv4Text(Printer(static_cast<int>(*named) + 1).address));
            PublishPresence();
        }
        return;
    }
    Say(0, "udp", 0, text);
}

bool SimServer::Restarting(std::size_t i) const {
    return restartUntil_[i] != Clock::time_point{};
}

void SimServer::BeginRestart(std::size_t i, std::chrono::milliseconds pause,
                             const std::string& why) {
    const int printer = static_cast<int>(i) + 1;
    // The listener first: a sender that sees its connection reset and connects again at once is
    // refused, not taken by a listener about to go.
    DropListener(i);
    for (const auto& s : streams_) {
        if (s->terminal || s->queued || s->printer != printer || s->finished) continue;
        if (s->fd != kNoSocket) {
            CloseStream(*s, "connection reset: printer restarting", true, true);
        } else {  // closed with bytes held: the restart empties the receive buffer
            Say(printer, s->link, s->connection,
                "printer restarting: the " + std::to_string(s->held.size()) + " bytes held lost");
            s->held.clear();
            EndJob(*s);
        }
    }
    restartUntil_[i] = Clock::now() + pause;
    Say(printer, "sim", 0, "restarting for " + std::to_string(pause.count()) + " ms: " + why);
}

void SimServer::PublishPresence() {
    std::lock_guard lock(printersMutex_);
    for (std::size_t i = 0; i < printers_.size(); ++i) {
        listening_[i] = listeners_[i] != kNoSocket;
        restarting_[i] = Restarting(i);
    }
}

void SimServer::FinishRestarts() {
    const Clock::time_point now = Clock::now();
    for (std::size_t i = 0; i < restartUntil_.size(); ++i) {
        if (!Restarting(i) || now < restartUntil_[i]) continue;
        restartUntil_[i] = {};
        const PrinterSettings p = Printer(static_cast<int>(i) + 1);
        std::string text = "back at " + Ipv4Text(p.address) + ", mask " + Ipv4Text(p.mask) +
                           ", gateway " + Ipv4Text(p.gateway);
        if (options_.tcpPort || options_.lpdPort) text += Listen(i, p.address);
        PublishPresence();
        Say(static_cast<int>(i) + 1, "sim", 0, text);
    }
}

bool SimServer::Listens(std::size_t i) const {
    return listeners_[i] != kNoSocket || lpdListeners_[i] != kNoSocket;
}

void SimServer::CloseListeners(std::size_t i) {
    for (SocketHandle* listener : {&listeners_[i], &lpdListeners_[i]}) {
        printerlink::CloseSocket(*listener, false);
        *listener = kNoSocket;
    }
}

std::string SimServer::PortsText(std::size_t i, bool numbers) const {
    std::string ports;
    if (listeners_[i] != kNoSocket)
        ports = numbers ? "TCP port " + std::to_string(tcpPort_) : std::string("TCP");
    if (lpdListeners_[i] != kNoSocket) {
        ports += (ports.empty() ? "" : " and ") + std::string("LPD") +
                 (numbers ? " port " + std::to_string(lpdPort_) : std::string());
    }
    return ports;
}

std::string SimServer::Listen(std::size_t i, const netcfg::Ipv4Octets& address) {
    // Two sockets cannot listen on one address and port: a printer that takes an address
    // another virtual printer holds takes its connections too, as the one that announced itself
    // last does on a real network.
    for (std::size_t k = 0; k < listeners_.size(); ++k) {
        if (k == i || !Listens(k) || listenAt_[k] != address) continue;
        const std::string ports = PortsText(k, false);
        CloseListeners(k);
        Say(static_cast<int>(k) + 1, "sim", 0,
            "printer " + std::to_string(i + 1) + " took address " + Ipv4Text(address) +
                " too: no longer listening on " + ports + ", both answer discovery there");
    }
    std::string failures;
    const auto open = [&](SocketHandle& listener, const std::optional<uint16_t>& wanted,
                          uint16_t port) {
        if (!wanted) return;
        int failure = 0;
        listener = printerlink::ListenTcpSocket(address, port, 16, options_.receiveBuffer, failure);
        if (listener == kNoSocket) failures += ", " + ListenFailure(address, port, failure);
    };
    open(listeners_[i], options_.tcpPort, tcpPort_);
    open(lpdListeners_[i], options_.lpdPort, lpdPort_);
    if (Listens(i)) listenAt_[i] = address;
    return (Listens(i) ? ", listening on " + PortsText(i, true) : std::string()) + failures;
}

void SimServer::DropListener(std::size_t i) {
    if (!Listens(i)) return;
    // Closing a listener would reset these unseen: each is logged with what its stack took.
    for (const bool lpd : {false, true}) {
        while (Stream* s = Accept(static_cast<int>(i), lpd, false))
            CloseStream(*s, "connection reset: printer restarting before it was taken", true, true);
    }
    CloseListeners(i);
    for (std::size_t k = 0; k < listeners_.size(); ++k) {
        if (k == i || Restarting(k) || Listens(k) ||
            Printer(static_cast<int>(k) + 1).address != listenAt_[i])
            continue;
        Say(static_cast<int>(k) + 1, "sim", 0,
            "address " + Ipv4Text(listenAt_[i]) + " is its own again" + Listen(k, listenAt_[i]));
        return;
    }
}

}  // namespace sim
