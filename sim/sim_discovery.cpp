#include <algorithm>

#include "sim/sim_server.h"
#include "sim/sim_server_internal.h"

namespace sim {

using printerlink::kNoSocket;
using printerlink::Received;
using printerlink::SocketHandle;

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
        if (options_.tcpPort) text += Listen(i, p.address);
        PublishPresence();
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
    // Closing the listener would reset these unseen: each is logged with what its stack took.
    while (Stream* s = Accept(static_cast<int>(i), false))
        CloseStream(*s, "connection reset: printer restarting before it was taken", true, true);
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
